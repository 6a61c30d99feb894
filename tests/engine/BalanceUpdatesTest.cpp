#include "engine/BalanceUpdates.h"
#include "engine/OneCTransfer.h"
#include "engine/ReceiverStatements.h"
#include "engine/SqlTransfer.h"

#include "platform/AutomationObject.h"
#include "platform/DbConnection.h"
#include "platform/DbQuery.h"
#include "platform/Errors.h"
#include "support/DatabaseFixtures.h"
#include "support/DelayingForwarder.h"
#include "support/FailureKind.h"
#include "support/InfobaseFixture.h"
#include "support/ReceiverProbe.h"
#include "support/RecordingTransferContext.h"

#include <QDeadlineTimer>
#include <QTest>

#include <future>
#include <memory>
#include <thread>

using enum EventCode;

using Item = DatabaseFixtures::Item;
using Quantities = QMap<int, QVariant>;

Q_DECLARE_METATYPE(TestDatabaseKind)

namespace {

constexpr int kBatch = BalanceUpdates::kBatchSize;

// Every odd Partno of 2 * changed + 1 items changes, by half a unit; the even ones between
// them stay.
struct Pass {
    explicit Pass(int changed)
        : items(DatabaseFixtures::NumberedItems(2 * changed + 1)) {}

    bool Changes(int partno) const { return partno % 2 == 1 && partno != items.size(); }
    static double NewQuantity(int partno) { return partno + 0.5; }

    QList<int> ChangedPartnos() const {
        QList<int> partnos;
        for (const Item& item : items)
            if (Changes(item.partno))
                partnos.append(item.partno);
        return partnos;
    }

    Quantities Before() const {
        Quantities quantities;
        for (const Item& item : items)
            quantities.insert(item.partno, item.quantity);
        return quantities;
    }

    Quantities After() const {
        Quantities quantities = Before();
        for (int partno : ChangedPartnos())
            quantities[partno] = NewQuantity(partno);
        return quantities;
    }

    // The balance the source or the infobase gives each item; override replaces one.
    QMap<int, double> SourceBalances(const QMap<int, double>& overrides = {}) const {
        QMap<int, double> balances;
        for (const Item& item : items) {
            balances.insert(item.code,
                            Changes(item.partno) ? NewQuantity(item.partno) : item.partno);
        }
        for (auto it = overrides.begin(); it != overrides.end(); ++it)
            balances[it.key()] = it.value();
        return balances;
    }

    QList<Item> items;
};

int CodeOf(int partno) {
    return 1000 + partno;
}

WorkerParameters Parameters(int connectionType) {
    WorkerParameters parameters;
    parameters.TableName = QStringLiteral("Stock_Balance");
    parameters.KeyField = QStringLiteral("Partno");
    parameters.ValueField = QStringLiteral("Quantity");
    parameters.ConnectionType = connectionType;
    parameters.SqlQuery = QStringLiteral("select Item, Qty from Src");
    parameters.DockingField = QStringLiteral("Item");
    parameters.SourceValueField = QStringLiteral("Qty");
    return parameters;
}

// The same database reached through the forwarder instead of the server's own port.
QString ThroughForwarder(const QString& receiver, quint16 port) {
    QString routed = receiver;
    routed.replace(QStringLiteral("DBNAME=127.0.0.1:"),
                   QStringLiteral("DBNAME=127.0.0.1/%1:").arg(port));
    return routed;
}

// A lock on one row, taken by a transaction of another attachment and committed once an update
// waits for that row, which then meets the conflict. A locked row is written as unchanged, and
// without its triggers.
class ConflictingUpdate {
public:
    ConflictingUpdate(const QString& receiver, int partno)
        : thread_([this, receiver, partno] { Hold(receiver, partno); }) {
        held_.get_future().wait();
    }
    ~ConflictingUpdate() { thread_.join(); }

private:
    void Hold(const QString& receiver, int partno) {
        DbConnection holder(receiver);
        holder.Open();
        holder.BeginTrans();
        {
            DbQuery lock(holder);
            lock.SetSql(
                QStringLiteral("select Partno from Stock_Balance where Partno = %1 with lock")
                    .arg(partno));
            lock.Prepare();
            lock.Open();
        }
        held_.set_value();
        DbConnection watcher(receiver);
        watcher.Open();
        const QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired() && !UpdateWaits(watcher))
            QThread::msleep(20);
        holder.CommitTrans();
    }

    // The monitoring tables are read afresh in each transaction.
    static bool UpdateWaits(DbConnection& watcher) {
        watcher.BeginTrans();
        DbQuery statements(watcher);
        statements.SetSql(QStringLiteral(
            "select count(*) as Waiting from mon$statements where mon$state = 1 and "
            "mon$attachment_id <> current_connection and mon$sql_text containing 'update'"));
        statements.Prepare();
        statements.Open();
        const bool waits = statements.FieldAsInteger(QStringLiteral("Waiting")) > 0;
        statements.Close();
        watcher.CommitTrans();
        return waits;
    }

    std::promise<void> held_;
    std::thread thread_;
};

} // namespace

class BalanceUpdatesTest : public QObject {
    Q_OBJECT

private:
    QString MakeReceiver(TestDatabaseKind kind, const QList<Item>& items) {
        return ReceiverProbe::CreateReceiver(databases_, kind,
                                             QStringLiteral("receiver%1").arg(++made_), items);
    }

    QString MakeSource(const QMap<int, double>& balances) {
        const QString source = databases_.CreateSqlite(QStringLiteral("source%1").arg(++made_));
        QStringList statements{QStringLiteral("create table Src (Item integer, Qty double)")};
        for (auto it = balances.begin(); it != balances.end(); ++it)
            statements.append(
                QStringLiteral("insert into Src values (%1, %2)").arg(it.key()).arg(it.value()));
        DatabaseFixtures::Run(source, statements);
        return source;
    }

    static void TransferSql(RecordingTransferContext& worker, const QString& receiverString,
                            const QString& sourceString) {
        DbConnection receiver(receiverString);
        DbConnection source(sourceString);
        receiver.Open();
        source.Open();
        TransferFromSql(worker, receiver, source);
    }

    static void Transfer1C(RecordingTransferContext& worker, const QString& receiverString,
                           const InfobaseFixture& infobase) {
        DbConnection receiver(receiverString);
        receiver.Open();
        AutomationObject object(ProgIdForType(2), infobase.RegistrationFile());
        object.Initialize(object.RMTrade(), infobase.CommandLine(),
                          QStringLiteral("NO_SPLASH_SHOW"));
        TransferFrom1C(worker, receiver, object);
    }

    static void WriteBalances(const InfobaseFixture& infobase, const QMap<int, double>& balances) {
        QStringList lines;
        for (auto it = balances.begin(); it != balances.end(); ++it)
            lines.append(QStringLiteral("%1;Основной;%2").arg(it.key()).arg(it.value()));
        infobase.WriteBalances(lines);
    }

    static void AddRows(const char* what) {
        QTest::addColumn<TestDatabaseKind>("kind");
        QTest::addColumn<int>("changed");
        for (const TestDatabaseKind kind :
             {TestDatabaseKind::FirebirdEmbedded, TestDatabaseKind::FirebirdServer}) {
            for (const int changed : {0, 1, kBatch, kBatch + 1, 2 * kBatch + 234}) {
                const QString name =
                    QStringLiteral("%1, %2").arg(DatabaseFixtures::KindName(kind)).arg(changed);
                QTest::newRow(qPrintable(name + QLatin1String(what))) << kind << changed;
            }
        }
    }

    DatabaseFixtures databases_;
    int made_ = 0;

private Q_SLOTS:
    void sqlPass_data() { AddRows(" changed"); }

    // Exactly the changed rows are written, each with its source value, in one pass.
    void sqlPass() {
        QFETCH(TestDatabaseKind, kind);
        QFETCH(int, changed);
        const Pass pass(changed);
        const QString receiver = MakeReceiver(kind, pass.items);
        RecordingTransferContext worker(Parameters(1));

        TransferSql(worker, receiver, MakeSource(pass.SourceBalances()));

        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, SourceSelected, ReceiverUpdated}));
        QCOMPARE(ReceiverProbe::Written(receiver), pass.ChangedPartnos());
        QCOMPARE(ReceiverProbe::Quantities(receiver), pass.After());
    }

    void oneCPass_data() { AddRows(" changed"); }

    void oneCPass() {
        QFETCH(TestDatabaseKind, kind);
        QFETCH(int, changed);
        const Pass pass(changed);
        const QString receiver = MakeReceiver(kind, pass.items);
        const InfobaseFixture infobase;
        WriteBalances(infobase, pass.SourceBalances());
        RecordingTransferContext worker(Parameters(2));

        Transfer1C(worker, receiver, infobase);

        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet,
                                   BalancesFilled, BalancesRead}));
        QCOMPARE(ReceiverProbe::Written(receiver), pass.ChangedPartnos());
        QCOMPARE(ReceiverProbe::Quantities(receiver), pass.After());
    }

    // What a link's latency costs: the client's requests, counted where they reach the server.
    void fewRequestsForManyChanges() {
        const Pass pass(2 * kBatch + 234);
        const QString receiver = MakeReceiver(TestDatabaseKind::FirebirdServer, pass.items);
        const QString source = MakeSource(pass.SourceBalances());
        const DelayingForwarder forwarder(3050, 0);
        RecordingTransferContext worker(Parameters(1));

        TransferSql(worker, ThroughForwarder(receiver, forwarder.Port()), source);

        QCOMPARE(ReceiverProbe::Quantities(receiver), pass.After());
        const qint64 changes = pass.ChangedPartnos().size();
        QVERIFY2(forwarder.ChunksToTarget() < changes / 10,
                 qPrintable(QStringLiteral("%1 requests for %2 changes")
                                .arg(forwarder.ChunksToTarget())
                                .arg(changes)));
    }

    void failureInABatch_data() {
        QTest::addColumn<TestDatabaseKind>("kind");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message");
        for (const TestDatabaseKind kind :
             {TestDatabaseKind::FirebirdEmbedded, TestDatabaseKind::FirebirdServer}) {
            const QString name = DatabaseFixtures::KindName(kind);
            QTest::newRow(qPrintable(name + QStringLiteral(", a trigger refuses the row")))
                << kind << "trigger" << QStringLiteral("Строка отклонена");
            QTest::newRow(qPrintable(name + QStringLiteral(", the column refuses the value")))
                << kind << "check" << QStringLiteral("QUANTITY_LIMIT");
            QTest::newRow(qPrintable(name + QStringLiteral(", another transaction's lock")))
                << kind << "lock" << QStringLiteral("update conflicts with concurrent update");
        }
    }

    // A row in the middle of the second batch fails: the rows written before it, in its own
    // batch and in the first, are undone with it, and the row's own error is raised.
    void failureInABatch() {
        QFETCH(TestDatabaseKind, kind);
        QFETCH(QString, failure);
        QFETCH(QString, message);
        const Pass pass(2 * kBatch + 234);
        const int failing = pass.ChangedPartnos().at(kBatch + kBatch / 2);
        const QString receiver = MakeReceiver(kind, pass.items);
        QMap<int, double> overrides;
        if (failure == "trigger")
            ReceiverProbe::FailUpdateOf(receiver, failing);
        if (failure == "check") {
            DatabaseFixtures::Run(receiver, {QStringLiteral("alter table Stock_Balance add "
                                                            "constraint Quantity_Limit check "
                                                            "(Quantity < 100000)")});
            overrides.insert(CodeOf(failing), 1.0e6);
        }
        const QString source = MakeSource(pass.SourceBalances(overrides));
        RecordingTransferContext worker(Parameters(1));

        QString text;
        {
            std::unique_ptr<ConflictingUpdate> lock;
            if (failure == "lock")
                lock = std::make_unique<ConflictingUpdate>(receiver, failing);
            QCOMPARE(FailureKind([&] { TransferSql(worker, receiver, source); }, &text),
                     QStringLiteral("EOleException"));
        }

        QVERIFY2(text.contains(message, Qt::CaseInsensitive), qPrintable(text));
        QCOMPARE(worker.LogCodes(), QList<EventCode>({ReceiverSelected, SourceSelected}));
        QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
        QCOMPARE(ReceiverProbe::Quantities(receiver), pass.Before());
    }

    void duplicateCode_data() {
        QTest::addColumn<TestDatabaseKind>("kind");
        QTest::newRow("embedded") << TestDatabaseKind::FirebirdEmbedded;
        QTest::newRow("server") << TestDatabaseKind::FirebirdServer;
    }

    // Two parts share a code in the middle of a batch: the update's subquery finds both and
    // fails, with the message the update raises for that code alone.
    void duplicateCode() {
        QFETCH(TestDatabaseKind, kind);
        const Pass pass(kBatch + 1);
        const int shared = pass.ChangedPartnos().at(kBatch / 2);
        QList<Item> items = pass.items;
        items.append({100000, CodeOf(shared), 1.0});
        const QString receiver = MakeReceiver(kind, items);
        const WorkerParameters parameters = Parameters(1);
        QString expected;
        {
            DbConnection alone(receiver);
            alone.Open();
            alone.BeginTrans();
            DbQuery update(alone);
            update.SetSql(ReceiverStatements::BalanceUpdate(
                parameters.TableName, parameters.ValueField, parameters.KeyField));
            update.Prepare();
            update.SetParameter(QStringLiteral("Quantity"), 1.0);
            update.SetParameter(QStringLiteral("Code"), QString::number(CodeOf(shared)));
            QCOMPARE(FailureKind([&] { update.Execute(); }, &expected),
                     QStringLiteral("EOleException"));
            alone.RollbackTrans();
        }
        RecordingTransferContext worker(parameters);

        QString text;
        QCOMPARE(
            FailureKind([&] { TransferSql(worker, receiver, MakeSource(pass.SourceBalances())); },
                        &text),
            QStringLiteral("EOleException"));

        QCOMPARE(text, expected);
        QVERIFY2(text.contains(QStringLiteral("multiple rows in singleton select")),
                 qPrintable(text));
        QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
        Quantities before = pass.Before();
        before.insert(100000, 1.0);
        QCOMPARE(ReceiverProbe::Quantities(receiver), before);
    }
};

QTEST_GUILESS_MAIN(BalanceUpdatesTest)
#include "BalanceUpdatesTest.moc"

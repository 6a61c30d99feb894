#include "engine/OneCTransfer.h"

#include "platform/AutomationObject.h"
#include "platform/DbConnection.h"
#include "platform/RegionalSettings.h"
#include "support/DatabaseFixtures.h"
#include "support/FailureKind.h"
#include "support/InfobaseFixture.h"
#include "support/ReceiverProbe.h"
#include "support/RecordingTransferContext.h"

#include <QTest>

#include <memory>

using enum EventCode;

using Item = DatabaseFixtures::Item;
using Quantities = QMap<int, QVariant>;

Q_DECLARE_METATYPE(TestDatabaseKind)

namespace {

const QVariant kNull;

// The receiver items every pass starts from, against the stand-in's default balances
// (1001: Основной 10, Розница 2.5; 1002: Основной 0; 1003: Розница 7):
//   1: 1001  5     all warehouses 12.5, Розница 2.5: changed
//   2: 1002  Null  0: equal, the Null stays
//   3: 1003  7     7: equal, not written
//   4: 1004  3     unknown to the infobase (-1): kept
QList<Item> StartItems() {
    return {{1, 1001, 5.0}, {2, 1002, kNull}, {3, 1003, 7.0}, {4, 1004, 3.0}};
}

Quantities StartQuantities() {
    return {{1, 5.0}, {2, kNull}, {3, 7.0}, {4, 3.0}};
}

WorkerParameters OneCParameters(const QString& stockFilter = QString()) {
    WorkerParameters parameters;
    parameters.TableName = QStringLiteral("Stock_Balance");
    parameters.KeyField = QStringLiteral("Partno");
    parameters.ValueField = QStringLiteral("Quantity");
    parameters.ConnectionType = 2;
    parameters.StockFilter = stockFilter;
    return parameters;
}

// The infobase as the worker hands it over: created, initialised with its command line.
std::unique_ptr<AutomationObject> OpenInfobase(const InfobaseFixture& infobase) {
    auto object = std::make_unique<AutomationObject>(ProgIdForType(2), infobase.RegistrationFile());
    object->Initialize(object->RMTrade(), infobase.CommandLine(), QStringLiteral("NO_SPLASH_SHOW"));
    return object;
}

} // namespace

class OneCTransferTest : public QObject {
    Q_OBJECT

private:
    QString MakeReceiver(const QList<Item>& items,
                         TestDatabaseKind kind = TestDatabaseKind::FirebirdEmbedded) {
        return ReceiverProbe::CreateReceiver(databases_, kind,
                                             QStringLiteral("receiver%1").arg(++made_), items);
    }

    static void Transfer(RecordingTransferContext& worker, const QString& receiverString,
                         const InfobaseFixture& infobase) {
        DbConnection receiver(receiverString);
        receiver.Open();
        const std::unique_ptr<AutomationObject> object = OpenInfobase(infobase);
        TransferFrom1C(worker, receiver, *object);
    }

    DatabaseFixtures databases_;
    int made_ = 0;

private Q_SLOTS:
    void cleanup() { RegionalSettings::UseSystemFormats(); }

    void fullPass_data() {
        QTest::addColumn<TestDatabaseKind>("receiverKind");
        QTest::addColumn<QString>("stockFilter");
        QTest::addColumn<QChar>("decimalSeparator");
        QTest::addColumn<double>("firstBalance");
        QTest::newRow("embedded, every warehouse")
            << TestDatabaseKind::FirebirdEmbedded << QString() << QChar(u'.') << 12.5;
        QTest::newRow("server, one warehouse")
            << TestDatabaseKind::FirebirdServer << QStringLiteral("Розница") << QChar(u'.') << 2.5;
        QTest::newRow("decimal comma")
            << TestDatabaseKind::FirebirdEmbedded << QString() << QChar(u',') << 12.5;
    }

    // The filter reaches the infobase between quotes, even when empty (the stand-in refuses
    // anything else), and only the changed row is written, as a number.
    void fullPass() {
        QFETCH(TestDatabaseKind, receiverKind);
        QFETCH(QString, stockFilter);
        QFETCH(QChar, decimalSeparator);
        QFETCH(double, firstBalance);
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"),
                                     decimalSeparator);
        const QString receiver = MakeReceiver(StartItems(), receiverKind);
        const InfobaseFixture infobase;
        RecordingTransferContext worker(OneCParameters(stockFilter));

        Transfer(worker, receiver, infobase);

        QCOMPARE(worker.Sleeps(), QList<std::int64_t>({30000}));
        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet,
                                   BalancesFilled, BalancesRead}));
        QCOMPARE(ReceiverProbe::Written(receiver), QList<int>({1}));
        Quantities expected = StartQuantities();
        expected[1] = firstBalance;
        QCOMPARE(ReceiverProbe::Quantities(receiver), expected);
    }

    void textBalances_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<double>("balance");
        QTest::newRow("decimal comma") << QStringLiteral("12,5") << 12.5;
        QTest::newRow("decimal point") << QStringLiteral("7.25") << 7.25;
        QTest::newRow("grouped by a non-breaking space")
            << QStringLiteral("1\u00A0109,71") << 1109.71;
    }

    // A balance answered as text is read the way an SQL source's text is, whatever the
    // decimal separator of the regional settings.
    void textBalances() {
        QFETCH(QString, answer);
        QFETCH(double, balance);
        const QString receiver = MakeReceiver(StartItems());
        const InfobaseFixture infobase(
            {QStringLiteral("--answer"),
             QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ:") + answer});
        RecordingTransferContext worker(OneCParameters());

        Transfer(worker, receiver, infobase);

        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet,
                                   BalancesFilled, BalancesRead}));
        QCOMPARE(ReceiverProbe::Quantities(receiver),
                 (Quantities{{1, balance}, {2, balance}, {3, balance}, {4, balance}}));
    }

    void emptyReceiver() {
        const QString receiver = MakeReceiver({});
        const InfobaseFixture infobase;
        RecordingTransferContext worker(OneCParameters());

        Transfer(worker, receiver, infobase);

        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet,
                                   BalancesFilled, BalancesRead}));
        QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
    }

    // Termination during the pause: the receiver is not read (its table does not even exist)
    // and nothing reaches the infobase, which would fail any expression.
    void terminationDuringPause() {
        const QString receiver = MakeReceiver(StartItems());
        const InfobaseFixture infobase({QStringLiteral("--fail"), QStringLiteral("EvalExpr:sent")});
        WorkerParameters parameters = OneCParameters();
        parameters.TableName = QStringLiteral("No_Such_Balance");
        RecordingTransferContext worker(parameters);
        worker.TerminateDuringSleep = true;

        Transfer(worker, receiver, infobase);

        QCOMPARE(worker.Sleeps(), QList<std::int64_t>({30000}));
        QVERIFY(worker.LogCodes().isEmpty());
    }

    void stopRequest_data() {
        QTest::addColumn<EventCode>("stopAfter");
        QTest::addColumn<QList<EventCode>>("codes");
        QTest::newRow("after the select") << ReceiverSelected << QList<EventCode>{ReceiverSelected};
        QTest::newRow("after the clear")
            << BalancesCleared << QList<EventCode>{ReceiverSelected, BalancesCleared};
        QTest::newRow("after the codes")
            << BalancesAdded << QList<EventCode>{ReceiverSelected, BalancesCleared, BalancesAdded};
        QTest::newRow("after the filter")
            << StockFilterSet
            << QList<EventCode>{ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet};
        QTest::newRow("after the fill")
            << BalancesFilled
            << QList<EventCode>{ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet,
                                BalancesFilled};
    }

    void stopRequest() {
        QFETCH(EventCode, stopAfter);
        QFETCH(QList<EventCode>, codes);
        const QString receiver = MakeReceiver(StartItems());
        const InfobaseFixture infobase;
        RecordingTransferContext worker(OneCParameters());
        worker.StopAfterCode = stopAfter;

        Transfer(worker, receiver, infobase);

        QCOMPARE(worker.LogCodes(), codes);
        QCOMPARE(ReceiverProbe::Quantities(receiver), StartQuantities());
    }

    void failures_data() {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QString>("stockFilter");
        QTest::addColumn<bool>("unreadableBalances");
        QTest::addColumn<int>("failingPartno");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<EventCode>>("codes");
        QTest::newRow("filter refused")
            << QStringList() << QStringLiteral("Склад9") << false << 0 << "Exception"
            << QStringLiteral("Склад не найден: Склад9")
            << QList<EventCode>{ReceiverSelected, BalancesCleared, BalancesAdded};
        QTest::newRow("fill failed")
            << QStringList() << QString() << true << 0 << "Exception"
            << QStringLiteral("Во время расчета остатков в программе 1С произошла ошибка.")
            << QList<EventCode>{ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet};
        QTest::newRow("infobase error while reading")
            << QStringList{QStringLiteral("--fail"),
                           QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ:Нет доступа")}
            << QString() << false << 0 << "EOleException" << QStringLiteral("Нет доступа")
            << QList<EventCode>{ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet,
                                BalancesFilled};
        QTest::newRow("update refused")
            << QStringList() << QString() << false << 1 << "EOleException"
            << QStringLiteral("Строка отклонена")
            << QList<EventCode>{ReceiverSelected, BalancesCleared, BalancesAdded, StockFilterSet,
                                BalancesFilled};
    }

    void failures() {
        QFETCH(QStringList, switches);
        QFETCH(QString, stockFilter);
        QFETCH(bool, unreadableBalances);
        QFETCH(int, failingPartno);
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QFETCH(QList<EventCode>, codes);
        const QString receiver = MakeReceiver(StartItems());
        if (failingPartno != 0)
            ReceiverProbe::FailUpdateOf(receiver, failingPartno);
        const InfobaseFixture infobase(switches);
        if (unreadableBalances)
            infobase.WriteBalances({QStringLiteral("1001;Основной;много")});
        RecordingTransferContext worker(OneCParameters(stockFilter));

        QString failure;
        QCOMPARE(FailureKind([&] { Transfer(worker, receiver, infobase); }, &failure), kind);

        QVERIFY2(failure.contains(message), qPrintable(failure));
        QCOMPARE(worker.LogCodes(), codes);
        QCOMPARE(ReceiverProbe::Quantities(receiver), StartQuantities());
    }

    // Every change of the pass goes or none: item 1 is written before item 5 fails.
    void failedRowUndoesThePass() {
        QList<Item> items = StartItems();
        items.append({5, 1005, 1.0});
        const QString receiver = MakeReceiver(items);
        ReceiverProbe::FailUpdateOf(receiver, 5);
        const InfobaseFixture infobase;
        infobase.WriteBalances(
            {QStringLiteral("1001;Основной;10"), QStringLiteral("1005;Основной;4")});
        RecordingTransferContext worker(OneCParameters());

        QCOMPARE(FailureKind([&] { Transfer(worker, receiver, infobase); }),
                 QStringLiteral("EOleException"));

        QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
        Quantities expected = StartQuantities();
        expected[5] = 1.0;
        QCOMPARE(ReceiverProbe::Quantities(receiver), expected);
    }

    void refusedNames_data() {
        QTest::addColumn<QString>("tableName");
        QTest::addColumn<QString>("valueField");
        QTest::newRow("statement in the table name")
            << QStringLiteral("Stock_Balance; delete from Parts") << QStringLiteral("Quantity");
        QTest::newRow("quote in the value field")
            << QStringLiteral("Stock_Balance") << QStringLiteral("Quantity = '1'");
    }

    // Refused before the pause: nothing is read, sent or written.
    void refusedNames() {
        QFETCH(QString, tableName);
        QFETCH(QString, valueField);
        const QString receiver = MakeReceiver(StartItems());
        const InfobaseFixture infobase({QStringLiteral("--fail"), QStringLiteral("EvalExpr:sent")});
        WorkerParameters parameters = OneCParameters();
        parameters.TableName = tableName;
        parameters.ValueField = valueField;
        RecordingTransferContext worker(parameters);

        QString failure;
        QCOMPARE(FailureKind([&] { Transfer(worker, receiver, infobase); }, &failure),
                 QStringLiteral("Exception"));

        QVERIFY2(failure.contains(tableName == "Stock_Balance" ? valueField : tableName),
                 qPrintable(failure));
        QVERIFY(worker.Sleeps().isEmpty());
        QVERIFY(worker.LogCodes().isEmpty());
        QCOMPARE(ReceiverProbe::Quantities(receiver), StartQuantities());
    }

    // An empty expression is not sent: the server would fail any call.
    void emptyExpressionIsNotSent() {
        const InfobaseFixture infobase({QStringLiteral("--fail"), QStringLiteral("EvalExpr:sent")});
        const std::unique_ptr<AutomationObject> object = OpenInfobase(infobase);

        QCOMPARE(Evaluate(*object, QStringLiteral(" \t ")), QString());
        QCOMPARE(FailureKind(
                     [&] { Evaluate(*object, QStringLiteral("глЗаполнитьТаблицуОстатковОЛЕ()")); }),
                 QStringLiteral("EOleException"));
    }

    void answersAreTrimmedText() {
        const InfobaseFixture infobase;
        const std::unique_ptr<AutomationObject> object = OpenInfobase(infobase);

        QCOMPARE(Evaluate(*object, QStringLiteral("  глЗадатьФильтрСкладовОЛЕ(\"\")  ")),
                 QStringLiteral("1"));
        QCOMPARE(Evaluate(*object, QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ(1001)")),
                 QStringLiteral("-1"));
    }
};

QTEST_GUILESS_MAIN(OneCTransferTest)
#include "OneCTransferTest.moc"

#include "engine/SqlTransfer.h"

#include "platform/DbConnection.h"
#include "support/DatabaseFixtures.h"
#include "support/FailureKind.h"
#include "support/LocaleRun.h"
#include "support/ReceiverProbe.h"
#include "support/RecordingTransferContext.h"

#include <QTest>

using enum EventCode;

using Item = DatabaseFixtures::Item;
using Quantities = QMap<int, QVariant>;

Q_DECLARE_METATYPE(TestDatabaseKind)

namespace {

const QVariant kNull;

// The receiver items every pass starts from, and what the source says of them.
//   1: 1001  5    source 7     changed
//   2: 1002  3    source 3     equal, not written
//   3: 1003  Null source 0     equal, the Null stays
//   4: 1004  2    no source    kept
//   5: 1005  4    source Null  a Null differs from any number
//   6: 1006  Null source 2.5   changed
// The source also holds 1999, which the receiver does not have.
QList<Item> StartItems() {
    return {{1, 1001, 5.0}, {2, 1002, 3.0}, {3, 1003, kNull},
            {4, 1004, 2.0}, {5, 1005, 4.0}, {6, 1006, kNull}};
}

Quantities StartQuantities() {
    return {{1, 5.0}, {2, 3.0}, {3, kNull}, {4, 2.0}, {5, 4.0}, {6, kNull}};
}

WorkerParameters SqlParameters() {
    WorkerParameters parameters;
    parameters.TableName = QStringLiteral("Stock_Balance");
    parameters.KeyField = QStringLiteral("Partno");
    parameters.ValueField = QStringLiteral("Quantity");
    parameters.ConnectionType = 1;
    parameters.SqlQuery = QStringLiteral("select Item, Qty from Src");
    parameters.DockingField = QStringLiteral("Item");
    parameters.SourceValueField = QStringLiteral("Qty");
    return parameters;
}

} // namespace

class SqlTransferTest : public QObject {
    Q_OBJECT

private:
    QString MakeReceiver(TestDatabaseKind kind, const QList<Item>& items) {
        return ReceiverProbe::CreateReceiver(databases_, kind,
                                             QStringLiteral("receiver%1").arg(++made_), items);
    }

    QString MakeSource(TestDatabaseKind kind) {
        const QString source = databases_.Create(kind, QStringLiteral("source%1").arg(++made_));
        DatabaseFixtures::Run(
            source, {QStringLiteral("create table Src (Item integer, Qty double precision)"),
                     QStringLiteral("insert into Src values (1001, 7)"),
                     QStringLiteral("insert into Src values (1002, 3)"),
                     QStringLiteral("insert into Src values (1003, 0)"),
                     QStringLiteral("insert into Src values (1005, null)"),
                     QStringLiteral("insert into Src values (1006, 2.5)"),
                     QStringLiteral("insert into Src values (1999, 50)")});
        return source;
    }

    // A source whose quantity column is text, with the rows given as (code, text).
    QString MakeTextSource(TestDatabaseKind kind, const QList<std::pair<int, QVariant>>& rows) {
        const QString source = databases_.Create(kind, QStringLiteral("text%1").arg(++made_));
        QStringList statements{QStringLiteral("create table Src (Item integer, Qty varchar(30))")};
        for (const auto& [code, text] : rows)
            statements.append(
                QStringLiteral("insert into Src values (%1, %2)")
                    .arg(code)
                    .arg(text.isNull() ? QStringLiteral("null") : u'\'' + text.toString() + u'\''));
        DatabaseFixtures::Run(source, statements);
        return source;
    }

    static void AddTextSourceKinds() {
        QTest::addColumn<TestDatabaseKind>("sourceKind");
        for (TestDatabaseKind kind :
             {TestDatabaseKind::Sqlite, TestDatabaseKind::PostgreSql, TestDatabaseKind::MariaDb})
            QTest::newRow(qPrintable(DatabaseFixtures::KindName(kind))) << kind;
    }

    static void Transfer(RecordingTransferContext& worker, const QString& receiverString,
                         const QString& sourceString) {
        DbConnection receiver(receiverString);
        DbConnection source(sourceString);
        receiver.Open();
        source.Open();
        TransferFromSql(worker, receiver, source);
    }

    DatabaseFixtures databases_;
    int made_ = 0;

private Q_SLOTS:
    void fullPass_data() {
        QTest::addColumn<TestDatabaseKind>("receiverKind");
        QTest::addColumn<TestDatabaseKind>("sourceKind");
        QTest::newRow("embedded from SQLite")
            << TestDatabaseKind::FirebirdEmbedded << TestDatabaseKind::Sqlite;
        QTest::newRow("server from PostgreSQL")
            << TestDatabaseKind::FirebirdServer << TestDatabaseKind::PostgreSql;
        QTest::newRow("embedded from PostgreSQL")
            << TestDatabaseKind::FirebirdEmbedded << TestDatabaseKind::PostgreSql;
        QTest::newRow("server from SQLite")
            << TestDatabaseKind::FirebirdServer << TestDatabaseKind::Sqlite;
    }

    // Exactly the rows whose quantity differs are written, in one pass, with its events.
    void fullPass() {
        QFETCH(TestDatabaseKind, receiverKind);
        QFETCH(TestDatabaseKind, sourceKind);
        const QString receiver = MakeReceiver(receiverKind, StartItems());
        const QString source = MakeSource(sourceKind);
        RecordingTransferContext worker(SqlParameters());

        Transfer(worker, receiver, source);

        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, SourceSelected, ReceiverUpdated}));
        QCOMPARE(ReceiverProbe::Written(receiver), QList<int>({1, 5, 6}));
        Quantities expected = StartQuantities();
        expected[1] = 7.0;
        expected[5] = kNull;
        expected[6] = 2.5;
        QCOMPARE(ReceiverProbe::Quantities(receiver), expected);
    }

    void emptyReceiverCommitsNothing() {
        const QString receiver = MakeReceiver(TestDatabaseKind::FirebirdEmbedded, {});
        RecordingTransferContext worker(SqlParameters());

        Transfer(worker, receiver, MakeSource(TestDatabaseKind::Sqlite));

        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, SourceSelected, ReceiverUpdated}));
        QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
    }

    void failedRowUndoesThePass_data() {
        QTest::addColumn<TestDatabaseKind>("receiverKind");
        QTest::newRow("embedded") << TestDatabaseKind::FirebirdEmbedded;
        QTest::newRow("server") << TestDatabaseKind::FirebirdServer;
    }

    // Rows 1 and 5 are written before row 6 fails: none of the three stays.
    void failedRowUndoesThePass() {
        QFETCH(TestDatabaseKind, receiverKind);
        const QString receiver = MakeReceiver(receiverKind, StartItems());
        ReceiverProbe::FailUpdateOf(receiver, 6);
        RecordingTransferContext worker(SqlParameters());

        QString message;
        QCOMPARE(
            FailureKind([&] { Transfer(worker, receiver, MakeSource(TestDatabaseKind::Sqlite)); },
                        &message),
            QStringLiteral("EOleException"));

        QVERIFY2(message.contains(QStringLiteral("Строка отклонена")), qPrintable(message));
        QCOMPARE(worker.LogCodes(), QList<EventCode>({ReceiverSelected, SourceSelected}));
        QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
        QCOMPARE(ReceiverProbe::Quantities(receiver), StartQuantities());
    }

    void failures_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QList<EventCode>>("codes");
        const QList<EventCode> none;
        QTest::newRow("no such table") << "TableName"
                                       << "No_Such_Balance"
                                       << "EOleException" << none;
        QTest::newRow("no such key field") << "KeyField"
                                           << "No_Key"
                                           << "EOleException" << none;
        QTest::newRow("no such value field")
            << "ValueField"
            << "No_Value"
            << "EOleException" << QList<EventCode>{ReceiverSelected, SourceSelected};
        QTest::newRow("faulty query") << "SqlQuery"
                                      << "select Item, Qty from No_Such_Src"
                                      << "EOleException" << QList<EventCode>{ReceiverSelected};
        QTest::newRow("no docking column")
            << "DockingField"
            << "Code"
            << "Exception" << QList<EventCode>{ReceiverSelected, SourceSelected};
        QTest::newRow("no value column")
            << "SourceValueField"
            << "Amount"
            << "Exception" << QList<EventCode>{ReceiverSelected, SourceSelected};
        QTest::newRow("statement in a table name") << "TableName"
                                                   << "Stock_Balance A, Parts B; delete from Parts"
                                                   << "Exception" << none;
        QTest::newRow("quote in a key field") << "KeyField"
                                              << "Partno = 0 or 'x'"
                                              << "Exception" << none;
        QTest::newRow("comment in a value field") << "ValueField"
                                                  << "Quantity = 0 --"
                                                  << "Exception" << none;
        QTest::newRow("unclosed quoted name") << "TableName"
                                              << "\"Stock_Balance"
                                              << "Exception" << none;
    }

    // Database errors are EOleException; what the transfer itself rejects is a general error.
    // Either way the receiver is as it was.
    void failures() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, kind);
        QFETCH(QList<EventCode>, codes);
        const QString receiver = MakeReceiver(TestDatabaseKind::FirebirdEmbedded, StartItems());
        WorkerParameters parameters = SqlParameters();
        QString* target = field == "TableName"      ? &parameters.TableName
                          : field == "KeyField"     ? &parameters.KeyField
                          : field == "ValueField"   ? &parameters.ValueField
                          : field == "SqlQuery"     ? &parameters.SqlQuery
                          : field == "DockingField" ? &parameters.DockingField
                                                    : &parameters.SourceValueField;
        *target = value;
        RecordingTransferContext worker(parameters);

        QString message;
        QCOMPARE(
            FailureKind([&] { Transfer(worker, receiver, MakeSource(TestDatabaseKind::Sqlite)); },
                        &message),
            kind);

        QVERIFY(!message.isEmpty());
        QCOMPARE(worker.LogCodes(), codes);
        QCOMPARE(ReceiverProbe::Quantities(receiver), StartQuantities());
        QCOMPARE(DatabaseFixtures::Select(receiver, QStringLiteral("select count(*) from Parts"))
                     .at(0)
                     .at(0)
                     .toInt(),
                 6);
    }

    void quotedNamesAreUsed() {
        const QString receiver = databases_.CreateFirebirdEmbedded(QStringLiteral("quoted"));
        DatabaseFixtures::Run(
            receiver,
            {QStringLiteral("create table Parts (Partno integer not null primary key, Code "
                            "integer)"),
             QStringLiteral("create table \"Остатки склада\" (\"Товар\" integer, Quantity "
                            "double precision, \"Новое \"\"значение\"\"\" double precision)")});
        DatabaseFixtures::Run(
            receiver, {QStringLiteral("insert into Parts values (1, 1001)"),
                       QStringLiteral("insert into \"Остатки склада\" values (1, 5, null)")});
        WorkerParameters parameters = SqlParameters();
        parameters.TableName = QStringLiteral("\"Остатки склада\"");
        parameters.KeyField = QStringLiteral(" \"Товар\" ");
        parameters.ValueField = QStringLiteral("\"Новое \"\"значение\"\"\"");
        RecordingTransferContext worker(parameters);

        Transfer(worker, receiver, MakeSource(TestDatabaseKind::Sqlite));

        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, SourceSelected, ReceiverUpdated}));
        QCOMPARE(DatabaseFixtures::Select(
                     receiver, QStringLiteral("select Quantity, \"Новое \"\"значение\"\"\" from "
                                              "\"Остатки склада\"")),
                 QList<QVariantList>({{5.0, 7.0}}));
    }

    // A receiver code that is no integer cannot be matched with the source.
    void codeThatIsNoInteger() {
        const QString receiver = databases_.CreateFirebirdEmbedded(QStringLiteral("textcode"));
        DatabaseFixtures::Run(
            receiver,
            {QStringLiteral("create table Parts (Partno integer not null primary key, Code "
                            "varchar(20))"),
             QStringLiteral("create table Stock_Balance (Partno integer, Quantity double "
                            "precision)")});
        DatabaseFixtures::Run(receiver,
                              {QStringLiteral("insert into Parts values (1, '1001')"),
                               QStringLiteral("insert into Parts values (2, 'А-17')"),
                               QStringLiteral("insert into Stock_Balance values (1, 5)"),
                               QStringLiteral("insert into Stock_Balance values (2, 6)")});
        RecordingTransferContext worker(SqlParameters());

        QString message;
        QCOMPARE(
            FailureKind([&] { Transfer(worker, receiver, MakeSource(TestDatabaseKind::Sqlite)); },
                        &message),
            QStringLiteral("Exception"));

        QVERIFY2(message.contains(QStringLiteral("А-17")), qPrintable(message));
        QCOMPARE(
            DatabaseFixtures::Select(receiver, QStringLiteral("select Quantity from Stock_Balance "
                                                              "order by Partno")),
            QList<QVariantList>({{5.0}, {6.0}}));
    }

    void textQuantities_data() { AddTextSourceKinds(); }

    // A quantity kept as text is read as a number, with a decimal comma or point, blanks
    // around it and digits grouped by a non-breaking space; so it is written once and then
    // equals the receiver's value.
    void textQuantities() {
        QFETCH(TestDatabaseKind, sourceKind);
        const QString receiver = MakeReceiver(TestDatabaseKind::FirebirdEmbedded, {{1, 1001, 0.0},
                                                                                   {2, 1002, 0.0},
                                                                                   {3, 1003, 0.0},
                                                                                   {4, 1004, 0.0},
                                                                                   {5, 1005, 4.0},
                                                                                   {6, 1006, 0.0}});
        const QString source = MakeTextSource(sourceKind, {{1001, QStringLiteral("12,5")},
                                                           {1002, QStringLiteral("7.25")},
                                                           {1003, QStringLiteral(" 3 ")},
                                                           {1004, QStringLiteral("1\u00A0109,71")},
                                                           {1005, kNull},
                                                           {1006, QStringLiteral("0")}});
        RecordingTransferContext worker(SqlParameters());

        Transfer(worker, receiver, source);

        QCOMPARE(worker.LogCodes(),
                 QList<EventCode>({ReceiverSelected, SourceSelected, ReceiverUpdated}));
        QCOMPARE(ReceiverProbe::Quantities(receiver),
                 (Quantities{{1, 12.5}, {2, 7.25}, {3, 3.0}, {4, 1109.71}, {5, kNull}, {6, 0.0}}));
        QCOMPARE(ReceiverProbe::Written(receiver), QList<int>({1, 2, 3, 4, 5}));

        // Only the Null, which equals nothing, is written again.
        Transfer(worker, receiver, source);
        QCOMPARE(ReceiverProbe::Written(receiver), QList<int>({1, 2, 3, 4, 5, 5}));
    }

    void textQuantitiesUnderLocales_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C.UTF-8") << "C.UTF-8";
        QTest::newRow("ru_RU.UTF-8") << "ru_RU.UTF-8";
    }

    // Each locale is a run of its own of the two tests above and below.
    void textQuantitiesUnderLocales() {
        QFETCH(QString, locale);
        QString output;
        QVERIFY2(LocaleRun::RunFunctions(
                     locale,
                     {QStringLiteral("textQuantities"), QStringLiteral("textThatIsNoNumber")},
                     &output),
                 qPrintable(output));
    }

    void textThatIsNoNumber_data() { AddTextSourceKinds(); }

    // A text that is still no number is an error naming the item and the text; the rows
    // already written in the pass are rolled back.
    void textThatIsNoNumber() {
        QFETCH(TestDatabaseKind, sourceKind);
        const QString receiver = MakeReceiver(TestDatabaseKind::FirebirdEmbedded, StartItems());
        const QString source = MakeTextSource(
            sourceKind, {{1001, QStringLiteral("12,5")}, {1003, QStringLiteral("n/a")}});
        RecordingTransferContext worker(SqlParameters());

        QString message;
        QCOMPARE(FailureKind([&] { Transfer(worker, receiver, source); }, &message),
                 QStringLiteral("Exception"));

        QVERIFY2(message.contains(QStringLiteral("1003")) &&
                     message.contains(QStringLiteral("\"n/a\"")),
                 qPrintable(message));
        QCOMPARE(worker.LogCodes(), QList<EventCode>({ReceiverSelected, SourceSelected}));
        QCOMPARE(ReceiverProbe::Quantities(receiver), StartQuantities());
    }

    void stopRequest_data() {
        QTest::addColumn<EventCode>("stopAfter");
        QTest::addColumn<QList<EventCode>>("codes");
        QTest::newRow("after the receiver's select")
            << ReceiverSelected << QList<EventCode>{ReceiverSelected};
        QTest::newRow("after the source's query")
            << SourceSelected << QList<EventCode>{ReceiverSelected, SourceSelected};
    }

    // A stop request skips the rest and the transfer returns normally.
    void stopRequest() {
        QFETCH(EventCode, stopAfter);
        QFETCH(QList<EventCode>, codes);
        const QString receiver = MakeReceiver(TestDatabaseKind::FirebirdEmbedded, StartItems());
        RecordingTransferContext worker(SqlParameters());
        worker.StopAfterCode = stopAfter;

        Transfer(worker, receiver, MakeSource(TestDatabaseKind::Sqlite));

        QCOMPARE(worker.LogCodes(), codes);
        QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
    }
};

QTEST_GUILESS_MAIN(SqlTransferTest)
#include "SqlTransferTest.moc"

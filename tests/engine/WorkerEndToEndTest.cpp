#include "core/TableFields.h"
#include "engine/ConnectionControl.h"
#include "engine/TWorkThread.h"
#include "engine/UpdateWatchdog.h"
#include "platform/AutomationObject.h"
#include "platform/Clock.h"
#include "support/DatabaseFixtures.h"
#include "support/EngineFixture.h"
#include "support/InfobaseFixture.h"
#include "support/PrivateFirebirdServer.h"
#include "support/ReceiverProbe.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using enum EventCode;

using Item = DatabaseFixtures::Item;
using Quantities = QMap<int, QVariant>;

Q_DECLARE_METATYPE(TestDatabaseKind)

namespace {

const QVariant kNull;
constexpr std::int64_t kMinute = 60000;
constexpr std::int64_t kPeriod = 2 * kMinute;
constexpr std::int64_t kPause = 30000;

// Whole cycles of a connection from StartConnection on, through the worker's own steps.
const QList<EventCode> kSqlCycle = {CycleBegins,    ReceiverOpened,  SourceOpened, ReceiverSelected,
                                    SourceSelected, ReceiverUpdated, Updated,      SourceReleased,
                                    ReceiverClosed, CycleEnds};
const QList<EventCode> kOneCCycle = {
    CycleBegins,    ReceiverOpened, SourceOpened,   ReceiverSelected, BalancesCleared,
    BalancesAdded,  StockFilterSet, BalancesFilled, BalancesRead,     Updated,
    SourceReleased, ReceiverClosed, CycleEnds};

// The receiver of the 1C cycles, against the stand-in's default balances and the filter
// "Основной" (1001: 10; 1002: 0; 1003 only in Розница: 0; 1004 unknown: -1):
//   1: 1001  5     10: changed
//   2: 1002  Null  0: equal, the Null stays
//   3: 1003  7     0: changed
//   4: 1004  3     -1: kept
QList<Item> OneCItems() {
    return {{1, 1001, 5.0}, {2, 1002, kNull}, {3, 1003, 7.0}, {4, 1004, 3.0}};
}

Quantities OneCStart() {
    return {{1, 5.0}, {2, kNull}, {3, 7.0}, {4, 3.0}};
}

QString DbName(const QString& connectionString) {
    return connectionString.section(QStringLiteral("DBNAME="), 1).section(u';', 0, 0);
}

} // namespace

class WorkerEndToEndTest : public QObject {
    Q_OBJECT

private:
    // A receiver with its writes recorded, holding the items.
    QString MakeReceiver(const QString& connectionString, const QList<Item>& items) {
        DatabaseFixtures::CreateReceiverSchema(connectionString);
        ReceiverProbe::RecordWrites(connectionString);
        DatabaseFixtures::SeedReceiver(connectionString, items);
        return connectionString;
    }

    // Runs the main thread until the connection has written count events and its worker
    // sleeps again (or has ended).
    static bool WaitForEvents(EngineFixture& fixture, int id, int count,
                              const std::weak_ptr<TWorkThread>& worker) {
        return EngineFixture::WaitUntil([&] {
            return fixture.Events.Codes(id).size() >= count &&
                   (worker.expired() || fixture.Time->Sleepers() >= 1);
        });
    }

    DatabaseFixtures databases_;
    int made_ = 0;

private Q_SLOTS:
    void sqlCycle_data();
    void sqlCycle();
    void oneCCycle_data();
    void oneCCycle();
    void terminationDuringOneCPause();
    void balanceThatIsNoNumber();
    void receiverServerStoppedMidUpdate();
};

void WorkerEndToEndTest::sqlCycle_data() {
    QTest::addColumn<TestDatabaseKind>("sourceKind");
    QTest::newRow("PostgreSQL") << TestDatabaseKind::PostgreSql;
    QTest::newRow("MariaDB") << TestDatabaseKind::MariaDb;
}

// An SQL source through ODBC into a Firebird server over TCP, both with passwords kept apart
// from the shown strings: exactly the differing rows are written, in each cycle. The restored
// source string ends with its separator, which MariaDB's driver would not parse.
void WorkerEndToEndTest::sqlCycle() {
    QFETCH(TestDatabaseKind, sourceKind);
    //   1: 1001  5     source 12.5  changed
    //   2: 1002  Null  source 0     equal, the Null stays
    //   3: 1003  7     source 7     equal, not written
    //   4: 1004  3     no source    kept
    //   5: 1005  Null  source 4     changed
    //   6: 1006  2     source Null  a Null differs from any number
    // The source also holds 9999, which the receiver does not have.
    const QString receiver = MakeReceiver(
        databases_.CreateFirebirdServer(QStringLiteral("sql%1").arg(++made_)), {{1, 1001, 5.0},
                                                                                {2, 1002, kNull},
                                                                                {3, 1003, 7.0},
                                                                                {4, 1004, 3.0},
                                                                                {5, 1005, kNull},
                                                                                {6, 1006, 2.0}});
    const QString source = databases_.Create(sourceKind, QStringLiteral("source"));
    DatabaseFixtures::Run(
        source, {QStringLiteral("create table Src (Code integer, Qty numeric(12, 3))"),
                 QStringLiteral("insert into Src values (1001, 12.5), (1002, 0), (1003, 7), "
                                "(1005, 4), (1006, null), (9999, 1)")});
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = fixture.AddConnection(
        QStringLiteral("Склад"), fixture.AddReceiver(receiver),
        fixture.AddSource(1, source, QStringLiteral("select Code, Qty from Src"),
                          QStringLiteral("code"), QStringLiteral("qty")),
        2);
    QVERIFY(!fixture.Dm.Receiver.FieldByName(Fields::Receiver::Connection_String)
                 .AsString()
                 .contains(DatabaseFixtures::SysdbaPassword()));

    control.StartConnection(id);
    const std::weak_ptr<TWorkThread> worker = control.FindRunning(id);
    QVERIFY(worker.lock()->Parameters().SourceConnectionString.endsWith(u';'));
    QVERIFY(WaitForEvents(fixture, id, 1 + kSqlCycle.size(), worker));

    QCOMPARE(fixture.Events.Codes(id), QList<EventCode>{Started} + kSqlCycle);
    QCOMPARE(fixture.Status(id), Updating);
    QCOMPARE(fixture.ConnectionValue(id, Fields::Connection::Update_Time).toDateTime(),
             EngineFixture::DefaultStart());
    QCOMPARE(fixture.CycleMarks(id), 0);
    QVERIFY(fixture.Prompts.Messages().isEmpty());
    QCOMPARE(ReceiverProbe::Written(receiver), (QList<int>{1, 5, 6}));
    QCOMPARE(ReceiverProbe::Quantities(receiver),
             (Quantities{{1, 12.5}, {2, kNull}, {3, 7.0}, {4, 3.0}, {5, 4.0}, {6, kNull}}));

    // The next cycle comes after the period and writes only what changed since, and the
    // Null of the source again, which equals nothing.
    DatabaseFixtures::Run(source, {QStringLiteral("update Src set Qty = 8 where Code = 1003")});
    QCOMPARE(fixture.Time->AdvanceToNextWake(), kPeriod);
    QVERIFY(WaitForEvents(fixture, id, 1 + 2 * kSqlCycle.size(), worker));
    QCOMPARE(fixture.Events.Codes(id), QList<EventCode>{Started} + kSqlCycle + kSqlCycle);
    QCOMPARE(ReceiverProbe::Written(receiver), (QList<int>{1, 3, 5, 6, 6}));
    QCOMPARE(ReceiverProbe::Quantities(receiver).value(3), QVariant(8.0));
}

void WorkerEndToEndTest::oneCCycle_data() {
    QTest::addColumn<int>("type");
    for (int type = 2; type <= 6; ++type)
        QTest::addRow("type %d", type) << type;
}

// The registration names the stand-in for the ProgID of this type only, so a worker that
// asked for another would fail to create its object.
void WorkerEndToEndTest::oneCCycle() {
    QFETCH(int, type);
    const InfobaseFixture infobase;
    const QTemporaryDir registrationFolder;
    const QString registration = registrationFolder.filePath(QStringLiteral("Automation.ini"));
    QFile file(registration);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[%1]\nProgram=%2\n")
                   .arg(ProgIdForType(type), InfobaseFixture::ServerProgram())
                   .toUtf8());
    file.close();
    const QString receiver = MakeReceiver(
        databases_.CreateFirebirdEmbedded(QStringLiteral("onec%1").arg(++made_)), OneCItems());
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment(3, registration));
    const int id =
        fixture.AddConnection(QStringLiteral("Склад 1С"), fixture.AddReceiver(receiver),
                              fixture.AddSource(type, infobase.CommandLine(), QString(), QString(),
                                                QString(), QStringLiteral("Основной")),
                              2);
    // The password of the command line is kept apart and restored for the worker.
    QVERIFY(!fixture.Dm.Source.FieldByName(Fields::Source::Connection_String)
                 .AsString()
                 .contains(InfobaseFixture::Password()));

    control.StartConnection(id);
    const std::weak_ptr<TWorkThread> worker = control.FindRunning(id);

    // Both ends are open and the infobase is given its pause before anything is read.
    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Events.Codes(id),
             (QList<EventCode>{Started, CycleBegins, ReceiverOpened, SourceOpened}));
    QCOMPARE(fixture.CycleMarks(id), 1);
    QCOMPARE(fixture.Time->AdvanceToNextWake(), kPause);
    QVERIFY(WaitForEvents(fixture, id, 1 + kOneCCycle.size(), worker));

    QCOMPARE(fixture.Events.Codes(id), QList<EventCode>{Started} + kOneCCycle);
    QCOMPARE(fixture.Status(id), Updating);
    QCOMPARE(fixture.ConnectionValue(id, Fields::Connection::Update_Time).toDateTime(),
             EngineFixture::DefaultStart().addMSecs(kPause));
    QCOMPARE(fixture.CycleMarks(id), 0);
    QVERIFY(fixture.Prompts.Messages().isEmpty());
    QCOMPARE(ReceiverProbe::Written(receiver), (QList<int>{1, 3}));
    Quantities expected = OneCStart();
    expected[1] = 10.0;
    expected[3] = 0.0;
    QCOMPARE(ReceiverProbe::Quantities(receiver), expected);
    QCOMPARE(fixture.Time->AdvanceToNextWake(), kPeriod);
}

// A stop during the pause finds the worker asleep: the connection shows 0 at once, the
// transfer does nothing (the infobase would fail anything sent), the cycle ends as after a
// normal return, and the worker ends after its next wait without touching the row again.
void WorkerEndToEndTest::terminationDuringOneCPause() {
    const InfobaseFixture infobase({QStringLiteral("--fail"), QStringLiteral("EvalExpr:sent")});
    const QString receiver = MakeReceiver(
        databases_.CreateFirebirdEmbedded(QStringLiteral("onec%1").arg(++made_)), OneCItems());
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment(3, infobase.RegistrationFile()));
    const int id = fixture.AddConnection(QStringLiteral("Склад 1С"), fixture.AddReceiver(receiver),
                                         fixture.AddSource(2, infobase.CommandLine()), 2);
    control.StartConnection(id);
    const std::weak_ptr<TWorkThread> worker = control.FindRunning(id);
    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Events.Codes(id),
             (QList<EventCode>{Started, CycleBegins, ReceiverOpened, SourceOpened}));

    control.StopConnection(id, false);

    QCOMPARE(fixture.Status(id), NotUpdating);
    QVERIFY(control.RunningConnections().empty());
    QCOMPARE(fixture.Time->AdvanceToNextWake(), kPause);
    QVERIFY(WaitForEvents(fixture, id, 8, worker));
    // Nothing was transferred, so no update is reported and the update time stays empty.
    QCOMPARE(fixture.Events.Codes(id),
             (QList<EventCode>{Started, CycleBegins, ReceiverOpened, SourceOpened, Stopped,
                               SourceReleased, ReceiverClosed, CycleEnds}));
    QVERIFY(fixture.ConnectionValue(id, Fields::Connection::Update_Time).isNull());
    QCOMPARE(fixture.Status(id), NotUpdating);
    QCOMPARE(fixture.CycleMarks(id), 0);
    QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
    QCOMPARE(ReceiverProbe::Quantities(receiver), OneCStart());

    QCOMPARE(fixture.Time->AdvanceToNextWake(), kPeriod);
    QVERIFY(EngineFixture::WaitUntil([&] { return worker.expired(); }));
    QCOMPARE(fixture.Events.Codes(id).size(), 8);
    QCOMPARE(fixture.Status(id), NotUpdating);
    QCOMPARE(fixture.Time->Sleepers(), 0);
}

// A balance the infobase answers as no number is an update error: the worker reports it,
// ends and leaves its registration, and the watchdog clears the receiver once that is more
// than 300 seconds old.
void WorkerEndToEndTest::balanceThatIsNoNumber() {
    const InfobaseFixture infobase(
        {QStringLiteral("--answer"), QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ:много")});
    const QString receiver = MakeReceiver(
        databases_.CreateFirebirdEmbedded(QStringLiteral("onec%1").arg(++made_)), OneCItems());
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment(3, infobase.RegistrationFile()));
    const int id = fixture.AddConnection(QStringLiteral("Склад 1С"), fixture.AddReceiver(receiver),
                                         fixture.AddSource(2, infobase.CommandLine()), 2);
    control.StartConnection(id);
    const std::weak_ptr<TWorkThread> worker = control.FindRunning(id);
    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Time->AdvanceToNextWake(), kPause);
    QVERIFY(EngineFixture::WaitUntil([&] { return worker.expired(); }));

    QCOMPARE(fixture.Events.Codes(id),
             (QList<EventCode>{Started, CycleBegins, ReceiverOpened, SourceOpened, ReceiverSelected,
                               BalancesCleared, BalancesAdded, StockFilterSet, BalancesFilled,
                               SourceReleased, ReceiverClosed, UpdateFailed}));
    QCOMPARE(fixture.Status(id), UpdateError);
    const QString errorText = fixture.Events.Events().last().Text;
    QVERIFY2(errorText.contains(QStringLiteral("много")), qPrintable(errorText));
    QCOMPARE(fixture.Prompts.Texts(),
             QStringList{QStringLiteral("В процессе обновления у соединения \"Склад 1С\" "
                                        "произошла следующая ошибка:\r\r") +
                         errorText});
    QVERIFY(control.RunningConnections().empty());
    QCOMPARE(fixture.Time->Sleepers(), 0);
    QCOMPARE(fixture.CycleMarks(id), 1);
    QCOMPARE(ReceiverProbe::Quantities(receiver), OneCStart());

    UpdateWatchdog watchdog(fixture.Dm, fixture.Passwords, fixture.Prompts, *fixture.Time,
                            fixture.Events);
    fixture.Time->SetNow(EngineFixture::DefaultStart().addSecs(300));
    watchdog.TaskSchedulerTimer(&fixture.Dm.TaskScheduler);
    QCOMPARE(fixture.CycleMarks(id), 1);
    QCOMPARE(ReceiverProbe::Quantities(receiver), OneCStart());

    fixture.Time->SetNow(EngineFixture::DefaultStart().addSecs(301));
    watchdog.TaskSchedulerTimer(&fixture.Dm.TaskScheduler);
    QVERIFY(EngineFixture::WaitUntil([&] { return fixture.Dm.TaskScheduler.isActive(); }));
    QCOMPARE(fixture.CycleMarks(id), 0);
    QCOMPARE(ReceiverProbe::Quantities(receiver),
             (Quantities{{1, kNull}, {2, kNull}, {3, kNull}, {4, kNull}}));
    QCOMPARE(fixture.Prompts.Messages().size(), 1);
    QCOMPARE(fixture.Status(id), UpdateError);
}

// The receiver's server goes away while the worker's update holds the first item written and
// waits on the second: nothing of the pass stays, the failure is a counted connection error,
// and once the server is back the next cycle updates by itself.
void WorkerEndToEndTest::receiverServerStoppedMidUpdate() {
    PrivateFirebirdServer server;
    QVERIFY2(server.Start(), qPrintable(server.ErrorText()));
    const QString receiver =
        MakeReceiver(databases_.CreateFirebirdServer(QStringLiteral("private"), server.ServerName(),
                                                     server.DataFolder()),
                     DatabaseFixtures::NumberedItems(3));
    // Updating item 2 waits for the gate, which the test holds.
    DatabaseFixtures::Run(receiver, {QStringLiteral("create table Gate (Opened integer)")});
    DatabaseFixtures::Run(
        receiver, {QStringLiteral("insert into Gate values (0)"),
                   QStringLiteral("create trigger Stock_Balance_Gate for Stock_Balance before "
                                  "update as begin if (new.Partno = 2) then update Gate set "
                                  "Opened = 1; end")});
    const QString source = databases_.CreateSqlite(QStringLiteral("source%1").arg(++made_));
    DatabaseFixtures::Run(source, {QStringLiteral("create table Src (Code integer, Qty real)"),
                                   QStringLiteral("insert into Src values (1001, 11)"),
                                   QStringLiteral("insert into Src values (1002, 12)"),
                                   QStringLiteral("insert into Src values (1003, 13)")});
    {
        QSqlDatabase gate = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), "gate");
        gate.setDatabaseName(DbName(receiver));
        gate.setUserName(QStringLiteral("SYSDBA"));
        gate.setPassword(DatabaseFixtures::SysdbaPassword());
        QVERIFY2(gate.open(), qPrintable(gate.lastError().text()));
        QVERIFY(gate.transaction());
        QSqlQuery hold(gate);
        QVERIFY(hold.exec(QStringLiteral("update Gate set Opened = 2")));

        EngineFixture fixture;
        ConnectionControl control(fixture.Environment(3));
        const int id = fixture.AddConnection(
            QStringLiteral("Склад"), fixture.AddReceiver(receiver),
            fixture.AddSource(1, source, QStringLiteral("select Code, Qty from Src"),
                              QStringLiteral("Code"), QStringLiteral("Qty")),
            2);
        control.StartConnection(id);
        const std::weak_ptr<TWorkThread> worker = control.FindRunning(id);
        QVERIFY(EngineFixture::WaitUntil([&] {
            return !DatabaseFixtures::Select(receiver,
                                             QStringLiteral("select 1 from MON$CALL_STACK where "
                                                            "MON$OBJECT_NAME = "
                                                            "'STOCK_BALANCE_GATE'"))
                        .isEmpty();
        }));
        QCOMPARE(fixture.Events.Codes(id),
                 (QList<EventCode>{Started, CycleBegins, ReceiverOpened, SourceOpened,
                                   ReceiverSelected, SourceSelected}));

        server.Stop();
        QVERIFY(WaitForEvents(fixture, id, 10, worker));
        QCOMPARE(fixture.Events.Codes(id),
                 (QList<EventCode>{Started, CycleBegins, ReceiverOpened, SourceOpened,
                                   ReceiverSelected, SourceSelected, UpdateFailed, SourceReleased,
                                   ReceiverClosed, CycleEnds}));
        QCOMPARE(fixture.Status(id), ConnectError);
        QVERIFY(!fixture.Events.Events().at(6).Text.isEmpty());
        QCOMPARE(fixture.CycleMarks(id), 0);
        QVERIFY(fixture.Prompts.Messages().isEmpty());
        hold.finish();
        gate.close();

        QVERIFY2(server.Start(), qPrintable(server.ErrorText()));
        QVERIFY(ReceiverProbe::Written(receiver).isEmpty());
        QCOMPARE(ReceiverProbe::Quantities(receiver), (Quantities{{1, 1.0}, {2, 2.0}, {3, 3.0}}));

        // Counted: the retry wait, not the period; it stays so after the recovery.
        QCOMPARE(fixture.Time->AdvanceToNextWake(), kMinute);
        QVERIFY(WaitForEvents(fixture, id, 10 + kSqlCycle.size(), worker));
        QCOMPARE(fixture.Events.Codes(id).mid(10), kSqlCycle);
        QCOMPARE(fixture.Status(id), Updating);
        QCOMPARE(ReceiverProbe::Written(receiver), (QList<int>{1, 2, 3}));
        QCOMPARE(ReceiverProbe::Quantities(receiver),
                 (Quantities{{1, 11.0}, {2, 12.0}, {3, 13.0}}));
        QCOMPARE(fixture.Time->AdvanceToNextWake(), kMinute);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gate"));
}

QTEST_GUILESS_MAIN(WorkerEndToEndTest)
#include "WorkerEndToEndTest.moc"

#include "engine/ConnectionControl.h"
#include "core/TableFields.h"
#include "engine/TWorkThread.h"
#include "engine/WorkingPeriod.h"
#include "platform/Clock.h"
#include "support/EngineFixture.h"

#include <QTest>

using enum EventCode;

namespace {
const QString kAlreadyRunning = QStringLiteral("Данное подключение уже запущенно");
const QString kStopQuestion = QStringLiteral("Вы подтверждаете остановку данного соединения?");

// A connection that never is in its working period: its cycles only wait. No
// database needed.
int AddIdleConnection(EngineFixture& fixture, const QString& name, int minutes = 30) {
    const int receiver = fixture.AddReceiver(QStringLiteral("Driver=Firebird/InterBase(r) driver;"
                                                            "DBNAME=/nonexistent/receiver.fdb"));
    const int source = fixture.AddSource(1, QStringLiteral("Driver=SQLite3;Database=/nonexistent"));
    const int id = fixture.AddConnection(name, receiver, source, minutes);
    for (const QString& day : Fields::Connection::WeekDays)
        fixture.SetConnectionValue(id, day, 0);
    return id;
}
} // namespace

class ConnectionControlTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void workingPeriod_data();
    void workingPeriod();
    void workingPeriodWithoutRow();
    void startSetsStatusByPeriod_data();
    void startSetsStatusByPeriod();
    void startRefusesRunningConnection_data();
    void startRefusesRunningConnection();
    void startHandsRealValuesToWorker();
    void stopSleepingWorker();
    void stopBusyWorker();
    void stopAnsweredNo();
    void stopIgnoresIdleStatuses_data();
    void stopIgnoresIdleStatuses();
    void stopWithoutWorker();
    void commandLine_data();
    void commandLine();
    void stopAll();
    void operatorsPendingEditStays_data();
    void operatorsPendingEditStays();
};

void ConnectionControlTest::workingPeriod_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QVariant>("day"); // the flag of now's weekday; every other day is 1
    QTest::addColumn<QVariant>("start");
    QTest::addColumn<QVariant>("end");
    QTest::addColumn<bool>("expected");
    const QDate monday(2024, 1, 15);
    const QDate sunday(2024, 1, 21);
    const QVariant nine = QTime(9, 0);
    const QVariant six = QTime(18, 0);
    const QVariant one = 1;
    auto at = [](QDate date, int h, int m, int s = 0, int ms = 0) {
        return QDateTime(date, QTime(h, m, s, ms));
    };
    QTest::newRow("start included") << at(monday, 9, 0) << one << nine << six << true;
    QTest::newRow("end included") << at(monday, 18, 0) << one << nine << six << true;
    QTest::newRow("a millisecond before start")
        << at(monday, 8, 59, 59, 999) << one << nine << six << false;
    QTest::newRow("a millisecond after end")
        << at(monday, 18, 0, 0, 1) << one << nine << six << false;
    QTest::newRow("inside") << at(monday, 12, 30) << one << nine << six << true;
    QTest::newRow("day not ticked") << at(monday, 12, 30) << QVariant(0) << nine << six << false;
    QTest::newRow("day 2") << at(monday, 12, 30) << QVariant(2) << nine << six << false;
    QTest::newRow("day null") << at(monday, 12, 30) << QVariant() << nine << six << false;
    QTest::newRow("start null") << at(monday, 12, 30) << one << QVariant() << six << false;
    QTest::newRow("end null") << at(monday, 12, 30) << one << nine << QVariant() << false;
    QTest::newRow("Sunday is the last index") << at(sunday, 12, 30) << one << nine << six << true;
    QTest::newRow("Sunday not ticked") << at(sunday, 12, 30) << QVariant(0) << nine << six << false;
    const QVariant ten = QTime(22, 0);
    const QVariant morning = QTime(6, 0);
    QTest::newRow("past midnight, late") << at(monday, 23, 0) << one << ten << morning << false;
    QTest::newRow("past midnight, early") << at(monday, 5, 0) << one << ten << morning << false;
    QTest::newRow("past midnight, at start") << at(monday, 22, 0) << one << ten << morning << false;
}

void ConnectionControlTest::workingPeriod() {
    QFETCH(QDateTime, now);
    QFETCH(QVariant, day);
    QFETCH(QVariant, start);
    QFETCH(QVariant, end);
    QFETCH(bool, expected);
    EngineFixture fixture(now);
    const int id = fixture.AddConnection("A", 0, 0);
    for (int index = 0; index < Fields::Connection::WeekDays.size(); ++index)
        fixture.SetConnectionValue(id, Fields::Connection::WeekDays[index],
                                   index == now.date().dayOfWeek() - 1 ? day : 1);
    fixture.SetConnectionValue(id, Fields::Connection::TimeStart, start);
    fixture.SetConnectionValue(id, Fields::Connection::TimeEnd, end);
    QCOMPARE(IsInWorkingPeriod(fixture.Dm.Connection, *fixture.Time, id), expected);
}

void ConnectionControlTest::workingPeriodWithoutRow() {
    EngineFixture fixture;
    fixture.AddConnection("A", 0, 0);
    QVERIFY(!IsInWorkingPeriod(fixture.Dm.Connection, *fixture.Time, 99));
}

void ConnectionControlTest::startSetsStatusByPeriod_data() {
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QTime>("end");
    QTest::addColumn<ConnectionStatus>("status");
    QTest::newRow("09:00:00 at 09:00:00") << QTime(9, 0) << QTime(18, 0) << Updating;
    QTest::newRow("22:00 to 06:00") << QTime(22, 0) << QTime(6, 0) << WaitingForPeriod;
}

void ConnectionControlTest::startSetsStatusByPeriod() {
    QFETCH(QTime, start);
    QFETCH(QTime, end);
    QFETCH(ConnectionStatus, status);
    EngineFixture fixture({QDate(2024, 1, 15), QTime(9, 0)});
    ConnectionControl control(fixture.Environment());
    const int id = AddIdleConnection(fixture, "A");
    fixture.SetConnectionValue(id, Fields::Connection::Monday, 1);
    fixture.SetConnectionValue(id, Fields::Connection::TimeStart, start);
    fixture.SetConnectionValue(id, Fields::Connection::TimeEnd, end);
    fixture.SetConnectionValue(id, Fields::Connection::Updated, 1);
    const int posts = fixture.ConnectionPosts;

    control.StartConnection(id);

    // Before the worker's first step: the row as the start left it, saved once.
    QCOMPARE(fixture.Status(id), status);
    QCOMPARE(fixture.ConnectionValue(id, Fields::Connection::Updated).toInt(), 0);
    QCOMPARE(fixture.ConnectionPosts, posts + 1);
    QCOMPARE(control.RunningConnections().size(), size_t(1));
    QCOMPARE(control.RunningConnections().front().Key, QString::number(id));
    QCOMPARE(fixture.Events.Codes(id), QList<EventCode>{Started});
    QVERIFY(fixture.Prompts.Messages().isEmpty());
}

void ConnectionControlTest::startRefusesRunningConnection_data() {
    QTest::addColumn<ConnectionStatus>("status");
    QTest::addColumn<bool>("starts");
    QTest::newRow("NotUpdating") << NotUpdating << true;
    QTest::newRow("UpdateError, its worker has ended") << UpdateError << true;
    QTest::newRow("Updating") << Updating << false;
    QTest::newRow("Stopping") << Stopping << false;
    QTest::newRow("ConnectError") << ConnectError << false;
    QTest::newRow("WaitingForPeriod") << WaitingForPeriod << false;
}

void ConnectionControlTest::startRefusesRunningConnection() {
    QFETCH(ConnectionStatus, status);
    QFETCH(bool, starts);
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = AddIdleConnection(fixture, "A");
    fixture.SetConnectionValue(id, Fields::Connection::Status, status);
    const int posts = fixture.ConnectionPosts;

    control.StartConnection(id);

    if (starts) {
        QCOMPARE(fixture.Status(id), WaitingForPeriod);
        QVERIFY(control.FindRunning(id) != nullptr);
        QVERIFY(fixture.Prompts.Messages().isEmpty());
        return;
    }
    QCOMPARE(fixture.Status(id), status);
    QCOMPARE(fixture.ConnectionPosts, posts);
    QVERIFY(control.RunningConnections().empty());
    QVERIFY(fixture.Events.Events().isEmpty());
    QCOMPARE(fixture.Prompts.Texts(), QStringList{kAlreadyRunning});
    const ScriptedPrompts::Shown& shown = fixture.Prompts.Messages().first();
    QVERIFY(!shown.SystemBox);
    QCOMPARE(shown.Kind, DialogKind::Information);
    QCOMPARE(shown.Buttons, DialogButtons{DialogButton::Yes});
}

void ConnectionControlTest::startHandsRealValuesToWorker() {
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment(7));
    const int receiver =
        fixture.AddReceiver(QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=/x.fdb;"
                                           "UID=SYSDBA;PWD=secret"),
                            "Stock", "Code", "Qty");
    const int source = fixture.AddSource(3, QStringLiteral("/D\"/base\" /NUser /Pword"), "select 1",
                                         "K", "V", "Склад");
    const int id = fixture.AddConnection("A", receiver, source, 2);
    for (const QString& day : Fields::Connection::WeekDays)
        fixture.SetConnectionValue(id, day, 0);
    // The tables show asterisks; the worker gets the kept passwords.
    QVERIFY(fixture.Dm.Receiver
                .Lookup(Fields::Receiver::Id, {receiver}, Fields::Receiver::Connection_String)
                .first()
                .toString()
                .endsWith("PWD=******"));

    control.StartConnection(id);

    const std::shared_ptr<TWorkThread> worker = control.FindRunning(id);
    QVERIFY(worker);
    const WorkerParameters& p = worker->Parameters();
    QCOMPARE(p.ConnectionId, id);
    QCOMPARE(p.ReceiverId, receiver);
    QCOMPARE(p.SourceId, source);
    QCOMPARE(p.PeriodMs, std::int64_t(120000));
    QCOMPARE(p.ReceiverConnectionString,
             QStringLiteral("Driver=Firebird/InterBase(r) "
                            "driver;DBNAME=/x.fdb;UID=SYSDBA;PWD=secret;"));
    QCOMPARE(p.TableName, QStringLiteral("Stock"));
    QCOMPARE(p.KeyField, QStringLiteral("Code"));
    QCOMPARE(p.ValueField, QStringLiteral("Qty"));
    QCOMPARE(p.ConnectionType, 3);
    QCOMPARE(p.SourceConnectionString, QStringLiteral("/D\"/base\" /NUser /Pword "));
    QCOMPARE(p.SqlQuery, QStringLiteral("select 1"));
    QCOMPARE(p.DockingField, QStringLiteral("K"));
    QCOMPARE(p.SourceValueField, QStringLiteral("V"));
    QCOMPARE(p.StockFilter, QStringLiteral("Склад"));
    QCOMPARE(p.AttemptLimit, 7);
}

void ConnectionControlTest::stopSleepingWorker() {
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = AddIdleConnection(fixture, "A");
    control.StartConnection(id);
    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, WaitsForPeriod}));
    std::weak_ptr<TWorkThread> worker = control.FindRunning(id);
    QVERIFY(worker.lock()->Sleeping);
    const int posts = fixture.ConnectionPosts;
    const int refreshes = fixture.Window.Refreshes();

    control.StopConnection(id, true);

    QCOMPARE(fixture.Prompts.Texts(), QStringList{kStopQuestion});
    QVERIFY(fixture.Prompts.Messages().first().SystemBox);
    QCOMPARE(fixture.Prompts.Messages().first().Buttons,
             (DialogButtons{DialogButton::Yes, DialogButton::No}));
    QCOMPARE(fixture.Status(id), NotUpdating);
    QCOMPARE(fixture.ConnectionValue(id, Fields::Connection::Updated).toInt(), 0);
    QVERIFY(control.RunningConnections().empty());
    QVERIFY(control.FindRunning(id) == nullptr);
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, WaitsForPeriod, Stopped}));
    // Posted with the table's events off: nothing saved.
    QCOMPARE(fixture.ConnectionPosts, posts);

    // The terminated worker finishes its wait and ends without touching anything.
    QVERIFY(fixture.Time->AdvanceToNextWake() == 30 * 60000);
    QVERIFY(EngineFixture::WaitUntil([&] { return worker.expired(); }));
    QCOMPARE(fixture.Status(id), NotUpdating);
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, WaitsForPeriod, Stopped}));
    QCOMPARE(fixture.Window.Refreshes(), refreshes);

    // It may be started again at once; the new worker is the only entry.
    control.StartConnection(id);
    QCOMPARE(control.RunningConnections().size(), size_t(1));
    QCOMPARE(fixture.Status(id), WaitingForPeriod);
}

void ConnectionControlTest::stopBusyWorker() {
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = AddIdleConnection(fixture, "A");
    control.StartConnection(id);
    // The worker waits for its first step, which needs this thread: it is busy,
    // not asleep.
    std::weak_ptr<TWorkThread> worker = control.FindRunning(id);
    QVERIFY(!worker.lock()->Sleeping);
    const int refreshes = fixture.Window.Refreshes();

    control.StopConnection(id, false);

    QVERIFY(fixture.Prompts.Messages().isEmpty());
    QCOMPARE(fixture.Status(id), Stopping);
    QCOMPARE(fixture.ConnectionValue(id, Fields::Connection::Updated).toInt(), 1);
    QVERIFY(control.FindRunning(id) != nullptr);
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, Stopped}));

    // At its next check the worker ends with NotUpdating and the window is
    // refreshed.
    const int posts = fixture.ConnectionPosts;
    QVERIFY(EngineFixture::WaitUntil([&] { return worker.expired(); }));
    QCOMPARE(fixture.Status(id), NotUpdating);
    QCOMPARE(fixture.ConnectionValue(id, Fields::Connection::Updated).toInt(), 0);
    QCOMPARE(fixture.Window.Refreshes(), refreshes + 1);
    QCOMPARE(fixture.ConnectionPosts, posts + 1);
    QVERIFY(control.RunningConnections().empty());
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, Stopped}));
    QVERIFY(fixture.Time->Sleepers() == 0);

    control.StartConnection(id);
    QCOMPARE(control.RunningConnections().size(), size_t(1));
}

void ConnectionControlTest::stopAnsweredNo() {
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = AddIdleConnection(fixture, "A");
    control.StartConnection(id);
    QVERIFY(fixture.WaitForSleepers(1));
    fixture.Prompts.Answer(DialogButton::No);

    control.StopConnection(id, true);

    QCOMPARE(fixture.Prompts.Texts(), QStringList{kStopQuestion});
    QCOMPARE(fixture.Status(id), WaitingForPeriod);
    QVERIFY(control.FindRunning(id) != nullptr);
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, WaitsForPeriod}));
}

void ConnectionControlTest::stopIgnoresIdleStatuses_data() {
    QTest::addColumn<ConnectionStatus>("status");
    QTest::newRow("NotUpdating") << NotUpdating;
    QTest::newRow("UpdateError") << UpdateError;
    QTest::newRow("Stopping") << Stopping;
}

void ConnectionControlTest::stopIgnoresIdleStatuses() {
    QFETCH(ConnectionStatus, status);
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = AddIdleConnection(fixture, "A");
    fixture.SetConnectionValue(id, Fields::Connection::Status, status);
    const int posts = fixture.ConnectionPosts;

    control.StopConnection(id, true);

    QVERIFY(fixture.Prompts.Messages().isEmpty());
    QCOMPARE(fixture.Status(id), status);
    QCOMPARE(fixture.ConnectionPosts, posts);
    QVERIFY(fixture.Events.Events().isEmpty());
}

void ConnectionControlTest::stopWithoutWorker() {
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int first = AddIdleConnection(fixture, "A");
    const int id = AddIdleConnection(fixture, "B");
    fixture.SetConnectionValue(id, Fields::Connection::Status, ConnectError);
    fixture.Dm.Connection.Locate(Fields::Connection::Id, {first});

    control.StopConnection(id, false);

    QCOMPARE(fixture.Status(id), ConnectError);
    QCOMPARE(fixture.Events.Codes(id), QList<EventCode>{Stopped});
    // The cursor is back on the row that was current.
    QCOMPARE(fixture.Dm.Connection.FieldByName(Fields::Connection::Id).AsInteger(), first);
    QVERIFY(!fixture.Dm.Connection.ControlsDisabled());
}

void ConnectionControlTest::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("startRounds");
    QTest::newRow("RUNALL") << QStringList{"RUNALL"} << 1;
    QTest::newRow("runall") << QStringList{"runall"} << 1;
    QTest::newRow("RunAll2") << QStringList{"RunAll2"} << 0;
    QTest::newRow("none") << QStringList{} << 0;
    QTest::newRow("twice among others") << QStringList{"x", "RunAll", "-RunAll", "rUnAlL"} << 2;
}

void ConnectionControlTest::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, startRounds);
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int a = AddIdleConnection(fixture, "A");
    const int b = AddIdleConnection(fixture, "B");

    control.ApplyCommandLine(arguments);

    QCOMPARE(fixture.Window.Minimizes(), startRounds);
    QCOMPARE(control.RunningConnections().size(), size_t(startRounds > 0 ? 2 : 0));
    for (int id : {a, b}) {
        QCOMPARE(fixture.Status(id), startRounds > 0 ? WaitingForPeriod : NotUpdating);
        QCOMPARE(fixture.Events.Codes(id),
                 startRounds > 0 ? QList<EventCode>{Started} : QList<EventCode>{});
    }
    // A second round finds both running and says so once for each.
    QCOMPARE(fixture.Prompts.Texts().size(), startRounds > 1 ? 2 : 0);
    if (startRounds > 0)
        QCOMPARE(control.RunningConnections().front().Key, QString::number(a));
}

void ConnectionControlTest::stopAll() {
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int a = AddIdleConnection(fixture, "A");
    const int b = AddIdleConnection(fixture, "B");
    control.StartAllConnections();
    QVERIFY(fixture.WaitForSleepers(2));

    control.StopAllConnections();

    QVERIFY(fixture.Prompts.Messages().isEmpty());
    QVERIFY(control.RunningConnections().empty());
    for (int id : {a, b}) {
        QCOMPARE(fixture.Status(id), NotUpdating);
        QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, WaitsForPeriod, Stopped}));
    }
}

void ConnectionControlTest::operatorsPendingEditStays_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("insert");
    QTest::addColumn<ConnectionStatus>("status");
    for (const bool insert : {false, true}) {
        const char* pending = insert ? "new row with its defaults" : "typed into another row";
        QTest::addRow("worker step, %s", pending) << "step" << insert << WaitingForPeriod;
        QTest::addRow("stop of a sleeping worker, %s", pending)
            << "stop sleeping" << insert << NotUpdating;
        QTest::addRow("stop of a busy worker, %s", pending) << "stop busy" << insert << Stopping;
        QTest::addRow("stop of all, %s", pending) << "stop all" << insert << NotUpdating;
    }
}

// Connection A runs while the operator has an unsaved edit of B, or a new row: A's row changes,
// the operator's row stays current and its edit pending, nothing of it stored.
void ConnectionControlTest::operatorsPendingEditStays() {
    QFETCH(QString, action);
    QFETCH(bool, insert);
    QFETCH(ConnectionStatus, status);
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int a = AddIdleConnection(fixture, "A");
    const int b = AddIdleConnection(fixture, "B");
    control.StartConnection(a);
    if (action.startsWith(u"stop") && action != u"stop busy")
        QVERIFY(fixture.WaitForSleepers(1));
    fixture.BeginOperatorsEdit(b, insert);

    if (action == u"step")
        QVERIFY(fixture.WaitForSleepers(1));
    else if (action == u"stop all")
        control.StopAllConnections();
    else
        control.StopConnection(a, false);

    QCOMPARE(fixture.Status(a), status);
    fixture.VerifyOperatorsEditPending(b, insert);
}

QTEST_GUILESS_MAIN(ConnectionControlTest)
#include "ConnectionControlTest.moc"

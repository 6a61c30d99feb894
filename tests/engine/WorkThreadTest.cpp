#include "core/TableFields.h"
#include "engine/ConnectionControl.h"
#include "engine/TWorkThread.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/MainThreadHandOver.h"
#include "support/DatabaseFixtures.h"
#include "support/EngineFixture.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <atomic>
#include <limits>
#include <thread>

using enum EventCode;

namespace {
const QString kMissingReceiver =
    QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=/nonexistent/receiver.fdb;"
                   "UID=SYSDBA;PWD=masterkey");
const QString kNoSuchDriver = QStringLiteral("Driver=No Such Driver;Database=/nonexistent");
constexpr std::int64_t kMinute = 60000;

// The receiver's quantities by Partno.
QList<QVariant> Quantities(const QString& receiver) {
    QList<QVariant> values;
    for (const QVariantList& row : DatabaseFixtures::Select(
             receiver, QStringLiteral("select Quantity from Stock_Balance order by Partno")))
        values.append(row.first());
    return values;
}

bool AllNull(const QList<QVariant>& values) {
    return std::all_of(
        values.begin(), values.end(), [](const QVariant& v) { return v.isNull(); });
}
} // namespace

class WorkThreadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstCycleAtOnceSecondAfterPeriod();
    void longPeriodIsHonoured_data();
    void longPeriodIsHonoured();
    void receiverUnreachable();
    void updateError();
    void failureWhileReportingAnUpdateError_data();
    void failureWhileReportingAnUpdateError();
    void attemptCounting();
    void retryWaitUntilCountPassesLimit();
    void stopRequestDuringTransfer();
    void pauseAfterStopRequest_data();
    void pauseAfterStopRequest();
    void shutdown();

private:
    // A Firebird embedded receiver with three items (quantities 1, 2, 3).
    QString Receiver(DatabaseFixtures& databases);
};

QString WorkThreadTest::Receiver(DatabaseFixtures& databases) {
    const QString receiver = databases.CreateFirebirdEmbedded(QStringLiteral("receiver"));
    DatabaseFixtures::CreateReceiverSchema(receiver);
    DatabaseFixtures::SeedReceiver(receiver, DatabaseFixtures::NumberedItems(3));
    return receiver;
}

void WorkThreadTest::firstCycleAtOnceSecondAfterPeriod() {
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int other = fixture.AddConnection("Other", 0, 0);
    const int id = fixture.AddConnection("A", fixture.AddReceiver(kMissingReceiver),
                                         fixture.AddSource(1, kNoSuchDriver), 2);
    for (const QString& day : Fields::Connection::WeekDays)
        fixture.SetConnectionValue(id, day, 0);
    fixture.Dm.Connection.Locate(Fields::Connection::Id, {other});
    control.StartConnection(id);
    fixture.Dm.Connection.Locate(Fields::Connection::Id, {other});
    const int posts = fixture.ConnectionPosts;

    QVERIFY(fixture.WaitForSleepers(1));
    // Outside the working period a cycle only says so; no time has passed for the first one.
    QCOMPARE(fixture.Time->Now(), EngineFixture::DefaultStart());
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, WaitsForPeriod}));
    QCOMPARE(fixture.Status(id), WaitingForPeriod);
    QCOMPARE(fixture.ConnectionPosts, posts + 1);
    // The step moved back to the row that was current and resumed the controls.
    QCOMPARE(fixture.Dm.Connection.FieldByName(Fields::Connection::Id).AsInteger(), other);
    QVERIFY(!fixture.Dm.Connection.ControlsDisabled());
    QCOMPARE(fixture.CycleMarks(id), 0);

    QCOMPARE(fixture.Time->AdvanceToNextWake(), 2 * kMinute);
    QVERIFY(fixture.WaitUntil([&] { return fixture.Events.Codes(id).size() == 3; }));
    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, WaitsForPeriod, WaitsForPeriod}));
    QCOMPARE(fixture.Time->AdvanceToNextWake(), 2 * kMinute);
}

void WorkThreadTest::longPeriodIsHonoured_data() {
    QTest::addColumn<int>("minutes");
    QTest::newRow("40000 minutes") << 40000;
    QTest::newRow("past 32-bit milliseconds") << 35792;
    QTest::newRow("largest the field holds") << std::numeric_limits<int>::max();
}

// The wait after a cycle is the whole period, however long: counted in milliseconds it needs
// more than 32 bits.
void WorkThreadTest::longPeriodIsHonoured() {
    QFETCH(int, minutes);
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = fixture.AddConnection("A", fixture.AddReceiver(kMissingReceiver),
                                         fixture.AddSource(1, kNoSuchDriver), minutes);
    for (const QString& day : Fields::Connection::WeekDays)
        fixture.SetConnectionValue(id, day, 0);
    control.StartConnection(id);

    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, WaitsForPeriod}));
    QCOMPARE(fixture.Time->AdvanceToNextWake(), std::int64_t(minutes) * kMinute);
    QVERIFY(fixture.WaitUntil([&] { return fixture.Events.Codes(id).size() == 3; }));
    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Time->AdvanceToNextWake(), std::int64_t(minutes) * kMinute);
}

void WorkThreadTest::receiverUnreachable() {
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = fixture.AddConnection("A", fixture.AddReceiver(kMissingReceiver),
                                         fixture.AddSource(1, kNoSuchDriver), 2);
    control.StartConnection(id);
    QVERIFY(fixture.WaitForSleepers(1));

    QCOMPARE(fixture.Events.Codes(id),
             (QList<EventCode>{Started, CycleBegins, ReceiverClosed, UpdateFailed, CycleEnds}));
    QCOMPARE(fixture.Status(id), ConnectError);
    QVERIFY(!fixture.Events.Events().at(3).Text.isEmpty());
    QCOMPARE(fixture.CycleMarks(id), 0);
    QVERIFY(fixture.Prompts.Messages().isEmpty());
    // Not counted: the next wait is the period, not the retry wait.
    QCOMPARE(fixture.Time->AdvanceToNextWake(), 2 * kMinute);
    QVERIFY(fixture.WaitUntil([&] { return fixture.Events.Codes(id).size() == 9; }));
    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Events.Codes(id),
             (QList<EventCode>{Started, CycleBegins, ReceiverClosed, UpdateFailed, CycleEnds,
                               CycleBegins, ReceiverClosed, UpdateFailed, CycleEnds}));
    QCOMPARE(fixture.Time->AdvanceToNextWake(), 2 * kMinute);
}

void WorkThreadTest::updateError() {
    DatabaseFixtures databases;
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    // Connection type 7 has no ProgID: the 1C object cannot be created.
    const int id = fixture.AddConnection("Склад", fixture.AddReceiver(Receiver(databases)),
                                         fixture.AddSource(7, "/D\"/base\""), 2);
    control.StartConnection(id);
    std::weak_ptr<TWorkThread> worker = control.FindRunning(id);

    QVERIFY(fixture.WaitUntil([&] { return worker.expired(); }));
    QCOMPARE(fixture.Events.Codes(id), (QList<EventCode>{Started, CycleBegins, ReceiverOpened,
                                                         ReceiverClosed, UpdateFailed}));
    QCOMPARE(fixture.Status(id), UpdateError);
    const QString errorText = fixture.Events.Events().last().Text;
    QVERIFY(!errorText.isEmpty());
    QCOMPARE(fixture.Prompts.Texts(),
             QStringList{QStringLiteral("В процессе обновления у соединения \"Склад\" произошла "
                                        "следующая ошибка:\r\r") +
                         errorText});
    QCOMPARE(fixture.Prompts.Messages().first().Kind, DialogKind::Error);
    QCOMPARE(fixture.Prompts.Messages().first().Buttons, DialogButtons{DialogButton::Ok});
    // The cycle's mark stays for the watchdog; the entry is gone, a start makes a new worker.
    QCOMPARE(fixture.CycleMarks(id), 1);
    QVERIFY(control.RunningConnections().empty());
    QCOMPARE(fixture.Time->Sleepers(), 0);
    control.StartConnection(id);
    QCOMPARE(control.RunningConnections().size(), size_t(1));
}

void WorkThreadTest::failureWhileReportingAnUpdateError_data() {
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<bool>("logFails");
    QTest::addColumn<bool>("saveAfterStep");
    QTest::newRow("the save fails") << true << false << false;
    QTest::newRow("the save after the step fails") << true << false << true;
    QTest::newRow("the log fails") << false << true << false;
    QTest::newRow("both fail") << true << true << false;
    QTest::newRow("both fail, the save after the step") << true << true << true;
}

// The settings file or the log cannot be written when the update error is reported: the box
// still comes, with the update error and what failed after it, and the status shows UpdateError.
void WorkThreadTest::failureWhileReportingAnUpdateError() {
    QFETCH(bool, saveFails);
    QFETCH(bool, logFails);
    QFETCH(bool, saveAfterStep);
    DatabaseFixtures databases;
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = fixture.AddConnection("Склад", fixture.AddReceiver(Receiver(databases)),
                                         fixture.AddSource(7, "/D\"/base\""), 2);
    const QString saveFailure = QStringLiteral("Disk full");
    const QString logFailure = QStringLiteral("File access denied");
    // What the table's save and the event log throw when their files cannot be written. The
    // save runs in the row's update, or once the step is over, as the service has it.
    const auto save = [&] {
        if (saveFails && fixture.Status(id) == UpdateError)
            throw EInOutError(saveFailure);
    };
    fixture.HandOver->SetRoundEnd(save);
    fixture.Dm.Connection.AfterRowUpdate = [&](RecordSet&) {
        if (saveAfterStep)
            fixture.HandOver->AwaitRoundEnd();
        else
            save();
    };
    fixture.Events.OnEvent = [&](const RecordingEventSink::Event& event) {
        if (logFails && event.Code == UpdateFailed)
            throw EInOutError(logFailure);
    };
    control.StartConnection(id);
    std::weak_ptr<TWorkThread> worker = control.FindRunning(id);

    QVERIFY(fixture.WaitUntil([&] { return worker.expired(); }));
    QCOMPARE(fixture.Status(id), UpdateError);
    const QString errorText = fixture.Events.Events().last().Text;
    QCOMPARE(fixture.Events.Events().last().Code, UpdateFailed);
    QString expected = QStringLiteral("В процессе обновления у соединения \"Склад\" произошла "
                                      "следующая ошибка:\r\r") +
                       errorText;
    const QList<std::pair<bool, QString>> failures{{saveFails, saveFailure},
                                                   {logFails, logFailure}};
    for (const auto& [fails, failure] : failures)
        if (fails)
            expected +=
                QStringLiteral("\r\rНе удалось записать сведения об этой ошибке:\r") + failure;
    QCOMPARE(fixture.Prompts.Texts(), QStringList{expected});
    QCOMPARE(fixture.Prompts.Messages().first().Kind, DialogKind::Error);
    QCOMPARE(fixture.CycleMarks(id), 1);
}

void WorkThreadTest::attemptCounting() {
    DatabaseFixtures databases;
    const QString receiver = Receiver(databases);
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment(3));
    const int id = fixture.AddConnection("A", fixture.AddReceiver(receiver),
                                         fixture.AddSource(1, kNoSuchDriver), 2);
    const QList<EventCode> failedCycle = {CycleBegins,    ReceiverOpened, UpdateFailed,
                                          SourceReleased, ReceiverClosed, CycleEnds};
    control.StartConnection(id);

    // The first cycle runs at once; each counted failure makes the next wait 60000 ms.
    for (int failure = 1; failure <= 5; ++failure) {
        QVERIFY(fixture.WaitForSleepers(1));
        QCOMPARE(fixture.Events.Codes(id).mid(1 + (failure - 1) * 6), failedCycle);
        QCOMPARE(fixture.Status(id), ConnectError);
        if (failure == 4) {
            // Past the limit: the receiver's values are cleared and the count starts again.
            QVERIFY(AllNull(Quantities(receiver)));
            DatabaseFixtures::SeedReceiver(receiver, DatabaseFixtures::NumberedItems(3));
        } else {
            QCOMPARE(Quantities(receiver), (QList<QVariant>{1.0, 2.0, 3.0}));
        }
        QCOMPARE(fixture.Time->AdvanceToNextWake(), failure == 4 ? 2 * kMinute : kMinute);
        QVERIFY(
            fixture.WaitUntil([&] { return fixture.Events.Codes(id).size() > 1 + failure * 6; }));
    }
}

void WorkThreadTest::retryWaitUntilCountPassesLimit() {
    DatabaseFixtures databases;
    const QString receiver = Receiver(databases);
    const QString source = databases.CreateSqlite(QStringLiteral("source"));
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment(3));
    // The source table is missing at first: the query fails and the failure is counted.
    const int id = fixture.AddConnection(
        "A", fixture.AddReceiver(receiver),
        fixture.AddSource(1, source, "select Code, Qty from Src", "Code", "Qty"), 2);
    control.StartConnection(id);
    QVERIFY(fixture.WaitForSleepers(1));
    QCOMPARE(fixture.Status(id), ConnectError);
    DatabaseFixtures::Run(source, {"create table Src (Code integer, Qty double precision)",
                                   "insert into Src values (1001, 11)"});

    for (int cycle = 0; cycle < 3; ++cycle) {
        const int events = fixture.Events.Codes(id).size();
        QCOMPARE(fixture.Time->AdvanceToNextWake(), kMinute);
        QVERIFY(fixture.WaitUntil([&] { return fixture.Events.Codes(id).size() > events; }));
        QVERIFY(fixture.WaitForSleepers(1));
        QCOMPARE(fixture.Status(id), Updating);
        QVERIFY(fixture.Events.Codes(id).mid(events).contains(Updated));
    }
    QCOMPARE(Quantities(receiver), (QList<QVariant>{11.0, 2.0, 3.0}));
    QVERIFY(!fixture.ConnectionValue(id, Fields::Connection::Update_Time).isNull());
}

void WorkThreadTest::stopRequestDuringTransfer() {
    DatabaseFixtures databases;
    const QString receiver = Receiver(databases);
    const QString source = databases.CreateSqlite(QStringLiteral("source"));
    DatabaseFixtures::Run(source, {"create table Src (Code integer, Qty double precision)",
                                   "insert into Src values (1001, 11)"});
    EngineFixture fixture;
    ConnectionControl control(fixture.Environment());
    const int id = fixture.AddConnection(
        "A", fixture.AddReceiver(receiver),
        fixture.AddSource(1, source, "select Code, Qty from Src", "Code", "Qty"), 2);
    // The stop comes while the worker is between opening the source and the transfer.
    fixture.Events.OnEvent = [&](const RecordingEventSink::Event& event) {
        if (event.Code == SourceOpened)
            control.StopConnection(id, false);
    };
    control.StartConnection(id);
    std::weak_ptr<TWorkThread> worker = control.FindRunning(id);

    QVERIFY(fixture.WaitUntil([&] { return worker.expired(); }));
    QCOMPARE(fixture.Events.Codes(id),
             (QList<EventCode>{Started, CycleBegins, ReceiverOpened, SourceOpened, Stopped,
                               SourceReleased, ReceiverClosed, CycleEnds}));
    QCOMPARE(fixture.Status(id), NotUpdating);
    QCOMPARE(fixture.ConnectionValue(id, Fields::Connection::Updated).toInt(), 0);
    QCOMPARE(Quantities(receiver), (QList<QVariant>{1.0, 2.0, 3.0}));
    QVERIFY(control.RunningConnections().empty());
}

void WorkThreadTest::shutdown() {
    DatabaseFixtures databases;
    const QString receiver = Receiver(databases);
    const QString source = databases.CreateSqlite(QStringLiteral("source"));
    DatabaseFixtures::Run(source, {"create table Src (Code integer, Qty double precision)",
                                   "insert into Src values (1001, 11)"});
    auto fixture = std::make_unique<EngineFixture>();
    auto control = std::make_unique<ConnectionControl>(fixture->Environment());
    const int asleep = fixture->AddConnection("Asleep", fixture->AddReceiver(kMissingReceiver),
                                              fixture->AddSource(1, kNoSuchDriver));
    for (const QString& day : Fields::Connection::WeekDays)
        fixture->SetConnectionValue(asleep, day, 0);
    const int stuck = fixture->AddConnection(
        "Stuck", fixture->AddReceiver(receiver),
        fixture->AddSource(1, source, "select Code, Qty from Src", "Code", "Qty"));
    const int blocked = fixture->AddConnection("Blocked", 0, 0);

    // Another attachment holds the item the stuck worker is about to write.
    QSqlDatabase lock = QSqlDatabase::addDatabase("QIBASE", "lock");
    lock.setDatabaseName(receiver.section("DBNAME=", 1).section(';', 0, 0));
    lock.setUserName("SYSDBA");
    lock.setPassword(DatabaseFixtures::SysdbaPassword());
    QVERIFY2(lock.open(), qPrintable(lock.lastError().text()));
    QVERIFY(lock.transaction());
    QSqlQuery hold(lock);
    QVERIFY(hold.exec("update Stock_Balance set Quantity = 5 where Partno = 1"));

    control->StartConnection(asleep);
    control->StartConnection(stuck);
    QVERIFY(fixture->WaitForSleepers(1));
    QVERIFY(
        fixture->WaitUntil([&] { return fixture->Events.Codes(stuck).contains(SourceSelected); }));
    // Long enough for the worker to reach its update, which waits for the lock.
    fixture->WaitUntil([] { return false; }, 500);
    const std::shared_ptr<TWorkThread> stuckWorker = control->FindRunning(stuck);
    std::weak_ptr<TWorkThread> asleepWorker = control->FindRunning(asleep);
    // This worker waits for its first step, which the main thread will not run any more.
    control->StartConnection(blocked);
    std::weak_ptr<TWorkThread> blockedWorker = control->FindRunning(blocked);
    const int events = fixture->Events.Events().size();

    control->Shutdown();

    // The stuck worker's update is cut short, so it ends within the wait, reporting nothing.
    QVERIFY(control->RunningConnections().empty());
    QVERIFY(stuckWorker->Finished());
    QVERIFY(EngineFixture::WaitUntil([&] { return asleepWorker.expired(); }));
    QVERIFY(EngineFixture::WaitUntil([&] { return blockedWorker.expired(); }));
    control.reset();
    hold.finish();
    lock.rollback();
    lock.close();
    QCOMPARE(fixture->Events.Events().size(), events);
    QVERIFY(fixture->Prompts.Messages().isEmpty());
    QCOMPARE(fixture->Status(stuck), Updating);
    QCOMPARE(fixture->Status(asleep), WaitingForPeriod);
    QCOMPARE(fixture->Status(blocked), Updating);
}

void WorkThreadTest::pauseAfterStopRequest_data() {
    QTest::addColumn<int>("updated");
    QTest::addColumn<bool>("waits");
    QTest::newRow("running") << 0 << true;
    QTest::newRow("stop requested") << 1 << false;
}

// A transfer's pause asked for after the stop request is not taken: the stop found the worker
// busy, so only the worker's own check can end it, and a pause would keep it Stopping for the
// whole wait.
void WorkThreadTest::pauseAfterStopRequest() {
    QFETCH(int, updated);
    QFETCH(bool, waits);
    EngineFixture fixture;
    const int id = fixture.AddConnection("A", fixture.AddReceiver(kMissingReceiver),
                                         fixture.AddSource(2, QString()));
    fixture.SetConnectionValue(id, Fields::Connection::Updated, updated);
    WorkerParameters parameters;
    parameters.ConnectionId = id;
    TWorkThread worker(parameters, fixture.Environment());
    std::atomic<int> paused{-1};
    std::thread transfer([&] { paused = worker.Sleep(kMinute) ? 1 : 0; });
    QVERIFY(fixture.WaitUntil([&] { return paused != -1 || fixture.Time->Sleepers() == 1; }));
    const bool slept = paused == -1;
    if (slept)
        fixture.Time->AdvanceToNextWake();
    const bool returned = fixture.WaitUntil([&] { return paused != -1; });
    transfer.join();

    QVERIFY(returned);
    QCOMPARE(slept, waits);
    QCOMPARE(paused == 1, waits);
    QVERIFY(!worker.Sleeping);
}

QTEST_GUILESS_MAIN(WorkThreadTest)
#include "WorkThreadTest.moc"

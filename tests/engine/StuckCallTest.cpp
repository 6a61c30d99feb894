#include "core/TableFields.h"
#include "engine/ConnectionControl.h"
#include "engine/TWorkThread.h"
#include "engine/UpdateWatchdog.h"
#include "platform/Clock.h"
#include "platform/DbConnection.h"
#include "platform/DbQuery.h"
#include "support/DatabaseFixtures.h"
#include "support/EngineFixture.h"
#include "support/InfobaseFixture.h"
#include "support/ReceiverProbe.h"

#include <QElapsedTimer>
#include <QTest>
#include <QUuid>

#include <chrono>
#include <optional>

using enum EventCode;

using Quantities = QMap<int, QVariant>;

namespace {

constexpr std::chrono::milliseconds kGrace{2000};
constexpr qint64 kStaleMs = 301000;

enum class StuckCall { SourceQuery, LockedReceiverRow, InfobaseCall };

const Quantities kSeeded{{1, 1.0}, {2, 2.0}, {3, 3.0}};

// A PostgreSQL source whose query sleeps for ten minutes; its text carries a tag of its own,
// so that the server's list of statements tells whether it still runs.
struct SleepingSource {
    QString ConnectionString;
    QString Tag = QUuid::createUuid().toString(QUuid::Id128);

    QString Query() const {
        return QStringLiteral("select 1001 as Code, 12.5 as Qty, '%1' as Tag from pg_sleep(600)")
            .arg(Tag);
    }
    int Running() const { return DatabaseFixtures::RunningStatements(ConnectionString, Tag); }
};

} // namespace

// A worker stuck in a call that does not end: a stop request or the watchdog cuts it short.
class StuckCallTest : public QObject {
    Q_OBJECT

private:
    QString MakeReceiver() {
        const QString receiver =
            databases_.CreateFirebirdServer(QStringLiteral("stuck%1").arg(++made_));
        DatabaseFixtures::CreateReceiverSchema(receiver);
        DatabaseFixtures::SeedReceiver(receiver, DatabaseFixtures::NumberedItems(3));
        return receiver;
    }

    SleepingSource MakeSleepingSource() {
        return {databases_.CreatePostgreSql(QStringLiteral("sleeping%1").arg(++made_))};
    }

    DatabaseFixtures databases_;
    int made_ = 0;

private Q_SLOTS:
    void stopCutsTheCallShort_data() {
        QTest::addColumn<int>("call");
        QTest::addColumn<QList<EventCode>>("events");
        QTest::newRow("source query")
            << int(StuckCall::SourceQuery)
            << QList<EventCode>{Started,        CycleBegins,      ReceiverOpened,
                                SourceOpened,   ReceiverSelected, Stopped,
                                SourceReleased, ReceiverClosed,   CycleEnds};
        QTest::newRow("receiver row locked")
            << int(StuckCall::LockedReceiverRow)
            << QList<EventCode>{Started,          CycleBegins,    ReceiverOpened, SourceOpened,
                                ReceiverSelected, SourceSelected, Stopped,        SourceReleased,
                                ReceiverClosed,   CycleEnds};
        QTest::newRow("infobase call")
            << int(StuckCall::InfobaseCall)
            << QList<EventCode>{Started,        CycleBegins,    ReceiverOpened, Stopped,
                                SourceReleased, ReceiverClosed, CycleEnds};
    }

    // The worker is given the grace to come to its check, then its call is cut short and it
    // ends as after any stop request: nothing written, nothing reported, NotUpdating.
    void stopCutsTheCallShort() {
        QFETCH(int, call);
        QFETCH(QList<EventCode>, events);
        const QString receiver = MakeReceiver();
        const InfobaseFixture infobase({QStringLiteral("--delay"), QStringLiteral("600000")});
        EngineFixture fixture;
        ConnectionControl control(fixture.Environment(3, infobase.RegistrationFile()), kGrace);
        std::optional<SleepingSource> sleeping;
        std::optional<DbConnection> holder;
        std::optional<DbQuery> lock;
        int sourceId = 0;
        switch (StuckCall(call)) {
        case StuckCall::SourceQuery:
            sleeping = MakeSleepingSource();
            sourceId = fixture.AddSource(1, sleeping->ConnectionString, sleeping->Query(),
                                         QStringLiteral("code"), QStringLiteral("qty"));
            break;
        case StuckCall::LockedReceiverRow: {
            const QString source = databases_.CreateSqlite(QStringLiteral("source%1").arg(made_));
            DatabaseFixtures::Run(source,
                                  {QStringLiteral("create table Src (Code integer, Qty real)"),
                                   QStringLiteral("insert into Src values (1001, 12.5)")});
            sourceId = fixture.AddSource(1, source, QStringLiteral("select Code, Qty from Src"),
                                         QStringLiteral("code"), QStringLiteral("qty"));
            // Another transaction holds the row the cycle will write.
            holder.emplace(receiver);
            holder->Open();
            holder->BeginTrans();
            lock.emplace(*holder);
            lock->SetSql(QStringLiteral("update Stock_Balance set Quantity = 1 where Partno = 1"));
            lock->Prepare();
            lock->Execute();
            break;
        }
        case StuckCall::InfobaseCall:
            sourceId = fixture.AddSource(2, infobase.CommandLine());
            break;
        }
        const int id =
            fixture.AddConnection(QStringLiteral("Склад"), fixture.AddReceiver(receiver), sourceId);
        QVERIFY(fixture.Dm.Connection.Locate(Fields::Connection::Id, {id}));
        control.StartConnection(id);
        const std::weak_ptr<TWorkThread> worker = control.FindRunning(id);
        QVERIFY(EngineFixture::WaitUntil(
            [&] { return fixture.Events.Codes(id).size() == events.indexOf(Stopped); }));
        if (sleeping)
            QVERIFY(EngineFixture::WaitUntil([&] { return sleeping->Running() == 1; }));
        else
            QTest::qWait(500);

        control.StopConnection(id, false);
        QCOMPARE(fixture.Status(id), Stopping);
        QElapsedTimer stopped;
        stopped.start();
        QVERIFY(
            EngineFixture::WaitUntil([&] { return worker.expired(); }, int(kGrace.count()) + 5000));

        QVERIFY2(stopped.elapsed() >= kGrace.count() - 100,
                 qPrintable(QString::number(stopped.elapsed())));
        QCOMPARE(fixture.Events.Codes(id), events);
        QCOMPARE(fixture.Status(id), NotUpdating);
        QCOMPARE(fixture.ConnectionValue(id, Fields::Connection::Updated).toInt(), 0);
        QCOMPARE(fixture.CycleMarks(id), 0);
        QCOMPARE(fixture.Prompts.Texts(), QStringList());
        if (sleeping)
            QCOMPARE(sleeping->Running(), 0);
        if (holder)
            holder->RollbackTrans();
        QCOMPARE(ReceiverProbe::Quantities(receiver), kSeeded);
    }

    // The watchdog clears the receiver of a cycle stuck for more than 300 seconds and cuts its
    // call short: the worker counts a connection error and waits for its next cycle.
    void watchdogCutsTheStaleCycleShort() {
        const QString receiver = MakeReceiver();
        const SleepingSource sleeping = MakeSleepingSource();
        EngineFixture fixture;
        ConnectionControl control(fixture.Environment());
        UpdateWatchdog watchdog(
            fixture.Dm, fixture.Passwords, fixture.Prompts, *fixture.Time, fixture.Events,
            [&](int id, const QDateTime& start) { control.CancelStaleCycle(id, start); });
        const int id =
            fixture.AddConnection(QStringLiteral("Склад"), fixture.AddReceiver(receiver),
                                  fixture.AddSource(1, sleeping.ConnectionString, sleeping.Query(),
                                                    QStringLiteral("code"), QStringLiteral("qty")));
        QVERIFY(fixture.Dm.Connection.Locate(Fields::Connection::Id, {id}));
        control.StartConnection(id);
        QVERIFY(EngineFixture::WaitUntil([&] { return sleeping.Running() == 1; }));

        fixture.Time->Advance(kStaleMs);
        fixture.Dm.TaskScheduler.start();
        watchdog.TaskSchedulerTimer(&fixture.Dm.TaskScheduler);
        QVERIFY(EngineFixture::WaitUntil([&] { return fixture.Dm.TaskScheduler.isActive(); }));
        QVERIFY(fixture.WaitForSleepers(1));

        QCOMPARE(
            fixture.Events.Codes(id),
            (QList<EventCode>{Started, CycleBegins, ReceiverOpened, SourceOpened, ReceiverSelected,
                              UpdateFailed, SourceReleased, ReceiverClosed, CycleEnds}));
        QCOMPARE(fixture.Status(id), ConnectError);
        QVERIFY(control.FindRunning(id));
        QCOMPARE(fixture.CycleMarks(id), 0);
        QCOMPARE(fixture.Prompts.Texts(), QStringList());
        QCOMPARE(sleeping.Running(), 0);
        QCOMPARE(ReceiverProbe::Quantities(receiver),
                 (Quantities{{1, QVariant()}, {2, QVariant()}, {3, QVariant()}}));
        // The failure is counted: the wait is the retry wait, which the stop lets end alone.
        control.StopConnection(id, false);
        QCOMPARE(fixture.Status(id), NotUpdating);
        QCOMPARE(fixture.Time->AdvanceToNextWake(), 60000);
    }
};

QTEST_MAIN(StuckCallTest)
#include "StuckCallTest.moc"

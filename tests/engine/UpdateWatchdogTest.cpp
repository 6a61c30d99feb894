#include "engine/UpdateWatchdog.h"

#include "core/TableFields.h"
#include "engine/ConnectionControl.h"
#include "engine/TWorkThread.h"
#include "platform/Clock.h"
#include "platform/DbConnection.h"
#include "platform/DbQuery.h"
#include "support/DatabaseFixtures.h"
#include "support/EngineFixture.h"
#include "support/ReceiverProbe.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using Quantities = QMap<int, QVariant>;

namespace {

const QString kConnectFailed =
    QStringLiteral("Не удалось подключиться к приемнику для обнуления данных.");
const QString kClearFailed = QStringLiteral("Не удалось у приемника обнулить данные.");

Quantities Cleared(int count) {
    Quantities quantities;
    for (int partno = 1; partno <= count; ++partno)
        quantities.insert(partno, QVariant());
    return quantities;
}

Quantities Numbered(int count) {
    Quantities quantities;
    for (int partno = 1; partno <= count; ++partno)
        quantities.insert(partno, double(partno));
    return quantities;
}

// Another transaction, on a thread of its own, holding a receiver row until released or until
// its longest hold is over.
class RowLock {
public:
    RowLock(const QString& connectionString, int partno, std::chrono::milliseconds longest)
        : thread_([this, connectionString, partno, longest] {
            Hold(connectionString, partno, longest);
        }) {}
    ~RowLock() {
        Release();
        thread_.join();
    }

    bool WaitHeld() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return held_; });
    }
    void Release() {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    void Hold(const QString& connectionString, int partno, std::chrono::milliseconds longest) {
        DbConnection holder(connectionString);
        holder.Open();
        holder.BeginTrans();
        DbQuery update(holder);
        update.SetSql(QStringLiteral("update Stock_Balance set Quantity = Quantity where "
                                     "Partno = %1")
                          .arg(partno));
        update.Prepare();
        update.Execute();
        std::unique_lock lock(mutex_);
        held_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, longest, [this] { return released_; });
        lock.unlock();
        holder.RollbackTrans();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
    std::thread thread_;
};

// A timer on the main thread every 10 ms, and how late its ticks came at most.
class MainThreadProbe {
public:
    MainThreadProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            latestMs_ = std::max(latestMs_, sinceLast_.restart() - kIntervalMs);
        });
        sinceLast_.start();
        timer_.start(kIntervalMs);
    }
    // A tick still waiting counts too.
    qint64 LatestMs() const { return std::max(latestMs_, sinceLast_.elapsed() - kIntervalMs); }

private:
    static constexpr qint64 kIntervalMs = 10;
    QTimer timer_;
    QElapsedTimer sinceLast_;
    qint64 latestMs_ = 0;
};

} // namespace

class UpdateWatchdogTest : public QObject {
    Q_OBJECT

private:
    // A receiver of three items, Quantity 1 to 3, known to the fixture with its password.
    int AddReceiver(EngineFixture& fixture, QString* connectionString,
                    TestDatabaseKind kind = TestDatabaseKind::FirebirdEmbedded) {
        *connectionString = databases_.Create(kind, QStringLiteral("receiver%1").arg(++made_));
        DatabaseFixtures::CreateReceiverSchema(*connectionString);
        DatabaseFixtures::SeedReceiver(*connectionString, DatabaseFixtures::NumberedItems(3));
        return fixture.AddReceiver(*connectionString);
    }

    static void Register(EngineFixture& fixture, int connectionId, qint64 ageMs,
                         const QString& nameTable = QStringLiteral("Connection")) {
        RecordSet& vremTable = fixture.Dm.VremTable;
        vremTable.Append();
        vremTable.FieldByName(Fields::VremTable::IdTable).SetAsInteger(connectionId);
        vremTable.FieldByName(Fields::VremTable::NameTable).SetAsString(nameTable);
        vremTable.FieldByName(Fields::VremTable::StartUpdateTime)
            .SetAsDateTime(fixture.Time->Now().addMSecs(-ageMs));
        vremTable.Post();
    }

    // The timer is off until the last clear of the tick is done.
    static void Tick(EngineFixture& fixture,
                     std::chrono::milliseconds clearTimeLimit = kDefaultClearTimeLimit) {
        UpdateWatchdog watchdog(fixture.Dm, fixture.Passwords, fixture.Prompts, *fixture.Time,
                                fixture.Events, {}, clearTimeLimit);
        fixture.Dm.TaskScheduler.start();
        watchdog.TaskSchedulerTimer(&fixture.Dm.TaskScheduler);
        QVERIFY(EngineFixture::WaitUntil([&] { return fixture.Dm.TaskScheduler.isActive(); },
                                         int(clearTimeLimit.count()) * 3));
        QCOMPARE(fixture.Dm.TaskScheduler.interval(), 10000);
        QVERIFY(!fixture.Dm.Connection.ControlsDisabled());
    }

    DatabaseFixtures databases_;
    int made_ = 0;

private Q_SLOTS:
    void age_data() {
        QTest::addColumn<qint64>("ageMs");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("300 s") << qint64(300000) << false;
        QTest::newRow("300.999 s") << qint64(300999) << false;
        QTest::newRow("301 s") << qint64(301000) << true;
        QTest::newRow("one day and 10 s") << qint64(86410000) << false;
        QTest::newRow("one day and 301 s") << qint64(86701000) << true;
    }

    // Whole seconds past whole days; more than 300 clears the receiver and the registration.
    // The Connection table is back where the operator left it.
    void age() {
        QFETCH(qint64, ageMs);
        QFETCH(bool, cleared);
        EngineFixture fixture;
        QString receiver;
        const int receiverId = AddReceiver(fixture, &receiver);
        const int connectionId = fixture.AddConnection("Склад", receiverId, 0);
        const int otherId = fixture.AddConnection("Другой", receiverId, 0);
        Register(fixture, connectionId, ageMs);
        QVERIFY(fixture.Dm.Connection.Locate(Fields::Connection::Id, {otherId}));

        Tick(fixture);

        QCOMPARE(ReceiverProbe::Quantities(receiver), cleared ? Cleared(3) : Numbered(3));
        QCOMPARE(fixture.CycleMarks(connectionId), cleared ? 0 : 1);
        QVERIFY(fixture.Prompts.Messages().isEmpty());
        QCOMPARE(fixture.Dm.Connection.FieldByName(Fields::Connection::Id).AsInteger(), otherId);
    }

    // Both stale registrations go in one tick; rows of other tables, even stale ones, stay,
    // and so do the kept passwords.
    void twoStaleRegistrations() {
        EngineFixture fixture;
        QString first;
        QString second;
        const int firstReceiver = AddReceiver(fixture, &first);
        const int secondReceiver = AddReceiver(fixture, &second, TestDatabaseKind::FirebirdServer);
        const int firstConnection = fixture.AddConnection("Первое", firstReceiver, 0);
        const int secondConnection = fixture.AddConnection("Второе", secondReceiver, 0);
        Register(fixture, firstConnection, 400000);
        Register(fixture, firstConnection, 400000, QStringLiteral("connection"));
        Register(fixture, secondConnection, 500000);
        const int rowsBefore = fixture.Dm.VremTable.RecordCount();

        Tick(fixture);

        QCOMPARE(ReceiverProbe::Quantities(first), Cleared(3));
        QCOMPARE(ReceiverProbe::Quantities(second), Cleared(3));
        QCOMPARE(fixture.CycleMarks(firstConnection), 0);
        QCOMPARE(fixture.CycleMarks(secondConnection), 0);
        QCOMPARE(fixture.Dm.VremTable.RecordCount(), rowsBefore - 2);
        QVERIFY(fixture.Dm.VremTable.Locate(Fields::VremTable::NameTable,
                                            {QStringLiteral("connection")}));
        QVERIFY(fixture.Prompts.Messages().isEmpty());
    }

    // The unreachable receiver keeps its registration and is tried again at every tick; the
    // scan goes on to the next registration.
    void unreachableReceiver() {
        EngineFixture fixture;
        const int lostReceiver = fixture.AddReceiver(
            QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1/missing.fdb;UID=SYSDBA;"
                           "PWD=%2")
                .arg(databases_.Folder(), DatabaseFixtures::SysdbaPassword()));
        QString reachable;
        const int reachableReceiver = AddReceiver(fixture, &reachable);
        const int lostConnection = fixture.AddConnection("Потерянное", lostReceiver, 0);
        const int reachableConnection = fixture.AddConnection("Рабочее", reachableReceiver, 0);
        Register(fixture, lostConnection, 400000);
        Register(fixture, reachableConnection, 400000);

        Tick(fixture);

        QCOMPARE(fixture.Prompts.Texts(), QStringList{kConnectFailed});
        const ScriptedPrompts::Shown& shown = fixture.Prompts.Messages().first();
        QVERIFY(!shown.SystemBox);
        QCOMPARE(shown.Kind, DialogKind::Error);
        QCOMPARE(shown.Buttons, DialogButtons{DialogButton::Ok});
        QCOMPARE(fixture.CycleMarks(lostConnection), 1);
        QCOMPARE(fixture.CycleMarks(reachableConnection), 0);
        QCOMPARE(ReceiverProbe::Quantities(reachable), Cleared(3));

        Tick(fixture);

        QCOMPARE(fixture.Prompts.Texts(), QStringList({kConnectFailed, kConnectFailed}));
        QCOMPARE(fixture.CycleMarks(lostConnection), 1);
    }

    // While another transaction holds a receiver row, the main thread goes on serving its
    // timers; the clear fails at its time limit, keeps the registration and is done at the
    // next tick.
    void lockedReceiverRow() {
        EngineFixture fixture;
        QString receiver;
        const int receiverId = AddReceiver(fixture, &receiver, TestDatabaseKind::FirebirdServer);
        const int connectionId = fixture.AddConnection("Склад", receiverId, 0);
        Register(fixture, connectionId, 400000);
        {
            RowLock lock(receiver, 2, std::chrono::seconds(4));
            QVERIFY(lock.WaitHeld());
            const MainThreadProbe probe;

            Tick(fixture, std::chrono::seconds(1));

            QVERIFY2(probe.LatestMs() <= 50, qPrintable(QString::number(probe.LatestMs())));
            QCOMPARE(fixture.Prompts.Texts(), QStringList{kClearFailed});
            QCOMPARE(fixture.CycleMarks(connectionId), 1);
        }
        QCOMPARE(ReceiverProbe::Quantities(receiver), Numbered(3));

        Tick(fixture, std::chrono::seconds(1));

        QCOMPARE(fixture.Prompts.Texts(), QStringList{kClearFailed});
        QCOMPARE(fixture.CycleMarks(connectionId), 0);
        QCOMPARE(ReceiverProbe::Quantities(receiver), Cleared(3));
    }

    void failingClear_data() {
        QTest::addColumn<QString>("tableName");
        QTest::addColumn<bool>("refuseRow");
        QTest::newRow("row refused by the receiver") << QStringLiteral("Stock_Balance") << true;
        QTest::newRow("no such table") << QStringLiteral("No_Such_Balance") << false;
        QTest::newRow("statement in the table name")
            << QStringLiteral("Stock_Balance; delete from Parts") << false;
        QTest::newRow("table name turning the clear onto Parts")
            << QStringLiteral("Parts set Code = Null --") << false;
    }

    // Rolled back: the receiver keeps every value, the registration stays.
    void failingClear() {
        QFETCH(QString, tableName);
        QFETCH(bool, refuseRow);
        EngineFixture fixture;
        QString receiver;
        const int receiverId = AddReceiver(fixture, &receiver);
        if (refuseRow)
            ReceiverProbe::FailUpdateOf(receiver, 2);
        QVERIFY(fixture.Dm.Receiver.Locate(Fields::Receiver::Id, {receiverId}));
        fixture.Dm.Receiver.Edit();
        fixture.Dm.Receiver.FieldByName(Fields::Receiver::Name_Table).SetAsString(tableName);
        fixture.Dm.Receiver.Post();
        const int connectionId = fixture.AddConnection("Склад", receiverId, 0);
        Register(fixture, connectionId, 400000);

        Tick(fixture);

        QCOMPARE(fixture.Prompts.Texts(), QStringList{kClearFailed});
        QCOMPARE(fixture.Prompts.Messages().first().Kind, DialogKind::Error);
        QCOMPARE(fixture.Prompts.Messages().first().Buttons, DialogButtons{DialogButton::Ok});
        QCOMPARE(ReceiverProbe::Quantities(receiver), Numbered(3));
        QCOMPARE(
            DatabaseFixtures::Select(receiver, QStringLiteral("select count(Code) from Parts")),
            QList<QVariantList>({{3}}));
        QCOMPARE(fixture.CycleMarks(connectionId), 1);
    }

    void operatorsPendingEditStays_data() {
        QTest::addColumn<bool>("insert");
        QTest::newRow("typed into another row") << false;
        QTest::newRow("new row with its defaults") << true;
    }

    // The clearing looks the registration's connection up: the operator's current row, its
    // unsaved edit or its new row stay as they were.
    void operatorsPendingEditStays() {
        QFETCH(bool, insert);
        EngineFixture fixture;
        QString receiver;
        const int receiverId = AddReceiver(fixture, &receiver);
        const int connectionId = fixture.AddConnection("Склад", receiverId, 0);
        const int otherId = fixture.AddConnection("Другой", receiverId, 0);
        Register(fixture, connectionId, 400000);
        fixture.BeginOperatorsEdit(otherId, insert);

        Tick(fixture);

        QCOMPARE(ReceiverProbe::Quantities(receiver), Cleared(3));
        QCOMPARE(fixture.CycleMarks(connectionId), 0);
        fixture.VerifyOperatorsEditPending(otherId, insert);
    }

    void deletedConnection_data() {
        QTest::addColumn<bool>("receiverDeleted");
        QTest::newRow("connection deleted") << false;
        QTest::newRow("its receiver deleted too") << true;
    }

    // An update error leaves the cycle's registration; the connection is deleted afterwards.
    // Its receiver is still cleared once the registration is stale, and a receiver that is gone
    // as well is told of once, not at every tick.
    void deletedConnection() {
        QFETCH(bool, receiverDeleted);
        EngineFixture fixture;
        ConnectionControl control(fixture.Environment());
        QString receiver;
        const int receiverId = AddReceiver(fixture, &receiver);
        // Connection type 7 has no ProgID: the cycle ends with an update error.
        const int connectionId =
            fixture.AddConnection("Склад", receiverId, fixture.AddSource(7, "/D\"/base\""));
        control.StartConnection(connectionId);
        std::weak_ptr<TWorkThread> worker = control.FindRunning(connectionId);
        QVERIFY(EngineFixture::WaitUntil([&] { return worker.expired(); }));
        QCOMPARE(fixture.Status(connectionId), UpdateError);
        QCOMPARE(fixture.Prompts.Texts().size(), 1);
        QCOMPARE(fixture.CycleMarks(connectionId), 1);
        QVERIFY(fixture.Dm.Connection.Locate(Fields::Connection::Id, {connectionId}));
        fixture.Dm.Connection.Delete();
        if (receiverDeleted) {
            QVERIFY(fixture.Dm.Receiver.Locate(Fields::Receiver::Id, {receiverId}));
            fixture.Dm.Receiver.Delete();
        }
        fixture.Time->Advance(301000);

        Tick(fixture);
        Tick(fixture);

        QCOMPARE(fixture.CycleMarks(connectionId), 0);
        QCOMPARE(ReceiverProbe::Quantities(receiver), receiverDeleted ? Numbered(3) : Cleared(3));
        const QStringList told = fixture.Prompts.Texts().mid(1);
        QCOMPARE(told, receiverDeleted ? QStringList{kConnectFailed} : QStringList());
    }
};

QTEST_MAIN(UpdateWatchdogTest)
#include "UpdateWatchdogTest.moc"

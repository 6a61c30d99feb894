#include "core/ConnectionStatus.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/MainThreadHandOver.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"
#include "service/ConnectionMonitor.h"
#include "service/TSynchronization_Service.h"
#include "support/FileReplacementCounter.h"
#include "support/RecordingWindowLink.h"
#include "support/ScriptedPrompts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

namespace {

constexpr int kWorkers = 8;

// What one worker thread saw of its status post.
struct PostOutcome {
    QString failure;
    // The row's Update_Time in the file, read the moment the post was reported done.
    QString storedTime;
};

} // namespace

// The status posts of many workers reach the settings file in few writes, and each worker is
// told its post is done only once the file holds it, or that the write failed.
class StatusSaveTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::shared_ptr<VirtualClock> clock_ =
        std::make_shared<VirtualClock>(QDateTime(QDate(2026, 3, 2), QTime(10, 0)));
    std::shared_ptr<MainThreadHandOver> handOver_;
    ScriptedPrompts prompts_;
    RecordingWindowLink window_;

    QString SettingsPath() const { return folder_.filePath(QStringLiteral("Corvane.ini")); }

    ServiceEnvironment Environment() {
        handOver_ = std::make_shared<MainThreadHandOver>();
        ServiceEnvironment environment;
        environment.ProgramFolder = folder_.path();
        environment.TimeSource = clock_;
        environment.HandOver = handOver_;
        environment.OperatorPrompts = &prompts_;
        environment.Window = &window_;
        return environment;
    }

    static void AddConnections(TDm& dm) {
        for (int row = 1; row <= kWorkers; ++row) {
            dm.Connection.Insert();
            dm.Connection.FieldByName(Fields::Connection::Name_Connection)
                .SetAsString(QStringLiteral("Склад %1").arg(row));
            dm.Connection.Post();
        }
    }

    static QDateTime PostedTime(int id) { return QDateTime(QDate(2026, 3, 2), QTime(11, id, 0)); }

    PostOutcome Post(TDm& dm, int id, bool oddWorkersOnlyLook) {
        PostOutcome outcome;
        const bool onlyLooks = oddWorkersOnlyLook && id % 2 == 1;
        try {
            handOver_->Synchronize([&] {
                if (onlyLooks)
                    dm.Connection.Lookup(Fields::Connection::Id, {id}, Fields::Connection::Status);
                else
                    dm.Connection.UpdateRow(Fields::Connection::Id, {id},
                                            QStringLiteral("Status;Update_Time"),
                                            {int(Updating), PostedTime(id)});
            });
        } catch (const Exception& error) {
            outcome.failure = error.Message();
            return outcome;
        }
        if (onlyLooks)
            return outcome;
        const ProfileFile file(SettingsPath());
        outcome.storedTime =
            file.ReadString(QStringLiteral("Connection"), Fields::Connection::Update_Time)
                .split(u'`')
                .value(id - 1);
        return outcome;
    }

    // Every worker posts its status at once; each reads the file back as soon as it is told
    // its post is done. Workers with an odd Id post a step that changes no row.
    std::vector<PostOutcome> PostFromAllWorkers(TDm& dm, bool oddWorkersOnlyLook) {
        std::vector<PostOutcome> outcomes(kWorkers);
        std::atomic<int> finished = 0;
        std::barrier ready(kWorkers + 1);
        {
            std::vector<std::jthread> workers;
            for (int id = 1; id <= kWorkers; ++id)
                workers.emplace_back([&, id] {
                    ready.arrive_and_wait();
                    outcomes[static_cast<std::size_t>(id - 1)] = Post(dm, id, oddWorkersOnlyLook);
                    ++finished;
                });
            ready.arrive_and_wait();
            // The posts all wait for the main thread before it turns to them.
            QThread::msleep(300);
            if (!QTest::qWaitFor([&] { return finished == kWorkers; }, 30000))
                qFatal("the workers' posts were never reported done");
        }
        return outcomes;
    }

    // What the operator's own save of the table says, at once.
    static QString SaveFailure(TSynchronization_Service& service, TDm& dm) {
        try {
            service.SaveTable(dm.Connection);
        } catch (const Exception& error) {
            return error.Message();
        }
        return QString();
    }

    // The file becomes a link into a folder that is not there: every save fails.
    void BreakSettingsFile() {
        QVERIFY(QFile::remove(SettingsPath()));
        QVERIFY(
            QFile::link(folder_.filePath(QStringLiteral("missing/Corvane.ini")), SettingsPath()));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    }
    void init() {
        QFile::remove(SettingsPath());
        prompts_.Clear();
    }

    void burstOfPostsIsWrittenOnceBeforeItsWorkersHearDone() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        AddConnections(dm);
        FileReplacementCounter replacements(SettingsPath());

        const std::vector<PostOutcome> outcomes = PostFromAllWorkers(dm, false);

        for (int id = 1; id <= kWorkers; ++id) {
            const PostOutcome& outcome = outcomes[static_cast<std::size_t>(id - 1)];
            QCOMPARE(outcome.failure, QString());
            QCOMPARE(outcome.storedTime, RegionalSettings::StoredDateTimeToText(PostedTime(id)));
        }
        const int writes = replacements.Count();
        QVERIFY2(writes >= 1 && writes < kWorkers, qPrintable(QString::number(writes)));
        QVERIFY(service.Monitor().Snapshot().LastSaveSucceeded);
    }

    void failedWriteOfABurstReachesEachWorkerWhosePostItHeld() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        AddConnections(dm);
        BreakSettingsFile();

        const std::vector<PostOutcome> outcomes = PostFromAllWorkers(dm, true);

        const MonitorSnapshot snapshot = service.Monitor().Snapshot();
        QVERIFY(!snapshot.LastSaveSucceeded);
        const QString failure = SaveFailure(service, dm);
        QVERIFY(!failure.isEmpty());
        QCOMPARE(snapshot.LastSaveError, failure);
        for (int id = 1; id <= kWorkers; ++id) {
            const PostOutcome& outcome = outcomes[static_cast<std::size_t>(id - 1)];
            QCOMPARE(outcome.failure, id % 2 == 1 ? QString() : failure);
        }
        QVERIFY(QFile::remove(SettingsPath()));
    }

    // A step that must report the write's failure itself has the write done within it.
    void stepFinishingNowSeesTheFailureItsPostCaused() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        AddConnections(dm);
        BreakSettingsFile();
        QString seen;
        QString heard;
        std::jthread worker([&] {
            try {
                handOver_->Synchronize([&] {
                    dm.Connection.UpdateRow(Fields::Connection::Id, {1},
                                            QStringLiteral("Status;Update_Time"),
                                            {int(UpdateError), PostedTime(1)});
                    try {
                        handOver_->FinishRoundNow();
                    } catch (const Exception& error) {
                        seen = error.Message();
                    }
                });
            } catch (const Exception& error) {
                heard = error.Message();
            }
        });
        QTRY_VERIFY(!seen.isNull());
        worker.join();
        QCOMPARE(seen, SaveFailure(service, dm));
        QCOMPARE(heard, QString());
        QVERIFY(QFile::remove(SettingsPath()));
    }
};

QTEST_MAIN(StatusSaveTest)
#include "StatusSaveTest.moc"

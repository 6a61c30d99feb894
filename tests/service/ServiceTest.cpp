#include "core/ConnectionStatus.h"
#include "core/uDm.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/MainThreadHandOver.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"
#include "service/uSupporting.h"
#include "support/RecordingWindowLink.h"
#include "support/ScriptedPrompts.h"

#include <QFile>

#include <QTemporaryDir>
#include <QTest>
#include <limits>

class ServiceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::shared_ptr<VirtualClock> clock_ =
        std::make_shared<VirtualClock>(QDateTime(QDate(2026, 3, 2), QTime(10, 0)));
    ScriptedPrompts prompts_;
    RecordingWindowLink window_;

    ServiceEnvironment Environment() {
        ServiceEnvironment environment;
        environment.ProgramFolder = folder_.path();
        environment.TimeSource = clock_;
        // The end of a service closes its hand-over for good.
        environment.HandOver = std::make_shared<MainThreadHandOver>();
        environment.OperatorPrompts = &prompts_;
        environment.Window = &window_;
        return environment;
    }
    QString SettingsPath() const { return folder_.filePath(QStringLiteral("Corvane.ini")); }
    void WriteSettings(const QByteArray& text) {
        QFile file(SettingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QByteArray ReadSettings() const {
        QFile file(SettingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    }
    void init() { QFile::remove(SettingsPath()); }

    void startsWithDefaultsAndCreatesTheFileAtTheEnd() {
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            QVERIFY(service.Loaded());
            QCOMPARE(service.Settings().NumberAttempts, 3);
            QCOMPARE(service.Settings().ShowAllLogs, false);
            QCOMPARE(service.Settings().MaxSizeLogs, 5);
            QCOMPARE(service.Counters().Counter_Connection, 0);
            for (RecordSet* table :
                 {&dm.Connection, &dm.Receiver, &dm.Source, &dm.Connection_Types, &dm.VremTable}) {
                QVERIFY(table->Active());
                QVERIFY(table->IsEmpty());
            }
            QVERIFY(!QFile::exists(SettingsPath()));
        }
        const ProfileFile file(SettingsPath());
        QCOMPARE(file.ReadString(QStringLiteral("Counter_Id"), QStringLiteral("Counter_Source"),
                                 QStringLiteral("missing")),
                 QStringLiteral("0"));
        for (const char* section : {"Source", "Receiver", "Connection"}) {
            const QStringList lines = file.ReadSection(QString::fromLatin1(section));
            QVERIFY2(!lines.isEmpty(), section);
            for (const QString& line : lines)
                QVERIFY2(line.endsWith(u'='), qPrintable(line));
        }
        QCOMPARE(file.ReadSection(QStringLiteral("Settings")), QStringList());
    }

    void newConnectionGetsItsDefaults() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        dm.Connection.Insert();
        QCOMPARE(dm.Connection.FieldByName(QStringLiteral("Id")).AsInteger(), 1);
        QCOMPARE(dm.Connection.FieldByName(QStringLiteral("CalStatus")).AsString(),
                 QStringLiteral("Не обновляется"));
        QCOMPARE(dm.Connection.FieldByName(QStringLiteral("Name_Connection")).AsString(),
                 QString());
        QCOMPARE(dm.Connection.FieldByName(QStringLiteral("Time_Update")).AsInteger(), 30);
        const QStringList week = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                  "Friday", "Saturday", "Sunday"};
        for (int day = 0; day < week.size(); ++day)
            QCOMPARE(dm.Connection.FieldByName(week[day]).AsInteger(), day < 5 ? 1 : 0);
        QCOMPARE(dm.Connection.FieldByName(QStringLiteral("TimeStart")).AsTime(), QTime(9, 0));
        QCOMPARE(dm.Connection.FieldByName(QStringLiteral("TimeEnd")).AsTime(), QTime(18, 0));
        QCOMPARE(dm.Connection.FieldByName(QStringLiteral("Updated")).AsInteger(), 0);
    }

    void cancelledInsertStillUsesItsId() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        dm.Receiver.Insert();
        dm.Receiver.Cancel();
        QVERIFY(dm.Receiver.IsEmpty());
        dm.Receiver.Insert();
        QCOMPARE(dm.Receiver.FieldByName(QStringLiteral("Id")).AsInteger(), 2);
    }

    void counterAtTheLargestIntegerWraps() {
        WriteSettings("[Counter_Id]\r\nCounter_Receiver=2147483647\r\n");
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        dm.Receiver.Insert();
        QCOMPARE(dm.Receiver.FieldByName(QStringLiteral("Id")).AsInteger(),
                 std::numeric_limits<int>::min());
    }

    void postSavesTheTableWithThePasswordEnciphered() {
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            dm.Receiver.Insert();
            dm.Receiver.FieldByName(QStringLiteral("Name_Receiver"))
                .SetAsString(QStringLiteral("Склад"));
            dm.Receiver.FieldByName(QStringLiteral("Connection_String"))
                .SetAsString(QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=secret"));
            dm.Receiver.Post();
            QCOMPARE(dm.Receiver.FieldByName(QStringLiteral("Connection_String")).AsString(),
                     QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=******"));
            const QString stored =
                ProfileFile(SettingsPath())
                    .ReadString(QStringLiteral("Receiver"), QStringLiteral("Connection_String"));
            QVERIFY(stored.startsWith(QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=")));
            QVERIFY2(!stored.contains(QStringLiteral("secret")), qPrintable(stored));
            QVERIFY(!ReadSettings().contains("secret"));
            QCOMPARE(service.UnmaskConnectionString(
                         1, QStringLiteral("Receiver"), u';',
                         dm.Receiver.FieldByName(QStringLiteral("Connection_String")).AsString()),
                     QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=secret;"));
        }
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        QVERIFY(service.Loaded());
        QCOMPARE(dm.Receiver.RecordCount(), 1);
        QCOMPARE(dm.Receiver.FieldByName(QStringLiteral("Name_Receiver")).AsString(),
                 QStringLiteral("Склад"));
        QCOMPARE(service.Counters().Counter_Receiver, 1);
        QCOMPARE(service.UnmaskConnectionString(
                     1, QStringLiteral("Receiver"), u';',
                     dm.Receiver.FieldByName(QStringLiteral("Connection_String")).AsString()),
                 QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=secret;"));
    }

    // Enciphered, a password takes a third more room than the field gives the string.
    void longPasswordSurvivesTheSettingsFile() {
        const QString password(400, u'ж');
        const QString shown = QStringLiteral("DBNAME=x.fdb;PWD=") + QString(400, u'*');
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            dm.Receiver.Insert();
            dm.Receiver.FieldByName(QStringLiteral("Connection_String"))
                .SetAsString(QStringLiteral("DBNAME=x.fdb;PWD=") + password);
            dm.Receiver.Post();
            QCOMPARE(dm.Receiver.FieldByName(QStringLiteral("Connection_String")).AsString(),
                     shown);
        }
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        QVERIFY(service.Loaded());
        QCOMPARE(dm.Receiver.FieldByName(QStringLiteral("Connection_String")).AsString(), shown);
        QCOMPARE(service.UnmaskConnectionString(1, QStringLiteral("Receiver"), u';', shown),
                 QStringLiteral("DBNAME=x.fdb;PWD=") + password + u';');
    }

    void renamedReceiverShowsInItsConnectionsAtOnce() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        dm.Receiver.Insert();
        dm.Receiver.FieldByName(QStringLiteral("Name_Receiver")).SetAsString(QStringLiteral("A"));
        dm.Receiver.Post();
        dm.Connection.Insert();
        dm.Connection.FieldByName(QStringLiteral("Id_Receiver")).SetAsInteger(1);
        dm.Connection.Post();
        dm.Receiver.Edit();
        dm.Receiver.FieldByName(QStringLiteral("Name_Receiver")).SetAsString(QStringLiteral("B"));
        dm.Receiver.Post();
        QCOMPARE(dm.Connection.FieldByName(QStringLiteral("Name_Receiver")).AsString(),
                 QStringLiteral("B"));
        QCOMPARE(ProfileFile(SettingsPath())
                     .ReadString(QStringLiteral("Connection"), QStringLiteral("Id_Receiver")),
                 QStringLiteral("1"));
    }

    void runningConnectionIsStoppedAndStoredAsNotUpdating() {
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            dm.Connection.Insert();
            dm.Connection.FieldByName(QStringLiteral("Name_Connection"))
                .SetAsString(QStringLiteral("Склад"));
            for (const char* day : {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday"})
                dm.Connection.FieldByName(QString::fromLatin1(day)).SetAsInteger(0);
            dm.Connection.Post();
            service.StartConnection(1);
            // Outside its working days the worker only marks the connection and waits.
            QTRY_COMPARE(clock_->Sleepers(), 1);
            QTRY_COMPARE(dm.Connection.FieldByName(QStringLiteral("Status")).AsInteger(),
                         int(WaitingForPeriod));
        }
        const ProfileFile file(SettingsPath());
        QCOMPARE(file.ReadString(QStringLiteral("Connection"), QStringLiteral("Status")),
                 QStringLiteral("0"));
        QCOMPARE(file.ReadString(QStringLiteral("Connection"), QStringLiteral("Updated")),
                 QStringLiteral("0"));
        QFile log(folder_.filePath(QStringLiteral("Log/Logs.txt")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString lines = QString::fromUtf8(log.readAll());
        QVERIFY2(lines.contains(QStringLiteral("Соединение с именем \"Склад\" было остановлено.")),
                 qPrintable(lines));
    }

    void schedulerTickRunsTheWatchdog() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        dm.Receiver.Insert();
        dm.Receiver.FieldByName(QStringLiteral("Connection_String"))
            .SetAsString(QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=") +
                         folder_.filePath(QStringLiteral("missing.fdb")));
        dm.Receiver.Post();
        dm.Connection.Insert();
        dm.Connection.FieldByName(QStringLiteral("Id_Receiver")).SetAsInteger(1);
        dm.Connection.Post();
        dm.VremTable.Append();
        dm.VremTable.FieldByName(QStringLiteral("IdTable")).SetAsInteger(1);
        dm.VremTable.FieldByName(QStringLiteral("NameTable"))
            .SetAsString(QStringLiteral("Connection"));
        dm.VremTable.FieldByName(QStringLiteral("StartUpdateTime"))
            .SetAsDateTime(clock_->Now().addSecs(-301));
        dm.VremTable.Post();
        QVERIFY(QMetaObject::invokeMethod(&dm.TaskScheduler, "timeout"));
        // The clear runs beside the main thread; its box comes when it has failed.
        QVERIFY(QTest::qWaitFor([&] { return !prompts_.Texts().isEmpty(); }, 20000));
        QCOMPARE(prompts_.Texts().last(),
                 QStringLiteral("Не удалось подключиться к приемнику для обнуления данных."));
    }

    void failedLoadSaysSoAndWritesNothing() {
        const QByteArray text = "[Connection]\r\nId=1`x\r\nName_Connection=a`b\r\n";
        WriteSettings(text);
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            QVERIFY(!service.Loaded());
            QCOMPARE(service.LoadError(), QStringLiteral("'x' is not a valid integer value"));
            dm.Receiver.Insert();
            QVERIFY_THROWS_EXCEPTION(Exception, dm.Receiver.Post());
        }
        QCOMPARE(ReadSettings(), text);
    }
};

QTEST_GUILESS_MAIN(ServiceTest)
#include "ServiceTest.moc"

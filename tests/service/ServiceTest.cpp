#include "core/ConnectionStatus.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/MainThreadHandOver.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"
#include "service/TSynchronization_Service.h"
#include "support/RecordingWindowLink.h"
#include "support/ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <sys/stat.h>

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
    QString LogPath() const { return folder_.filePath(QStringLiteral("Log/Logs.txt")); }
    QString LogText() const {
        QFile log(LogPath());
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }
    mode_t SettingsMode() const {
        struct stat info {};
        return ::stat(QFile::encodeName(SettingsPath()).constData(), &info) == 0
                   ? info.st_mode & 07777
                   : mode_t(0);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    }
    void init() {
        QFile::remove(SettingsPath());
        QDir(folder_.filePath(QStringLiteral("Log"))).removeRecursively();
        prompts_.Clear();
    }

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
        QCOMPARE(dm.Connection.FieldByName(Fields::Connection::Id).AsInteger(), 1);
        QCOMPARE(dm.Connection.FieldByName(Fields::Connection::CalStatus).AsString(),
                 QStringLiteral("Не обновляется"));
        QCOMPARE(dm.Connection.FieldByName(Fields::Connection::Name_Connection).AsString(),
                 QString());
        QCOMPARE(dm.Connection.FieldByName(Fields::Connection::Time_Update).AsInteger(), 30);
        for (int day = 0; day < Fields::Connection::WeekDays.size(); ++day)
            QCOMPARE(dm.Connection.FieldByName(Fields::Connection::WeekDays[day]).AsInteger(),
                     day < 5 ? 1 : 0);
        QCOMPARE(dm.Connection.FieldByName(Fields::Connection::TimeStart).AsTime(), QTime(9, 0));
        QCOMPARE(dm.Connection.FieldByName(Fields::Connection::TimeEnd).AsTime(), QTime(18, 0));
        QCOMPARE(dm.Connection.FieldByName(Fields::Connection::Updated).AsInteger(), 0);
    }

    void cancelledInsertStillUsesItsId() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        dm.Receiver.Insert();
        dm.Receiver.Cancel();
        QVERIFY(dm.Receiver.IsEmpty());
        dm.Receiver.Insert();
        QCOMPARE(dm.Receiver.FieldByName(Fields::Receiver::Id).AsInteger(), 2);
    }

    void counterAtTheLargestIntegerWraps() {
        WriteSettings("[Counter_Id]\r\nCounter_Receiver=2147483647\r\n");
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        dm.Receiver.Insert();
        QCOMPARE(dm.Receiver.FieldByName(Fields::Receiver::Id).AsInteger(),
                 std::numeric_limits<int>::min());
    }

    void postSavesTheTableWithThePasswordEnciphered() {
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            dm.Receiver.Insert();
            dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver)
                .SetAsString(QStringLiteral("Склад"));
            dm.Receiver.FieldByName(Fields::Receiver::Connection_String)
                .SetAsString(QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=secret"));
            dm.Receiver.Post();
            QCOMPARE(dm.Receiver.FieldByName(Fields::Receiver::Connection_String).AsString(),
                     QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=******"));
            const QString stored =
                ProfileFile(SettingsPath())
                    .ReadString(QStringLiteral("Receiver"), Fields::Receiver::Connection_String);
            QVERIFY(stored.startsWith(QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=")));
            QVERIFY2(!stored.contains(QStringLiteral("secret")), qPrintable(stored));
            QVERIFY(!ReadSettings().contains("secret"));
            QCOMPARE(service.UnmaskConnectionString(
                         1, QStringLiteral("Receiver"), u';',
                         dm.Receiver.FieldByName(Fields::Receiver::Connection_String).AsString()),
                     QStringLiteral("Driver=Firebird/InterBase(r) driver;PWD=secret;"));
        }
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        QVERIFY(service.Loaded());
        QCOMPARE(dm.Receiver.RecordCount(), 1);
        QCOMPARE(dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).AsString(),
                 QStringLiteral("Склад"));
        QCOMPARE(service.Counters().Counter_Receiver, 1);
        QCOMPARE(service.UnmaskConnectionString(
                     1, QStringLiteral("Receiver"), u';',
                     dm.Receiver.FieldByName(Fields::Receiver::Connection_String).AsString()),
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
            dm.Receiver.FieldByName(Fields::Receiver::Connection_String)
                .SetAsString(QStringLiteral("DBNAME=x.fdb;PWD=") + password);
            dm.Receiver.Post();
            QCOMPARE(dm.Receiver.FieldByName(Fields::Receiver::Connection_String).AsString(),
                     shown);
        }
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        QVERIFY(service.Loaded());
        QCOMPARE(dm.Receiver.FieldByName(Fields::Receiver::Connection_String).AsString(), shown);
        QCOMPARE(service.UnmaskConnectionString(1, QStringLiteral("Receiver"), u';', shown),
                 QStringLiteral("DBNAME=x.fdb;PWD=") + password + u';');
    }

    void renamedReceiverShowsInItsConnectionsAtOnce() {
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        dm.Receiver.Insert();
        dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString(QStringLiteral("A"));
        dm.Receiver.Post();
        dm.Connection.Insert();
        dm.Connection.FieldByName(Fields::Connection::Id_Receiver).SetAsInteger(1);
        dm.Connection.Post();
        dm.Receiver.Edit();
        dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString(QStringLiteral("B"));
        dm.Receiver.Post();
        QCOMPARE(dm.Connection.FieldByName(Fields::Connection::Name_Receiver).AsString(),
                 QStringLiteral("B"));
        QCOMPARE(ProfileFile(SettingsPath())
                     .ReadString(QStringLiteral("Connection"), Fields::Connection::Id_Receiver),
                 QStringLiteral("1"));
    }

    void runningConnectionIsStoppedAndStoredAsNotUpdating() {
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            dm.Connection.Insert();
            dm.Connection.FieldByName(Fields::Connection::Name_Connection)
                .SetAsString(QStringLiteral("Склад"));
            for (const QString& day : Fields::Connection::WeekDays.first(5))
                dm.Connection.FieldByName(day).SetAsInteger(0);
            dm.Connection.Post();
            service.StartConnection(1);
            // Outside its working days the worker only marks the connection and waits.
            QTRY_COMPARE(clock_->Sleepers(), 1);
            QTRY_COMPARE(dm.Connection.FieldByName(Fields::Connection::Status).AsInteger(),
                         int(WaitingForPeriod));
        }
        const ProfileFile file(SettingsPath());
        QCOMPARE(file.ReadString(QStringLiteral("Connection"), Fields::Connection::Status),
                 QStringLiteral("0"));
        QCOMPARE(file.ReadString(QStringLiteral("Connection"), Fields::Connection::Updated),
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
        dm.Receiver.FieldByName(Fields::Receiver::Connection_String)
            .SetAsString(QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=") +
                         folder_.filePath(QStringLiteral("missing.fdb")));
        dm.Receiver.Post();
        dm.Connection.Insert();
        dm.Connection.FieldByName(Fields::Connection::Id_Receiver).SetAsInteger(1);
        dm.Connection.Post();
        dm.VremTable.Append();
        dm.VremTable.FieldByName(Fields::VremTable::IdTable).SetAsInteger(1);
        dm.VremTable.FieldByName(Fields::VremTable::NameTable)
            .SetAsString(QStringLiteral("Connection"));
        dm.VremTable.FieldByName(Fields::VremTable::StartUpdateTime)
            .SetAsDateTime(clock_->Now().addSecs(-301));
        dm.VremTable.Post();
        QVERIFY(QMetaObject::invokeMethod(&dm.TaskScheduler, "timeout"));
        // The clear runs beside the main thread; its box comes when it has failed.
        QVERIFY(QTest::qWaitFor([&] { return !prompts_.Texts().isEmpty(); }, 20000));
        QCOMPARE(prompts_.Texts().last(),
                 QStringLiteral("Не удалось подключиться к приемнику для обнуления данных."));
    }

    void everySaveLeavesTheFileToItsOwner_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("atEnd");
        QTest::addColumn<bool>("noted");
        QTest::newRow("readable by all, saved by a post") << 0644 << false << true;
        QTest::newRow("readable by all, saved at the end") << 0644 << true << true;
        QTest::newRow("writable by the group") << 0620 << false << true;
        QTest::newRow("readable by others only") << 0604 << true << true;
        QTest::newRow("owner only already") << 0600 << false << false;
        QTest::newRow("owner only, with execute") << 0700 << true << false;
    }
    void everySaveLeavesTheFileToItsOwner() {
        QFETCH(int, mode);
        QFETCH(bool, atEnd);
        QFETCH(bool, noted);
        WriteSettings("[Counter_Id]\r\nCounter_Receiver=0\r\n");
        QCOMPARE(::chmod(QFile::encodeName(SettingsPath()).constData(), mode_t(mode)), 0);
        const QString note =
            QStringLiteral("  Файл настроек %1 был доступен не только владельцу; теперь читать "
                           "и изменять его может только владелец.\r\n")
                .arg(SettingsPath());
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            QVERIFY(service.Loaded());
            if (!atEnd) {
                for (int post = 0; post < 2; ++post) {
                    dm.Receiver.Insert();
                    dm.Receiver.Post();
                    QCOMPARE(SettingsMode(), mode_t(0600));
                }
            }
        }
        QCOMPARE(SettingsMode(), mode_t(0600));
        QCOMPARE(ProfileFile(SettingsPath())
                     .ReadString(QStringLiteral("Counter_Id"), QStringLiteral("Counter_Receiver")),
                 QString::number(atEnd ? 0 : 2));
        // Once: the first save took the rights, the later ones found none to take.
        QCOMPARE(LogText().count(note), noted ? 1 : 0);
    }

    void settingsOfTheFileSteerTheLog_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<qint64>("logSize");
        QTest::addColumn<bool>("detailed");
        QTest::addColumn<bool>("rotated");
        const qint64 megabyte = 1024 * 1024;
        QTest::newRow("defaults") << QByteArray() << 5 * megabyte << false << false;
        QTest::newRow("all events") << QByteArray("ShowAllLogs=1") << qint64(100) << true << false;
        QTest::newRow("any number is on")
            << QByteArray("ShowAllLogs=-2") << qint64(100) << true << false;
        QTest::newRow("main events only")
            << QByteArray("ShowAllLogs=0") << qint64(100) << false << false;
        QTest::newRow("limit below the default")
            << QByteArray("MaxSizeLogs=1") << megabyte + 1 << false << true;
        QTest::newRow("limit in hexadecimal")
            << QByteArray("MaxSizeLogs=0x2") << 2 * megabyte + 1 << false << true;
        QTest::newRow("at the limit") << QByteArray("MaxSizeLogs=1") << megabyte << false << false;
        QTest::newRow("limit above the default")
            << QByteArray("MaxSizeLogs=7") << 6 * megabyte << false << false;
        QTest::newRow("both") << QByteArray("ShowAllLogs=1\r\nMaxSizeLogs=0") << qint64(1) << true
                              << true;
    }
    void settingsOfTheFileSteerTheLog() {
        QFETCH(QByteArray, settings);
        QFETCH(qint64, logSize);
        QFETCH(bool, detailed);
        QFETCH(bool, rotated);
        WriteSettings("[Settings]\r\n" + settings +
                      "\r\n[Connection]\r\nId=1\r\nName_Connection=Склад\r\n");
        QVERIFY(QDir(folder_.path()).mkpath(QStringLiteral("Log")));
        {
            QFile log(LogPath());
            QVERIFY(log.open(QIODevice::WriteOnly));
            QVERIFY(log.resize(logSize));
        }
        TDm dm;
        TSynchronization_Service service(dm, Environment());
        QVERIFY(service.Loaded());
        // One event: the size is checked before it is written.
        service.LogEvent(1, EventCode::CycleBegins);

        QCOMPARE(QFileInfo::exists(folder_.filePath(QStringLiteral("Log/StLogs.txt"))), rotated);
        if (rotated)
            QCOMPARE(QFileInfo(folder_.filePath(QStringLiteral("Log/StLogs.txt"))).size(), logSize);
        const QString written =
            detailed ? QStringLiteral("02.03.2026 10:00:00  Соединение с именем \"Склад\" начало "
                                      "процесса обновления данных.\r\n")
                     : QString();
        QFile log(LogPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.size(), (rotated ? 0 : logSize) + written.toUtf8().size());
        QVERIFY(log.seek(rotated ? 0 : logSize));
        QCOMPARE(QString::fromUtf8(log.readAll()), written);
    }

    // The file's empty values stay empty and its Ids and counters stay its own: no row read
    // from the file is a new row.
    void loadedRowsGetNoneOfTheNewRowValues() {
        const QByteArray text = "[Counter_Id]\r\nCounter_Connection=10\r\nCounter_Receiver=20\r\n"
                                "Counter_Source=30\r\n"
                                "[Source]\r\nId=3\r\nName_Source=Учёт\r\nId_Connection_Types=\r\n"
                                "[Receiver]\r\nId=4\r\nName_Receiver=Склад\r\n"
                                "[Connection]\r\nId=5\r\nName_Connection=Связь\r\nStatus=\r\n"
                                "Time_Update=\r\nUpdated=\r\nMonday=\r\nSaturday=\r\n"
                                "TimeStart=\r\nTimeEnd=\r\n";
        WriteSettings(text);
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            QVERIFY(service.Loaded());
            QCOMPARE(service.Counters().Counter_Connection, 10);
            QCOMPARE(service.Counters().Counter_Receiver, 20);
            QCOMPARE(service.Counters().Counter_Source, 30);
            const auto field = [&](RecordSet& table, const QString& name) {
                return table.FieldByName(name);
            };
            QCOMPARE(field(dm.Source, Fields::Source::Id).AsInteger(), 3);
            QCOMPARE(field(dm.Source, Fields::Source::Name_Source).AsString(),
                     QStringLiteral("Учёт"));
            QVERIFY(field(dm.Source, Fields::Source::Id_Connection_Types).IsNull());
            QCOMPARE(field(dm.Receiver, Fields::Receiver::Id).AsInteger(), 4);
            QCOMPARE(field(dm.Receiver, Fields::Receiver::Name_Receiver).AsString(),
                     QStringLiteral("Склад"));
            QCOMPARE(field(dm.Connection, Fields::Connection::Id).AsInteger(), 5);
            QCOMPARE(field(dm.Connection, Fields::Connection::Name_Connection).AsString(),
                     QStringLiteral("Связь"));
            QCOMPARE(field(dm.Connection, Fields::Connection::Status).AsInteger(),
                     int(NotUpdating));
            for (const QString& name :
                 {Fields::Connection::Time_Update, Fields::Connection::Updated,
                  Fields::Connection::Monday, Fields::Connection::Tuesday,
                  Fields::Connection::Saturday, Fields::Connection::Sunday,
                  Fields::Connection::TimeStart, Fields::Connection::TimeEnd})
                QVERIFY2(field(dm.Connection, name).IsNull(), qPrintable(name));
        }
        // And so the end writes them back empty.
        const ProfileFile file(SettingsPath());
        for (const QString& key : {Fields::Connection::Time_Update, Fields::Connection::Updated,
                                   Fields::Connection::Monday, Fields::Connection::Saturday,
                                   Fields::Connection::TimeStart})
            QCOMPARE(file.ReadString(QStringLiteral("Connection"), key, QStringLiteral("missing")),
                     QString());
        QCOMPARE(
            file.ReadString(QStringLiteral("Counter_Id"), QStringLiteral("Counter_Connection")),
            QStringLiteral("10"));
    }

    void failedSaveAtTheEndIsShown() {
        WriteSettings("[Counter_Id]\r\nCounter_Receiver=0\r\n");
        {
            TDm dm;
            TSynchronization_Service service(dm, Environment());
            QVERIFY(service.Loaded());
            // A folder where the file was: nothing can be written there any more.
            QVERIFY(QFile::remove(SettingsPath()));
            QVERIFY(QDir().mkdir(SettingsPath()));
            QVERIFY(!service.SaveAtEnd());
            QVERIFY(!service.SaveAtEnd());
        }
        QVERIFY(QDir().rmdir(SettingsPath()));
        QCOMPARE(prompts_.Messages().size(), 1);
        QCOMPARE(prompts_.Messages().first().Kind, DialogKind::Error);
        const QString text = prompts_.Messages().first().Text;
        QVERIFY2(
            text.startsWith(QStringLiteral("Настройки не сохранены при завершении программы: ")),
            qPrintable(text));
        QVERIFY2(text.endsWith(SettingsPath()), qPrintable(text));
    }

    void settingsFileIsFoundWhateverItsLetterCase_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("used");
        QTest::newRow("windows capitals")
            << QStringList{"CORVANE.INI"} << QStringLiteral("CORVANE.INI");
        QTest::newRow("lower case") << QStringList{"corvane.ini"} << QStringLiteral("corvane.ini");
        QTest::newRow("exact name first")
            << QStringList{"CORVANE.INI", "Corvane.ini"} << QStringLiteral("Corvane.ini");
        QTest::newRow("several variants") << QStringList{"CORVANE.INI", "corvane.ini"} << QString();
    }
    void settingsFileIsFoundWhateverItsLetterCase() {
        QFETCH(QStringList, names);
        QFETCH(QString, used);
        QTemporaryDir folder;
        for (const QString& name : names) {
            QFile file(folder.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[Receiver]\r\nId=4\r\nName_Receiver=" + name.toUtf8() + "\r\n");
        }
        ServiceEnvironment environment = Environment();
        environment.ProgramFolder = folder.path();
        {
            TDm dm;
            TSynchronization_Service service(dm, environment);
            if (used.isEmpty()) {
                QVERIFY(!service.Loaded());
                QCOMPARE(
                    service.LoadError(),
                    QStringLiteral("В папке %1 нет файла Corvane.ini, но есть несколько файлов "
                                   "с этим именем в другом регистре букв: CORVANE.INI, "
                                   "corvane.ini. Оставьте один из них.")
                        .arg(folder.path()));
            } else {
                QVERIFY(service.Loaded());
                QCOMPARE(service.SettingsPath(), folder.filePath(used));
                QCOMPARE(dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).AsString(), used);
                dm.Receiver.Insert();
                dm.Receiver.Post();
            }
        }
        QStringList present = QDir(folder.path()).entryList(QDir::Files, QDir::Name);
        present.removeAll(QStringLiteral("Corvane.lock"));
        names.sort();
        QCOMPARE(present, names);
        if (!used.isEmpty())
            QCOMPARE(ProfileFile(folder.filePath(used))
                         .ReadString(QStringLiteral("Receiver"), Fields::Receiver::Id),
                     QStringLiteral("4`5"));
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

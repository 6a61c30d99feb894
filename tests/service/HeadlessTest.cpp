#include "DemoFolder.h"

#include "support/DatabaseFixtures.h"
#include "support/FileBytes.h"
#include "support/TestPaths.h"

#include "core/PasswordCipher.h"

#include "core/TableFields.h"
#include "demo/DemoData.h"
#include "platform/Clock.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"
#include "service/HeadlessPrompts.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

using Feed = DemoData::Feed;
Q_DECLARE_METATYPE(DialogButtons)

namespace {

QString Program() {
    return TestPaths::BinaryDir() + QStringLiteral("/src/app/corvane");
}

// The program without a window on a folder; its standard error is collected as it comes.
std::unique_ptr<QProcess> StartHeadless(const QString& folder) {
    auto process = std::make_unique<QProcess>();
    process->setProgram(Program());
    process->setArguments({QStringLiteral("--headless"), QStringLiteral("--folder"), folder,
                           QStringLiteral("RunAll")});
    process->setReadChannel(QProcess::StandardError);
    process->start();
    return process;
}

QString ErrorOutput(QProcess& process) {
    return QString::fromUtf8(process.readAllStandardError());
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QThread::msleep(200);
    }
    return condition();
}

// Collects the program's standard error into errors until it holds the text.
bool WaitForErrorOutput(QProcess& process, const QString& text, QString& errors, int timeoutMs) {
    return WaitFor(
        [&] {
            process.waitForReadyRead(100);
            errors += ErrorOutput(process);
            return errors.contains(text);
        },
        timeoutMs);
}

} // namespace

class HeadlessTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;
    QString folder_;
    std::unique_ptr<DemoData> data_;
    QByteArray builtSettings_;

    QString LogPath() const { return QDir(folder_).filePath(QStringLiteral("Log/Logs.txt")); }
    // The log lines written since the log had size bytes.
    QStringList LogLinesAfter(qint64 size) const {
        return QString::fromUtf8(FileBytes::Read(LogPath()).mid(size))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    // Waits until the receiver holds exactly what its source gives in the round.
    void WaitForReceiverAt(Feed feed, int round) {
        const QMap<int, double> expected = DemoData::RoundQuantities(feed, round);
        QCOMPARE(data_->SourceQuantities(feed), expected);
        QMap<int, double> received;
        WaitFor(
            [&] {
                received = data_->ReceiverQuantities(feed);
                return received == expected;
            },
            60000);
        QCOMPARE(received, expected);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(root_.isValid());
        QVERIFY2(QFileInfo(Program()).isExecutable(), qPrintable(Program()));
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
        folder_ = root_.filePath(QStringLiteral("program"));
        data_ = std::make_unique<DemoData>(folder_);
        builtSettings_ = DemoFolder::Install(*data_, folder_);
    }
    void init() { FileBytes::Write(data_->SettingsPath(), builtSettings_); }

    void followsTheSourcesCycleAfterCycleAndEndsInOrder() {
        const qint64 logSize = QFileInfo(LogPath()).size();
        data_->WriteSourceBalances(1);
        const auto program = StartHeadless(folder_);
        QVERIFY(program->waitForStarted(10000));
        WaitForReceiverAt(Feed::Sql, 1);
        data_->WriteSourceBalances(2);
        WaitForReceiverAt(Feed::Sql, 2);
        // The 1C transfer pauses 30 s before it reads the balances, so its first cycle
        // already meets round 2.
        WaitForReceiverAt(Feed::OneC, 2);

        QCOMPARE(program->state(), QProcess::Running);
        ::kill(pid_t(program->processId()), SIGTERM);
        QVERIFY(program->waitForFinished(20000));
        const QString errors = ErrorOutput(*program);
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QVERIFY2(program->exitCode() == 0, qPrintable(errors));
        QVERIFY2(errors.contains(LogPath()), qPrintable(errors));

        const ProfileFile settings(data_->SettingsPath());
        const auto value = [&](const char* section, const QString& key) {
            return settings.ReadString(QString::fromLatin1(section), key);
        };
        QCOMPARE(value("Connection", Fields::Connection::Id), QStringLiteral("1`2"));
        QCOMPARE(value("Connection", Fields::Connection::Status), QStringLiteral("0`0"));
        QCOMPARE(value("Connection", Fields::Connection::Name_Connection),
                 QStringLiteral("SQLite - Firebird`1С - Firebird"));
        QCOMPARE(value("Counter_Id", "Counter_Connection"), QStringLiteral("2"));
        // The cycles stamped their end; the passwords stay enciphered.
        QVERIFY(!value("Connection", Fields::Connection::Update_Time).startsWith(u'`'));
        QVERIFY(!value("Connection", Fields::Connection::Update_Time).endsWith(u'`'));
        QVERIFY(!value("Receiver", Fields::Receiver::Connection_String)
                     .contains(QStringLiteral("masterkey")));
        QVERIFY(
            !value("Source", Fields::Source::Connection_String).contains(QStringLiteral("секрет")));
        QVERIFY(!value("Connection_Types", Fields::Connection_Types::Name).isEmpty());

        const QStringList lines = LogLinesAfter(logSize);
        const QRegularExpression stamped(
            QStringLiteral(R"(^\d\d\.\d\d\.\d{4} \d{1,2}:\d\d:\d\d  \S)"));
        for (const QString& line : lines)
            QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
        for (const char* name : {"SQLite - Firebird", "1С - Firebird"}) {
            const QString connection =
                QStringLiteral("  Соединение с именем \"%1\" ").arg(QString::fromUtf8(name));
            for (const char* event : {"было запущенно.", "обновилось.", "было остановлено."}) {
                const QString sentence = connection + QString::fromUtf8(event);
                QVERIFY2(lines.filter(sentence).size() >= 1, qPrintable(sentence));
            }
            // Stopped once, as the last word of the connection.
            const QStringList own = lines.filter(connection);
            QVERIFY2(own.last().endsWith(QStringLiteral("было остановлено.")),
                     qPrintable(own.last()));
        }
    }

    // The SQL source becomes a PostgreSQL query that sleeps for ten minutes: the end of the
    // program cuts it short on the server, and the program is gone at once.
    void endsAtOnceWithAWorkerStuckInAQuery() {
        DatabaseFixtures databases;
        const QString source = databases.CreatePostgreSql(QStringLiteral("stuck"));
        const QString tag = QUuid::createUuid().toString(QUuid::Id128);
        const QString password = DatabaseFixtures::PostgreSqlPassword();
        ProfileFile settings(data_->SettingsPath());
        const auto replaceSqlSource = [&](const QString& key, const QString& value) {
            const QString section = QStringLiteral("Source");
            QStringList values = settings.ReadString(section, key).split(u'`');
            const QStringList types =
                settings.ReadString(section, Fields::Shared::Id_Connection_Types).split(u'`');
            values[types.indexOf(QStringLiteral("1"))] = value;
            settings.WriteString(section, key, values.join(u'`'));
        };
        replaceSqlSource(Fields::Source::Connection_String,
                         QString(source).replace(QStringLiteral("PWD=") + password,
                                                 QStringLiteral("PWD=") +
                                                     PasswordCipher().EncipherPassword(password)));
        replaceSqlSource(
            Fields::Source::SQL_Query,
            QStringLiteral("select 1001 as Code, 1 as Quantity, '%1' as Tag from pg_sleep(600)")
                .arg(tag));
        settings.Save();
        const auto running = [&] { return DatabaseFixtures::RunningStatements(source, tag); };

        const auto program = StartHeadless(folder_);
        QVERIFY(program->waitForStarted(10000));
        QVERIFY2(WaitFor([&] { return running() == 1; }, 30000), qPrintable(ErrorOutput(*program)));
        QElapsedTimer ending;
        ending.start();
        ::kill(pid_t(program->processId()), SIGTERM);
        QVERIFY(program->waitForFinished(20000));

        QVERIFY2(ending.elapsed() <= 5000, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QVERIFY2(program->exitCode() == 0, qPrintable(ErrorOutput(*program)));
        QVERIFY(WaitFor([&] { return running() == 0; }, 2000));
    }

    void refusesASettingsFileThatDoesNotLoad_data() {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("error");
        QTest::newRow("integer") << QByteArray("Time_Update=0`0")
                                 << QByteArray("Time_Update=0`zwei")
                                 << QStringLiteral("'zwei' is not a valid integer value");
        QTest::newRow("date and time")
            << QByteArray("Update_Time=`") << QByteArray("Update_Time=`31.02.2026 10:00:00")
            << QStringLiteral("'31.02.2026 10:00:00' is not a valid date and time");
        QTest::newRow("field") << QByteArray("[Receiver]\n")
                               << QByteArray("[Receiver]\nColour=red`blue\n")
                               << QStringLiteral("Receiver: Field 'Colour' not found");
    }
    void refusesASettingsFileThatDoesNotLoad() {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, error);
        QByteArray broken = builtSettings_;
        if (broken.contains("\r\n")) {
            from.replace("\n", "\r\n");
            to.replace("\n", "\r\n");
        }
        QVERIFY(broken.contains(from));
        broken.replace(from, to);
        FileBytes::Write(data_->SettingsPath(), broken);
        const QMap<int, double> receiverBefore = data_->ReceiverQuantities(Feed::Sql);

        const auto program = StartHeadless(folder_);
        QVERIFY(program->waitForFinished(20000));
        const QString errors = ErrorOutput(*program);
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 1);
        QVERIFY2(errors.contains(error), qPrintable(errors));
        QCOMPARE(FileBytes::Read(data_->SettingsPath()), broken);
        // Nothing was started.
        data_->WriteSourceBalances(7);
        QTest::qWait(1000);
        QCOMPARE(data_->ReceiverQuantities(Feed::Sql), receiverBefore);
    }

    void refusesASecondInstanceOnTheSameFolder() {
        const auto first = StartHeadless(folder_);
        QVERIFY(first->waitForStarted(10000));
        QString firstErrors;
        QVERIFY(WaitForErrorOutput(*first, LogPath(), firstErrors, 20000));

        const auto second = StartHeadless(folder_);
        QVERIFY(second->waitForFinished(20000));
        const QString errors = ErrorOutput(*second);
        QCOMPARE(second->exitCode(), 2);
        QVERIFY2(errors.contains(QStringLiteral("уже работает с папкой ") + folder_),
                 qPrintable(errors));
        QVERIFY2(errors.contains(QString::number(first->processId())), qPrintable(errors));

        QCOMPARE(first->state(), QProcess::Running);
        ::kill(pid_t(first->processId()), SIGINT);
        QVERIFY(first->waitForFinished(20000));
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
    }

    void anErrorBoxGoesToTheLogAndStandardError() {
        // A table name that is no identifier stops the update with an error box.
        ProfileFile settings(data_->SettingsPath());
        settings.WriteString(QStringLiteral("Receiver"), Fields::Receiver::Name_Table,
                             QStringLiteral("Stock Balance`Stock_Balance"));
        settings.Save();
        const qint64 logSize = QFileInfo(LogPath()).size();
        const auto program = StartHeadless(folder_);
        QVERIFY(program->waitForStarted(10000));
        const QString box = QStringLiteral("Error: В процессе обновления у соединения "
                                           "\"SQLite - Firebird\" произошла следующая ошибка:");
        QString errors;
        QVERIFY(WaitForErrorOutput(*program, box, errors, 30000));
        ::kill(pid_t(program->processId()), SIGTERM);
        QVERIFY(program->waitForFinished(20000));
        errors += ErrorOutput(*program);
        QCOMPARE(program->exitCode(), 0);

        // The box's lines, separated by carriage returns, become lines of their own.
        const QStringList errorLines = errors.split(u'\n');
        const qsizetype boxLine = errorLines.indexOf(box);
        QVERIFY2(boxLine >= 0 && boxLine + 2 < errorLines.size(), qPrintable(errors));
        QCOMPARE(errorLines.at(boxLine + 1), QString());
        QVERIFY(errorLines.at(boxLine + 2).contains(QStringLiteral("Stock Balance")));
        const QStringList logLines = LogLinesAfter(logSize);
        const QStringList logged = logLines.filter(QStringLiteral("  ") + box);
        QCOMPARE(logged.size(), 1);
        QVERIFY(logLines.contains(errorLines.at(boxLine + 2)));
    }

    void failedSaveAtTheEndIsReportedWithItsExitCode() {
        const auto program = StartHeadless(folder_);
        QVERIFY(program->waitForStarted(10000));
        QString errors;
        QVERIFY(WaitForErrorOutput(*program, LogPath(), errors, 20000));
        const qint64 logSize = QFileInfo(LogPath()).size();
        // A folder in the file's place: the end cannot write the configuration. A status post
        // may put the file back between the remove and the mkdir, so it is tried again.
        bool replaced = false;
        for (int attempt = 0; attempt < 100 && !replaced; ++attempt) {
            QFile::remove(data_->SettingsPath());
            replaced = QDir().mkdir(data_->SettingsPath());
        }
        QVERIFY(replaced);
        ::kill(pid_t(program->processId()), SIGTERM);
        const bool finished = program->waitForFinished(20000);
        errors += ErrorOutput(*program);
        QVERIFY(QDir().rmdir(data_->SettingsPath()));
        QVERIFY(finished);
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QVERIFY2(program->exitCode() == 3, qPrintable(errors));
        const QString box = QStringLiteral("Error: Настройки не сохранены при завершении "
                                           "программы: ");
        const QStringList errorLines = errors.split(u'\n').filter(box);
        QCOMPARE(errorLines.size(), 1);
        QVERIFY2(errorLines.first().contains(data_->SettingsPath()), qPrintable(errors));
        QCOMPARE(LogLinesAfter(logSize).filter(QStringLiteral("  ") + errorLines.first()).size(),
                 1);
    }

    void settingsFileIsFoundWhateverItsLetterCase_data() {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("copied from windows") << QStringList{"CORVANE.INI"};
        QTest::newRow("two spellings") << QStringList{"CORVANE.INI", "corvane.ini"};
    }
    void settingsFileIsFoundWhateverItsLetterCase() {
        QFETCH(QStringList, names);
        QVERIFY(QFile::remove(data_->SettingsPath()));
        for (const QString& name : names)
            FileBytes::Write(QDir(folder_).filePath(name), builtSettings_);
        const auto removeVariants = qScopeGuard([&] {
            for (const QString& name : names)
                QFile::remove(QDir(folder_).filePath(name));
        });
        data_->WriteSourceBalances(3);
        const auto program = StartHeadless(folder_);
        QVERIFY(program->waitForStarted(10000));
        if (names.size() == 1) {
            WaitForReceiverAt(Feed::Sql, 3);
            ::kill(pid_t(program->processId()), SIGTERM);
        }
        QVERIFY(program->waitForFinished(20000));
        const QString errors = ErrorOutput(*program);
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QVERIFY(!QFileInfo::exists(data_->SettingsPath()));
        if (names.size() == 1) {
            QVERIFY2(program->exitCode() == 0, qPrintable(errors));
            // The end wrote into the file it read.
            const ProfileFile settings(QDir(folder_).filePath(names.first()));
            const QString stamps =
                settings.ReadString(QStringLiteral("Connection"), Fields::Connection::Update_Time);
            QVERIFY2(!stamps.startsWith(u'`'), qPrintable(stamps));
        } else {
            QCOMPARE(program->exitCode(), 1);
            QVERIFY2(errors.contains(QStringLiteral("несколько файлов с этим именем в другом "
                                                    "регистре букв: CORVANE.INI, corvane.ini")),
                     qPrintable(errors));
            for (const QString& name : names)
                QCOMPARE(FileBytes::Read(QDir(folder_).filePath(name)), builtSettings_);
        }
    }

    void promptsTakeTheAnswerThatKeepsTheWorkGoing_data() {
        QTest::addColumn<bool>("systemBox");
        QTest::addColumn<int>("kind");
        QTest::addColumn<DialogButtons>("buttons");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("title");
        QTest::newRow("information")
            << false << int(DialogKind::Information) << DialogButtons{DialogButton::Yes}
            << int(DialogButton::Yes) << QStringLiteral("Information");
        QTest::newRow("warning") << false << int(DialogKind::Warning)
                                 << DialogButtons{DialogButton::Yes} << int(DialogButton::Yes)
                                 << QStringLiteral("Warning");
        QTest::newRow("error") << false << int(DialogKind::Error) << DialogButtons{DialogButton::Ok}
                               << int(DialogButton::Ok) << QStringLiteral("Error");
        QTest::newRow("confirmation") << false << int(DialogKind::Confirmation)
                                      << DialogButtons{DialogButton::Yes, DialogButton::No}
                                      << int(DialogButton::No) << QStringLiteral("Confirm");
        QTest::newRow("ok or cancel") << false << int(DialogKind::Confirmation)
                                      << DialogButtons{DialogButton::Ok, DialogButton::Cancel}
                                      << int(DialogButton::Cancel) << QStringLiteral("Confirm");
        QTest::newRow("system question")
            << true << 0 << DialogButtons{DialogButton::Yes, DialogButton::No}
            << int(DialogButton::No) << QStringLiteral("Сервис синхронизаций");
    }
    void promptsTakeTheAnswerThatKeepsTheWorkGoing() {
        QFETCH(bool, systemBox);
        QFETCH(int, kind);
        QFETCH(DialogButtons, buttons);
        QFETCH(int, answer);
        QFETCH(QString, title);
        QTemporaryDir folder;
        VirtualClock clock(QDateTime(QDate(2026, 3, 2), QTime(7, 5, 9)));
        std::FILE* errorStream = std::tmpfile();
        QVERIFY(errorStream);
        HeadlessPrompts prompts(folder.path(), clock, errorStream);
        const QString text = QStringLiteral("Первая строка\rВторая строка");

        const DialogButton given = systemBox ? prompts.SystemMessageBox(text, buttons)
                                             : prompts.MessageDlg(text, DialogKind(kind), buttons);
        QCOMPARE(int(given), answer);
        clock.Advance(1000);
        prompts.MessageDlg(QStringLiteral("Ещё"), DialogKind::Information, {DialogButton::Yes});

        QCOMPARE(QString::fromUtf8(FileBytes::Read(prompts.LogPath())),
                 QStringLiteral("02.03.2026 7:05:09  %1: Первая строка\r\nВторая строка\r\n"
                                "02.03.2026 7:05:10  Information: Ещё\r\n")
                     .arg(title));
        std::rewind(errorStream);
        char buffer[512] = {};
        const size_t read = std::fread(buffer, 1, sizeof buffer - 1, errorStream);
        std::fclose(errorStream);
        QCOMPARE(QString::fromUtf8(buffer, qsizetype(read)),
                 QStringLiteral("%1: Первая строка\nВторая строка\nInformation: Ещё\n").arg(title));
    }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "HeadlessTest.moc"

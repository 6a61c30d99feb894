#include "DemoFolder.h"

#include "support/FileBytes.h"
#include "support/TestPaths.h"

#include "core/ConnectionStatus.h"
#include "core/TableFields.h"
#include "demo/DemoData.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"
#include "service/MonitorEvent.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString kSqlConnection = QStringLiteral("SQLite - Firebird");
const QStringList kPasswords = {QStringLiteral("masterkey"), QStringLiteral("секрет")};

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QTest::qWait(200);
    }
    return condition();
}

// Replaces to in one step, as QFile::rename does not.
bool RenameOver(const QString& from, const QString& to) {
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

struct Answer {
    int status = 0;
    QByteArray body;
};

Answer Request(const QByteArray& verb, const QString& url) {
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(
        network.sendCustomRequest(QNetworkRequest(QUrl(url)), verb));
    WaitFor([&] { return reply->isFinished(); }, 10000);
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

// The datagram socket systemd would listen on, at path.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path)
        : path_(path) {
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                     sizeof address.sun_path - 1);
        bound_ = ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { ::close(socket_); }
    bool Bound() const { return bound_; }
    // Every message received so far, joined by newlines.
    QString Received() {
        char buffer[4096];
        for (ssize_t size; (size = ::recv(socket_, buffer, sizeof buffer, 0)) > 0;)
            received_ += QString::fromUtf8(buffer, size) + u'\n';
        return received_;
    }

private:
    QString path_;
    int socket_ = -1;
    bool bound_ = false;
    QString received_;
};

// How the program is started; the defaults are the headless service with its status
// server and the recording alert program.
struct Launch {
    bool window = false;
    QStringList options; // before "RunAll"
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QStringList alertCommand; // the recording program unless set
    QString errorFile;        // standard error goes there instead of the test's
};

} // namespace

class UnattendedTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;
    QString folder_;
    std::unique_ptr<DemoData> data_;
    QByteArray builtSettings_;
    quint16 port_ = 0;
    QString alertsPath_;

    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }

    std::unique_ptr<QProcess> Start(Launch launch = {}) {
        port_ = FreePort();
        if (launch.alertCommand.isEmpty())
            launch.alertCommand = {QStringLiteral("/usr/bin/python3"),
                                   TestPaths::SourceDir() +
                                       QStringLiteral("/tests/service/record_alert.py"),
                                   alertsPath_};
        QStringList arguments;
        if (launch.window) {
            // A runtime folder of its own, so that no other window of this user is found.
            const QString runtime = root_.filePath(QStringLiteral("runtime"));
            QDir().mkpath(runtime);
            QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner);
            launch.environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
            launch.environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                                      QStringLiteral("offscreen"));
        } else {
            arguments << QStringLiteral("--headless");
        }
        arguments << QStringLiteral("--folder") << folder_ << QStringLiteral("--status")
                  << QStringLiteral("127.0.0.1:%1").arg(port_) << launch.options
                  << QStringLiteral("RunAll") << QStringLiteral("--on-event")
                  << launch.alertCommand;
        auto program = std::make_unique<QProcess>();
        program->setProcessEnvironment(launch.environment);
        program->setProgram(TestPaths::BinaryDir() + QStringLiteral("/src/app/corvane"));
        program->setArguments(arguments);
        if (launch.errorFile.isEmpty())
            program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        else
            program->setStandardErrorFile(launch.errorFile);
        program->start();
        [&] { QVERIFY(program->waitForStarted(10000)); }();
        WaitFor([&] { return Request("GET", Url(QStringLiteral("/health"))).status == 200; },
                20000);
        return program;
    }

    static void End(QProcess& program) {
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
    }

    // The samples of one connection's metrics, parsed by the Prometheus client library.
    QMap<QString, double> Metrics(const QString& connection) const {
        QProcess scrape;
        scrape.start(QStringLiteral("/usr/bin/python3"),
                     {TestPaths::SourceDir() + QStringLiteral("/tests/service/scrape_metrics.py"),
                      Url(QStringLiteral("/metrics"))});
        scrape.waitForFinished(20000);
        [&] { QVERIFY2(scrape.exitCode() == 0, scrape.readAllStandardError().constData()); }();
        QMap<QString, double> values;
        const QJsonArray samples =
            QJsonDocument::fromJson(scrape.readAllStandardOutput())[QStringLiteral("samples")]
                .toArray();
        for (const QJsonValue& sample : samples) {
            const QJsonObject labels = sample[QStringLiteral("labels")].toObject();
            if (labels.isEmpty() || labels[QStringLiteral("name")].toString() == connection)
                values.insert(sample[QStringLiteral("name")].toString(),
                              sample[QStringLiteral("value")].toDouble());
        }
        return values;
    }

    QList<QJsonObject> Alerts() const {
        QFile file(alertsPath_);
        QList<QJsonObject> alerts;
        if (!file.open(QIODevice::ReadOnly))
            return alerts;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                alerts.append(QJsonDocument::fromJson(line).object());
        return alerts;
    }

    // The position of the first alert of that kind, for that connection unless empty; -1 when
    // none came.
    qsizetype AlertIndex(const QString& kind, const QString& connection = QString()) const {
        const QList<QJsonObject> alerts = Alerts();
        for (qsizetype i = 0; i < alerts.size(); ++i) {
            const QJsonObject environment = alerts[i][QStringLiteral("environment")].toObject();
            if (environment[QStringLiteral("CORVANE_EVENT")].toString() == kind &&
                (connection.isEmpty() ||
                 environment[QStringLiteral("CORVANE_CONNECTION")].toString() == connection))
                return i;
        }
        return -1;
    }

    static void VerifyNoPassword(const QByteArray& text) {
        for (const QString& password : kPasswords)
            QVERIFY2(!QString::fromUtf8(text).contains(password), text.constData());
    }

    void ChangeSetting(const QString& section, const QString& key, const QString& first) {
        ProfileFile settings(data_->SettingsPath());
        QStringList values = settings.ReadString(section, key, QString()).split(u'`');
        values[0] = first;
        settings.WriteString(section, key, values.join(u'`'));
        settings.Save();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(root_.isValid());
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
        folder_ = root_.filePath(QStringLiteral("program"));
        data_ = std::make_unique<DemoData>(folder_);
        builtSettings_ = DemoFolder::Install(*data_, folder_);
        alertsPath_ = root_.filePath(QStringLiteral("alerts.jsonl"));
    }
    void init() {
        FileBytes::Write(data_->SettingsPath(), builtSettings_);
        QFile::remove(alertsPath_);
    }

    void reportsTheCyclesOverHttpAndToSystemd_data() {
        QTest::addColumn<bool>("window");
        QTest::newRow("headless") << false;
        QTest::newRow("with its window") << true;
    }
    void reportsTheCyclesOverHttpAndToSystemd() {
        QFETCH(bool, window);
        QFile::remove(root_.filePath(QStringLiteral("notify")));
        NotifySocket systemd(root_.filePath(QStringLiteral("notify")));
        QVERIFY(systemd.Bound());
        Launch launch;
        launch.window = window;
        launch.environment.insert(QStringLiteral("NOTIFY_SOCKET"),
                                  root_.filePath(QStringLiteral("notify")));
        launch.environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("1000000"));
        data_->WriteSourceBalances(1);
        const qint64 startedAt = QDateTime::currentSecsSinceEpoch();
        const auto program = Start(launch);
        QMap<QString, double> metrics;
        QVERIFY(WaitFor(
            [&] {
                metrics = Metrics(kSqlConnection);
                return metrics.value(
                           QStringLiteral("corvane_connection_last_success_timestamp_seconds")) > 0;
            },
            60000));
        const qint64 scrapedAt = QDateTime::currentSecsSinceEpoch();
        QCOMPARE(metrics.value(QStringLiteral("corvane_connection_status")), double(Updating));
        const double lastSuccess =
            metrics.value(QStringLiteral("corvane_connection_last_success_timestamp_seconds"));
        QVERIFY2(lastSuccess >= startedAt && lastSuccess <= scrapedAt + 1,
                 qPrintable(QString::number(lastSuccess)));
        QCOMPARE(metrics.value(QStringLiteral("corvane_connection_worker_running")), 1.0);
        QCOMPARE(metrics.value(QStringLiteral("corvane_connection_consecutive_failures")), 0.0);
        QCOMPARE(metrics.value(QStringLiteral("corvane_connections_running")), 2.0);
        QCOMPARE(metrics.value(QStringLiteral("corvane_settings_last_save_success")), 1.0);

        const Answer status = Request("GET", Url(QStringLiteral("/status")));
        QCOMPARE(status.status, 200);
        const QJsonArray connections =
            QJsonDocument::fromJson(status.body)[QStringLiteral("connections")].toArray();
        QCOMPARE(connections.size(), 2);
        QCOMPARE(connections[0][QStringLiteral("name")].toString(), kSqlConnection);
        QVERIFY(!connections[0][QStringLiteral("statusCaption")].toString().isEmpty());

        // Nothing but GET on the three paths; no answer carries a password.
        QCOMPARE(Request("POST", Url(QStringLiteral("/metrics"))).status, 404);
        QCOMPARE(Request("GET", Url(QStringLiteral("/metrics/x"))).status, 404);
        QCOMPARE(Request("GET", Url(QStringLiteral("/"))).status, 404);
        for (const char* path : {"/metrics", "/status", "/health"})
            VerifyNoPassword(Request("GET", Url(QString::fromLatin1(path))).body);

        QVERIFY(WaitFor([&] { return systemd.Received().contains(QStringLiteral("WATCHDOG=1")); },
                        5000));
        const QString notified = systemd.Received();
        QVERIFY2(notified.contains(QStringLiteral("READY=1")), qPrintable(notified));
        QVERIFY2(notified.contains(QStringLiteral("STATUS=Соединений работает: 2")),
                 qPrintable(notified));
        End(*program);
        QVERIFY2(systemd.Received().contains(QStringLiteral("STOPPING=1")),
                 qPrintable(systemd.Received()));
        QVERIFY(WaitFor([&] { return Alerts().size() >= 2; }, 10000));
        QCOMPARE(Alerts()
                     .first()[QStringLiteral("environment")][QStringLiteral("CORVANE_EVENT")]
                     .toString(),
                 QStringLiteral("service-started"));
        QCOMPARE(Alerts()
                     .last()[QStringLiteral("environment")][QStringLiteral("CORVANE_EVENT")]
                     .toString(),
                 QStringLiteral("service-ended"));
    }

    void aBrokenConnectionShowsInTheFiguresAndReachesThePerson_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<ConnectionStatus>("status");
        QTest::addColumn<double>("minFailures");
        QTest::addColumn<double>("maxFailures");
        QTest::addColumn<double>("workerRunning");
        QTest::addColumn<QString>("alert");
        QTest::newRow("source query fails, receiver cleared by the attempt limit")
            << QStringLiteral("Source") << Fields::Source::SQL_Query
            << QStringLiteral("select * from No_Such_Table") << ConnectError << 1.0 << qInf() << 1.0
            << QStringLiteral("receiver-cleared-by-attempt-limit");
        QTest::newRow("update error ends the worker")
            << QStringLiteral("Receiver") << Fields::Receiver::Name_Table
            << QStringLiteral("Stock Balance") << UpdateError << 0.0 << 0.0 << 0.0
            << QStringLiteral("update-error");
    }
    void aBrokenConnectionShowsInTheFiguresAndReachesThePerson() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(ConnectionStatus, status);
        QFETCH(double, minFailures);
        QFETCH(double, maxFailures);
        QFETCH(double, workerRunning);
        QFETCH(QString, alert);
        ChangeSetting(section, key, value);
        ChangeSetting(QStringLiteral("Settings"), QStringLiteral("NumberAttempts"),
                      QStringLiteral("0"));
        const auto program = Start();
        QVERIFY(WaitFor([&] { return AlertIndex(alert) >= 0; }, 60000));
        const QJsonObject record = Alerts()[AlertIndex(alert)];
        const QJsonObject environment = record[QStringLiteral("environment")].toObject();
        QCOMPARE(environment[QStringLiteral("CORVANE_CONNECTION")].toString(), kSqlConnection);
        QCOMPARE(environment[QStringLiteral("CORVANE_CONNECTION_ID")].toString(),
                 QStringLiteral("1"));
        QVERIFY(!environment[QStringLiteral("CORVANE_RECEIVER")].toString().isEmpty());
        QVERIFY(!environment[QStringLiteral("CORVANE_TIME")].toString().isEmpty());
        const QJsonObject input =
            QJsonDocument::fromJson(record[QStringLiteral("input")].toString().toUtf8()).object();
        QCOMPARE(input[QStringLiteral("kind")].toString(), alert);
        QCOMPARE(input[QStringLiteral("message")].toString(),
                 environment[QStringLiteral("CORVANE_MESSAGE")].toString());
        QVERIFY(!input[QStringLiteral("message")].toString().isEmpty());

        // The alert may come before the worker reports its error.
        QMap<QString, double> metrics;
        QVERIFY(WaitFor(
            [&] {
                metrics = Metrics(kSqlConnection);
                return metrics.value(QStringLiteral("corvane_connection_status")) == double(status);
            },
            20000));
        // With a period of 0 a cleared connection fails again at once: every failure counts. An
        // update error is not a counted failure, and it ends the worker at the first one.
        const double failures =
            metrics.value(QStringLiteral("corvane_connection_consecutive_failures"));
        QVERIFY2(failures >= minFailures && failures <= maxFailures,
                 qPrintable(QString::number(failures)));
        QCOMPARE(metrics.value(QStringLiteral("corvane_connection_worker_running")), workerRunning);
        QCOMPARE(metrics.value(QStringLiteral(
                     "corvane_connection_receiver_clears_by_attempt_limit_total")) > 0,
                 alert == QStringLiteral("receiver-cleared-by-attempt-limit"));
        End(*program);
        QFile alerts(alertsPath_);
        QVERIFY(alerts.open(QIODevice::ReadOnly));
        VerifyNoPassword(alerts.readAll());
    }

    void healthTurnsUnavailableWhileTheMainThreadIsBlocked() {
        const auto program = Start();
        QCOMPARE(Request("GET", Url(QStringLiteral("/health"))).status, 200);
        // A log file that hangs, as on a stuck network share: the next event's open waits.
        const QString log = QDir(folder_).filePath(QStringLiteral("Log/Logs.txt"));
        // Put in place by rename: the program may write the log between a remove and a mkfifo.
        const QString fifo = log + QStringLiteral(".fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(RenameOver(fifo, log));
        Answer health;
        QVERIFY(WaitFor(
            [&] {
                health = Request("GET", Url(QStringLiteral("/health")));
                return health.status == 503;
            },
            30000));
        QVERIFY2(health.body.contains("main thread"), health.body.constData());
        QCOMPARE(Metrics(kSqlConnection).value(QStringLiteral("corvane_main_thread_responsive")),
                 0.0);

        // A reader and a writer at once: the program's opens go through again.
        const int pipe = ::open(QFile::encodeName(log).constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(pipe >= 0);
        char drain[65536];
        QVERIFY(WaitFor(
            [&] {
                while (::read(pipe, drain, sizeof drain) > 0) {
                }
                return Request("GET", Url(QStringLiteral("/health"))).status == 200;
            },
            30000));
        QFile::remove(log);
        ::close(pipe);
        End(*program);
    }

    void staleDataAndItsEndReachThePerson() {
        // A cleared connection tries again at once, so the restored source is read soon.
        ChangeSetting(QStringLiteral("Settings"), QStringLiteral("NumberAttempts"),
                      QStringLiteral("0"));
        constexpr double kStaleSeconds = 6;
        Launch launch;
        launch.options = {QStringLiteral("--alert-stale"),
                          QString::number(kStaleSeconds / 60, 'f', 2)};
        const auto program = Start(launch);
        QVERIFY(WaitFor(
            [&] {
                return Metrics(kSqlConnection)
                           .value(QStringLiteral(
                               "corvane_connection_last_success_timestamp_seconds")) > 0;
            },
            60000));

        // The source stops answering: its database file is gone.
        const QString source = QDir(folder_).filePath(QStringLiteral("source.sqlite"));
        const QString away = source + QStringLiteral(".away");
        QVERIFY(QFile::rename(source, away));
        // Put back in one step over whatever the driver made in its place.
        const auto putBack = [&] { return RenameOver(away, source); };
        auto restore = qScopeGuard([&] { putBack(); });
        QVERIFY(
            WaitFor([&] { return AlertIndex(MonitorEvent::Stale, kSqlConnection) >= 0; }, 60000));
        QVERIFY(Metrics(kSqlConnection)
                    .value(QStringLiteral("corvane_connection_seconds_since_last_success")) >=
                kStaleSeconds);
        const QJsonObject stale = Alerts()[AlertIndex(MonitorEvent::Stale, kSqlConnection)];
        QCOMPARE(stale[QStringLiteral("environment")][QStringLiteral("CORVANE_CONNECTION_ID")]
                     .toString(),
                 QStringLiteral("1"));
        QCOMPARE(AlertIndex(MonitorEvent::Fresh, kSqlConnection), -1);

        restore.dismiss();
        QVERIFY(putBack());
        QVERIFY(
            WaitFor([&] { return AlertIndex(MonitorEvent::Fresh, kSqlConnection) >= 0; }, 60000));
        QVERIFY(AlertIndex(MonitorEvent::Fresh, kSqlConnection) >
                AlertIndex(MonitorEvent::Stale, kSqlConnection));
        End(*program);
    }

    void healthTurnsUnavailableWhenTheSettingsFileIsNotSaved() {
        const auto program = Start();
        // Every successful update saves the connection's row.
        QVERIFY(WaitFor(
            [&] {
                return Metrics(kSqlConnection)
                           .value(QStringLiteral(
                               "corvane_connection_last_success_timestamp_seconds")) > 0;
            },
            60000));
        QCOMPARE(Request("GET", Url(QStringLiteral("/health"))).status, 200);

        // The file becomes a link into a folder that is not there, put in place in one step:
        // every save fails, whoever runs the test.
        const QString settings = data_->SettingsPath();
        const QString kept = root_.filePath(QStringLiteral("kept.ini"));
        QFile::remove(kept);
        QVERIFY(QFile::copy(settings, kept));
        const auto putBack = [&] {
            const QString back = settings + QStringLiteral(".back");
            QFile::remove(back);
            return QFile::copy(kept, back) && RenameOver(back, settings);
        };
        auto restore = qScopeGuard([&] { putBack(); });
        const QString link = settings + QStringLiteral(".link");
        const auto putLink = [&] {
            QFile::remove(link);
            return QFile::link(root_.filePath(QStringLiteral("missing/Corvane.ini")), link) &&
                   RenameOver(link, settings);
        };
        QVERIFY(putLink());
        Answer health;
        QVERIFY(WaitFor(
            [&] {
                // A save already under way when the link went in puts a file back in its place.
                if (!QFileInfo(settings).isSymLink() && !putLink())
                    return false;
                health = Request("GET", Url(QStringLiteral("/health")));
                return health.status == 503;
            },
            60000));
        QVERIFY2(health.body.contains("settings file not saved"), health.body.constData());
        QCOMPARE(
            Metrics(kSqlConnection).value(QStringLiteral("corvane_settings_last_save_success")),
            0.0);
        QVERIFY(WaitFor([&] { return AlertIndex(MonitorEvent::SaveFailed) >= 0; }, 10000));

        // With the file back the save at the end succeeds.
        restore.dismiss();
        QVERIFY(putBack());
        End(*program);
    }

    void standardErrorCarriesJournalPrioritiesWhenItIsTheJournal_data() {
        QTest::addColumn<bool>("journal");
        QTest::newRow("standard error is the journal") << true;
        QTest::newRow("journal is another stream") << false;
    }
    void standardErrorCarriesJournalPrioritiesWhenItIsTheJournal() {
        QFETCH(bool, journal);
        // An update error for the error line, a failing alert program for the warnings.
        ChangeSetting(QStringLiteral("Receiver"), Fields::Receiver::Name_Table,
                      QStringLiteral("Stock Balance"));
        Launch launch;
        launch.errorFile = root_.filePath(QStringLiteral("stderr.txt"));
        launch.alertCommand = {QStringLiteral("/bin/false")};
        const QString other = root_.filePath(QStringLiteral("other-stream.txt"));
        for (const QString& path : {launch.errorFile, other}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        }
        struct stat stream {};
        QCOMPARE(::stat(QFile::encodeName(journal ? launch.errorFile : other).constData(), &stream),
                 0);
        launch.environment.insert(QStringLiteral("JOURNAL_STREAM"),
                                  QStringLiteral("%1:%2").arg(stream.st_dev).arg(stream.st_ino));
        const auto program = Start(launch);
        const auto written = [&] {
            QFile file(launch.errorFile);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        QVERIFY(WaitFor(
            [&] {
                return written().contains(QStringLiteral("Оповещение")) &&
                       Metrics(kSqlConnection).value(QStringLiteral("corvane_connection_status")) ==
                           double(UpdateError);
            },
            60000));
        End(*program);

        const QStringList lines = written().split(u'\n', Qt::SkipEmptyParts);
        const auto linesWith = [&](const QString& prefix, const QString& text) {
            return std::count_if(lines.begin(), lines.end(), [&](const QString& line) {
                return line.startsWith(prefix + text);
            });
        };
        const QString information = journal ? QStringLiteral("<6>") : QString();
        const QString warning = journal ? QStringLiteral("<4>") : QString();
        const QString error = journal ? QStringLiteral("<3>") : QString();
        QVERIFY2(linesWith(information, QStringLiteral("Сервис синхронизаций работает без окна")) ==
                     1,
                 qPrintable(lines.join(u'\n')));
        QVERIFY2(linesWith(warning, QStringLiteral("Оповещение")) >= 1,
                 qPrintable(lines.join(u'\n')));
        QVERIFY2(linesWith(error, QString()) >= 1, qPrintable(lines.join(u'\n')));
        // No prefix when standard error is not the journal.
        if (!journal)
            QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^<\\d>"))).size(), 0);
    }
};

QTEST_GUILESS_MAIN(UnattendedTest)
#include "UnattendedTest.moc"

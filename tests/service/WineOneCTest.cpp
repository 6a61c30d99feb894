#include "DemoFolder.h"

#include "support/ComStandIn.h"
#include "support/FileBytes.h"
#include "support/TestPaths.h"
#include "support/WinePrefix.h"

#include "core/ConnectionStatus.h"
#include "demo/DemoData.h"
#include "platform/RegionalSettings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>

using Feed = DemoData::Feed;
using namespace std::chrono_literals;

namespace {

const QString kOneCConnection = QStringLiteral("1С - Firebird");

// Polls at a pace that leaves the machine to the program and Wine.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QThread::msleep(200);
    }
    return condition();
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QString CommandLineOf(pid_t pid) {
    return QString::fromLocal8Bit(FileBytes::Read(QStringLiteral("/proc/%1/cmdline").arg(pid)))
        .replace(QChar(0), u' ');
}

} // namespace

// The real program, headless, reads its 1C source through Wine: the registration file starts
// the automation bridge under Wine, which drives the COM stand-in of the infobase.
class WineOneCTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WinePrefix> prefix_;
    QTemporaryDir root_;
    QString folder_;
    std::unique_ptr<DemoData> data_;
    QByteArray builtSettings_;

    quint16 statusPort_ = FreePort();

    QString LogPath() const { return QDir(folder_).filePath(QStringLiteral("Log/Logs.txt")); }

    // The program without a window, the COM stand-in's switches in its environment.
    std::unique_ptr<QProcess> StartHeadless(const QString& switches) const {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QLatin1String(ComStandIn::kSwitchesVariable), switches);
        process->setProcessEnvironment(environment);
        process->setProgram(TestPaths::BinaryDir() + QStringLiteral("/src/app/corvane"));
        process->setArguments({QStringLiteral("--headless"), QStringLiteral("--folder"), folder_,
                               QStringLiteral("--status"),
                               QStringLiteral("127.0.0.1:%1").arg(statusPort_),
                               QStringLiteral("RunAll")});
        process->setProcessChannelMode(QProcess::ForwardedOutputChannel);
        process->start();
        return process;
    }

    // Ends the program as a service manager does and waits until Wine has nothing left
    // running in the prefix: the bridge, the object's process and Wine's server are gone.
    void EndAndExpectNothingLeft(QProcess& program) {
        QCOMPARE(program.state(), QProcess::Running);
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(20000));
        // For a crash QProcess gives the signal as the exit code.
        QVERIFY2(program.exitStatus() == QProcess::NormalExit,
                 qPrintable(QStringLiteral("ended by signal %1").arg(program.exitCode())));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(prefix_->WaitUntilIdle(20s),
                 qPrintable(QStringLiteral("left running: %1").arg(RunningInPrefix())));
    }

    QString RunningInPrefix() const {
        QStringList running;
        for (const pid_t pid : prefix_->Processes())
            running.append(QStringLiteral("%1 %2").arg(pid).arg(CommandLineOf(pid)));
        return running.join(QStringLiteral("; "));
    }

    bool BridgeRunning() const {
        for (const pid_t pid : prefix_->Processes())
            if (CommandLineOf(pid).contains(QStringLiteral("automation-bridge.exe")))
                return true;
        return false;
    }

    // The 1C connection as the program's status page shows it; empty until it answers.
    QJsonObject OneCConnectionStatus() const {
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(network.get(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/status").arg(statusPort_)))));
        WaitFor(
            [&] {
                QCoreApplication::processEvents();
                return reply->isFinished();
            },
            10000);
        const QJsonArray connections =
            QJsonDocument::fromJson(reply->readAll())[QStringLiteral("connections")].toArray();
        for (const QJsonValue& connection : connections)
            if (connection[QStringLiteral("name")].toString() == kOneCConnection)
                return connection.toObject();
        return {};
    }

private Q_SLOTS:
    void initTestCase() {
        QString problem;
        prefix_ = ComStandIn::RegisteredPrefix(problem);
        if (!problem.isEmpty())
            QSKIP(qPrintable(problem));
        QVERIFY(root_.isValid());
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
        folder_ = root_.filePath(QStringLiteral("program"));
        data_ = std::make_unique<DemoData>(folder_);
        builtSettings_ = DemoFolder::Install(*data_, folder_);
        ComStandIn::WriteRegistration(data_->RegistrationPath());
        QVERIFY2(prefix_->WaitUntilIdle(20s), qPrintable(RunningInPrefix()));
    }
    void init() { FileBytes::Write(data_->SettingsPath(), builtSettings_); }

    void wholeCycleGivesTheStandInBalances() {
        data_->WriteSourceBalances(1);
        const QMap<int, double> expected = DemoData::RoundQuantities(Feed::OneC, 1);
        QVERIFY(data_->ReceiverQuantities(Feed::OneC) != expected);

        const auto program = StartHeadless(QString());
        QVERIFY(program->waitForStarted(10000));
        QMap<int, double> received;
        // The 1C transfer pauses 30 s before it reads the balances.
        WaitFor(
            [&] {
                received = data_->ReceiverQuantities(Feed::OneC);
                return received == expected;
            },
            120000);
        QCOMPARE(received, expected);
        EndAndExpectNothingLeft(*program);
    }

    void failingStandInIsAConnectionError_data() {
        QTest::addColumn<QString>("switches");
        QTest::addColumn<QString>("error");
        QTest::newRow("exception") << QStringLiteral("\"--fail=Initialize:Нет доступа к базе\"")
                                   << QStringLiteral("Нет доступа к базе");
        QTest::newRow("death") << QStringLiteral("--exit-during RMTrade")
                               << QStringLiteral("завершился во время вызова RMTrade");
    }
    void failingStandInIsAConnectionError() {
        QFETCH(QString, switches);
        QFETCH(QString, error);
        const qint64 logSize = QFileInfo(LogPath()).size();
        const auto program = StartHeadless(switches);
        QVERIFY(program->waitForStarted(10000));
        const QString sentence =
            QStringLiteral("  В соединение с именем \"%1\" произошла ошибка при обновлении данных.")
                .arg(kOneCConnection);
        QStringList lines;
        const bool logged = WaitFor(
            [&] {
                lines = QString::fromUtf8(FileBytes::Read(LogPath()).mid(logSize))
                            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
                for (qsizetype at = 0; at + 1 < lines.size(); ++at)
                    if (lines.at(at).endsWith(sentence) && lines.at(at + 1).contains(error))
                        return true;
                return false;
            },
            60000);
        QVERIFY2(logged, qPrintable(lines.join(u'\n')));
        const QJsonObject status = OneCConnectionStatus();
        QCOMPARE(status[QStringLiteral("status")].toInt(), int(ConnectionStatus::ConnectError));
        QVERIFY(status[QStringLiteral("consecutiveFailures")].toInt() >= 1);
        EndAndExpectNothingLeft(*program);
    }

    // A call the object takes ten minutes to answer: ending the program ends the bridge,
    // and Wine with it.
    void endsInTheMiddleOfACall() {
        const auto program = StartHeadless(QStringLiteral("--delay 600000"));
        QVERIFY(program->waitForStarted(10000));
        QVERIFY2(WaitFor([&] { return BridgeRunning(); }, 60000), qPrintable(RunningInPrefix()));
        // Time for the bridge to make the object and take the first call.
        QThread::sleep(3);
        QVERIFY(BridgeRunning());
        EndAndExpectNothingLeft(*program);
    }
};

QTEST_GUILESS_MAIN(WineOneCTest)
#include "WineOneCTest.moc"

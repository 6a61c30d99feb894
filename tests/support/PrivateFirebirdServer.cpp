#include "PrivateFirebirdServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {
const QString kConfigFolder = QStringLiteral("/etc/firebird/3.0");
const QString kMessageFile = QStringLiteral("/usr/lib/x86_64-linux-gnu/firebird/3.0/firebird.msg");
const QString kSecurityDatabase = QStringLiteral("/var/lib/firebird/3.0/system/security3.fdb");
const QString kServerProgram = QStringLiteral("/usr/sbin/firebird");

quint16 FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool PortAnswers(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}
} // namespace

PrivateFirebirdServer::PrivateFirebirdServer() = default;

PrivateFirebirdServer::~PrivateFirebirdServer() {
    Stop();
}

bool PrivateFirebirdServer::Start() {
    if (IsRunning())
        return true;
    if (port_ == 0 && !PrepareRoot())
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FIREBIRD"), root_.path());
    environment.insert(QStringLiteral("FIREBIRD_LOCK"), root_.filePath(QStringLiteral("lock")));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(kServerProgram, {});
    if (!process_.waitForStarted(5000)) {
        errorText_ = process_.errorString();
        return false;
    }
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (PortAnswers(port_))
            return true;
        if (process_.state() != QProcess::Running)
            break;
        QThread::msleep(100);
    }
    errorText_ = QStringLiteral("The private Firebird server did not answer on port %1: %2")
                     .arg(port_)
                     .arg(QString::fromLocal8Bit(process_.readAll()));
    Stop();
    return false;
}

void PrivateFirebirdServer::Stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void PrivateFirebirdServer::Kill() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(5000);
}

bool PrivateFirebirdServer::IsRunning() const {
    return process_.state() == QProcess::Running;
}

QString PrivateFirebirdServer::ServerName() const {
    return QStringLiteral("127.0.0.1/%1").arg(port_);
}

QString PrivateFirebirdServer::DataFolder() const {
    return root_.path();
}

bool PrivateFirebirdServer::PrepareRoot() {
    if (!root_.isValid()) {
        errorText_ = root_.errorString();
        return false;
    }
    port_ = FreePort();
    const QDir root(root_.path());
    root.mkpath(QStringLiteral("lock"));
    const QString security = root.filePath(QStringLiteral("security3.fdb"));

    // The shared configuration with our port, mode and security database in place of its own.
    QString config = QString::fromUtf8(ReadFile(kConfigFolder + QStringLiteral("/firebird.conf")));
    config.remove(QRegularExpression(
        QStringLiteral(
            R"(^\s*(RemoteServicePort|ServerMode|RemoteBindAddress|SecurityDatabase)\b.*$)"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption));
    config += QStringLiteral("\nRemoteServicePort = %1\nServerMode = Super\n"
                             "RemoteBindAddress = 127.0.0.1\nSecurityDatabase = %2\n")
                  .arg(port_)
                  .arg(security);
    QString databases =
        QString::fromUtf8(ReadFile(kConfigFolder + QStringLiteral("/databases.conf")));
    databases.replace(QStringLiteral("$(dir_secDb)/security3.fdb"), security);

    const bool written =
        WriteFile(root.filePath(QStringLiteral("firebird.conf")), config.toUtf8()) &&
        WriteFile(root.filePath(QStringLiteral("databases.conf")), databases.toUtf8()) &&
        QFile::copy(kConfigFolder + QStringLiteral("/plugins.conf"),
                    root.filePath(QStringLiteral("plugins.conf"))) &&
        QFile::copy(kConfigFolder + QStringLiteral("/fbtrace.conf"),
                    root.filePath(QStringLiteral("fbtrace.conf"))) &&
        QFile::copy(kMessageFile, root.filePath(QStringLiteral("firebird.msg"))) &&
        QFile::copy(kSecurityDatabase, security);
    if (!written || port_ == 0) {
        errorText_ =
            QStringLiteral("The private Firebird root cannot be made in %1").arg(root_.path());
        return false;
    }
    return true;
}

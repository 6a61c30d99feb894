#include "ui/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

const QString kServerName = QStringLiteral("Syn_Serv");
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShownAnswer = QByteArrayLiteral("shown\n");

} // namespace

SingleInstance::SingleInstance(const QString& folder)
    : folder_(folder)
    , lock_(QDir(folder).filePath(kServerName + QStringLiteral(".lock"))) {
    // Only a dead owner makes the lock stale: a long-running instance keeps it however old.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstance::LockPath() const {
    return lock_.fileName();
}

QString SingleInstance::ServerPath() const {
    return QDir(folder_).filePath(kServerName);
}

bool SingleInstance::TryLock() {
    QDir().mkpath(folder_);
    return lock_.tryLock(0);
}

bool SingleInstance::AskRunningToShow(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(ServerPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    return socket.readLine() == kShownAnswer;
}

bool SingleInstance::Listen() {
    if (!lock_.isLocked())
        return false;
    // Holding the lock, any socket file there is a crashed instance's.
    QLocalServer::removeServer(ServerPath());
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::AnswerRequest);
    return server_->listen(ServerPath());
}

void SingleInstance::AnswerRequest() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kShowRequest) {
                    Q_EMIT ShowRequested();
                    socket->write(kShownAnswer);
                }
            }
        });
    }
}

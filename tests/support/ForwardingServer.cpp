#include "ForwardingServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QQueue>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

struct Chunk {
    qint64 due;
    QByteArray bytes;
};

} // namespace

ForwardingServer::ForwardingServer(quint16 targetPort, int delayMs,
                                   QAtomicInteger<qint64>& chunksToTarget)
    : targetPort_(targetPort)
    , delayMs_(delayMs)
    , chunksToTarget_(chunksToTarget)
    , listener_(this) {
    clock_.start();
    connect(&listener_, &QTcpServer::newConnection, this, &ForwardingServer::Accept);
}

quint16 ForwardingServer::Listen() {
    if (!listener_.listen(QHostAddress::LocalHost, 0))
        return 0;
    return listener_.serverPort();
}

void ForwardingServer::Accept() {
    while (QTcpSocket* client = listener_.nextPendingConnection()) {
        client->setParent(this);
        auto* target = new QTcpSocket(this);
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // An option set before the socket is connected is dropped; with Nagle left on, the
        // tail of a request split in two chunks waits for the server's delayed ACK.
        connect(target, &QTcpSocket::connected, target,
                [target] { target->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
        for (QTcpSocket* socket : {client, target}) {
            connect(
                socket, &QTcpSocket::disconnected, this,
                [client, target] {
                    client->disconnectFromHost();
                    target->disconnectFromHost();
                    client->deleteLater();
                    target->deleteLater();
                });
        }
        Relay(client, target, &chunksToTarget_);
        Relay(target, client, nullptr);
        target->connectToHost(QHostAddress::LocalHost, targetPort_);
    }
}

void ForwardingServer::Relay(QTcpSocket* from, QTcpSocket* to, QAtomicInteger<qint64>* counter) {
    auto queue = std::make_shared<QQueue<Chunk>>();
    auto* timer = new QTimer(from);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    const QPointer<QTcpSocket> target(to);
    const auto writeDue = [this, queue, timer, target] {
        const qint64 now = clock_.elapsed();
        while (!queue->isEmpty() && queue->head().due <= now)
            if (target)
                target->write(queue->dequeue().bytes);
            else
                queue->dequeue();
        if (!queue->isEmpty())
            timer->start(static_cast<int>(queue->head().due - now));
    };
    connect(timer, &QTimer::timeout, this, writeDue);
    connect(from, &QTcpSocket::readyRead, this, [this, from, queue, timer, writeDue, counter] {
        const QByteArray bytes = from->readAll();
        if (bytes.isEmpty())
            return;
        if (counter)
            counter->fetchAndAddRelaxed(1);
        queue->enqueue({clock_.elapsed() + delayMs_, bytes});
        if (!timer->isActive())
            writeDue();
    });
}

#pragma once

#include <QAtomicInteger>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;
class QTimer;

// The listening side of a DelayingForwarder, living on the forwarder's thread.
class ForwardingServer : public QObject {
    Q_OBJECT

public:
    ForwardingServer(quint16 targetPort, int delayMs, QAtomicInteger<qint64>& chunksToTarget);

    // Listens on a free port of 127.0.0.1; 0 when it cannot.
    quint16 Listen();

private:
    void Accept();
    // Chunks read from one socket are written to the other delayMs later, in order.
    void Relay(QTcpSocket* from, QTcpSocket* to, QAtomicInteger<qint64>* counter);

    quint16 targetPort_;
    int delayMs_;
    QAtomicInteger<qint64>& chunksToTarget_;
    QTcpServer listener_;
    QElapsedTimer clock_;
};

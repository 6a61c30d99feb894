#pragma once

#include <QAtomicInteger>
#include <QThread>

#include <memory>

class ForwardingServer;

// A TCP forwarder on 127.0.0.1 between a client and a server that holds back every chunk it
// reads for a set time each way, standing in for a link with that much latency. It runs on a
// thread of its own, so the client may block in a call. It counts the chunks the client sent,
// one per request the client waited for.
class DelayingForwarder {
public:
    DelayingForwarder(quint16 targetPort, int delayMs);
    ~DelayingForwarder();
    DelayingForwarder(const DelayingForwarder&) = delete;
    DelayingForwarder& operator=(const DelayingForwarder&) = delete;

    quint16 Port() const { return port_; }
    qint64 ChunksToTarget() const { return chunksToTarget_.loadRelaxed(); }

private:
    QThread thread_;
    std::unique_ptr<ForwardingServer> server_;
    quint16 port_ = 0;
    QAtomicInteger<qint64> chunksToTarget_;
};

#include "DelayingForwarder.h"

#include "ForwardingServer.h"

#include <QMetaObject>

#include <stdexcept>

DelayingForwarder::DelayingForwarder(quint16 targetPort, int delayMs)
    : server_(std::make_unique<ForwardingServer>(targetPort, delayMs, chunksToTarget_)) {
    server_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        server_.get(), [this] { port_ = server_->Listen(); }, Qt::BlockingQueuedConnection);
    if (port_ == 0) {
        thread_.quit();
        thread_.wait();
        throw std::runtime_error("the forwarder cannot listen on 127.0.0.1");
    }
}

DelayingForwarder::~DelayingForwarder() {
    // The server and its sockets go on their own thread, before it ends.
    ForwardingServer* server = server_.release();
    QMetaObject::invokeMethod(
        server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

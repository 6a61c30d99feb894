#pragma once

#include "service/MonitorSnapshot.h"

#include <QHostAddress>
#include <QString>
#include <QThread>

#include <mutex>
#include <optional>

class ConnectionMonitor;
class QHttpServer;
class QHttpServerResponse;

// Answers GET /metrics, /status and /health over HTTP. The server runs on a thread of its own,
// so that it can still say so when the main thread is stuck; every answer asks the main thread
// for a fresh snapshot and waits for it at most a second.
class StatusServer {
public:
    explicit StatusServer(ConnectionMonitor& monitor);
    ~StatusServer();
    StatusServer(const StatusServer&) = delete;
    StatusServer& operator=(const StatusServer&) = delete;

    // Empty when it listens; otherwise the reason.
    QString Listen(const QHostAddress& address, quint16 port);

private:
    // On the server's thread: the snapshot and whether the main thread gave it in time; the
    // last one it gave otherwise.
    std::pair<MonitorSnapshot, bool> CurrentSnapshot();
    QHttpServerResponse Health();

    ConnectionMonitor& monitor_;
    QThread thread_;
    QHttpServer* server_;
    std::mutex lastMutex_;
    MonitorSnapshot last_;
};

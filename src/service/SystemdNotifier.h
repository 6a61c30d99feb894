#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class ConnectionMonitor;

// Tells systemd the service's state (Type=notify): ready once the connections started, the
// number of connections running and in error as STATUS=, the orderly end, and the watchdog
// keep-alive from the main thread's event loop, so that a frozen service gets restarted.
// Without NOTIFY_SOCKET every call does nothing.
class SystemdNotifier final : public QObject {
    Q_OBJECT
public:
    explicit SystemdNotifier(const ConnectionMonitor& monitor);

    void Ready();
    void Stopping();

private:
    void SendStatus();
    QString StatusText() const;

    const ConnectionMonitor& monitor_;
    QString sentStatus_;
    QTimer statusTimer_;
    QTimer watchdogTimer_;
};

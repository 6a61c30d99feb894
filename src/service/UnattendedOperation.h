#pragma once

#include "service/UnattendedOptions.h"

#include <QString>

#include <memory>

class AlertLauncher;
class ConnectionMonitor;
class StatusServer;
class SystemdNotifier;
class TSynchronization_Service;

// What the service does for those who watch it from outside: the status server, the alert
// program and systemd's notifications, as the options ask. The same for the window and the
// headless mode.
class UnattendedOperation {
public:
    UnattendedOperation(TSynchronization_Service& service, const UnattendedOptions& options);
    ~UnattendedOperation();
    UnattendedOperation(const UnattendedOperation&) = delete;
    UnattendedOperation& operator=(const UnattendedOperation&) = delete;

    // Before the connections start; empty, or why the program cannot go on.
    QString Prepare();
    // The settings are loaded and the connections started.
    void Started();
    // The event loop has ended: stops the connections, saves the configuration and announces
    // the end. False when the configuration was not saved.
    bool End();

private:
    TSynchronization_Service& service_;
    ConnectionMonitor& monitor_;
    UnattendedOptions options_;
    std::unique_ptr<StatusServer> statusServer_;
    std::unique_ptr<AlertLauncher> alerts_;
    std::unique_ptr<SystemdNotifier> systemd_;
};

#include "service/SystemdNotifier.h"

#include "service/ConnectionMonitor.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace {
constexpr int kStatusIntervalMs = 2000;

void Notify(const QString& state) {
    sd_notify(0, state.toUtf8().constData());
}
} // namespace

SystemdNotifier::SystemdNotifier(const ConnectionMonitor& monitor)
    : monitor_(monitor) {
    statusTimer_.setInterval(kStatusIntervalMs);
    connect(&statusTimer_, &QTimer::timeout, this, &SystemdNotifier::SendStatus);
    std::uint64_t watchdogUsec = 0;
    if (sd_watchdog_enabled(0, &watchdogUsec) > 0 && watchdogUsec > 0) {
        // Twice per period, as systemd advises, so one late tick does not kill the service.
        watchdogTimer_.setInterval(int(watchdogUsec / 2000));
        connect(&watchdogTimer_, &QTimer::timeout, this,
                [] { Notify(QStringLiteral("WATCHDOG=1")); });
    }
}

void SystemdNotifier::Ready() {
    sentStatus_ = StatusText();
    Notify(QStringLiteral("READY=1\nSTATUS=") + sentStatus_);
    statusTimer_.start();
    if (watchdogTimer_.interval() > 0) {
        Notify(QStringLiteral("WATCHDOG=1"));
        watchdogTimer_.start();
    }
}

void SystemdNotifier::Stopping() {
    statusTimer_.stop();
    Notify(QStringLiteral("STOPPING=1\nSTATUS=Сервис синхронизаций останавливается."));
}

void SystemdNotifier::SendStatus() {
    const QString status = StatusText();
    if (status == sentStatus_)
        return;
    sentStatus_ = status;
    Notify(QStringLiteral("STATUS=") + status);
}

QString SystemdNotifier::StatusText() const {
    const MonitorSnapshot snapshot = monitor_.Snapshot();
    return QStringLiteral("Соединений работает: %1, с ошибкой: %2.")
        .arg(snapshot.ConnectionsRunning)
        .arg(snapshot.ConnectionsInError);
}

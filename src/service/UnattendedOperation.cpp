#include "service/UnattendedOperation.h"

#include "service/AlertLauncher.h"
#include "service/ConnectionMonitor.h"
#include "service/JournalStream.h"
#include "service/StatusServer.h"
#include "service/SystemdNotifier.h"
#include "service/TSynchronization_Service.h"

namespace {
// The end alert still reaches the person, without keeping the program for long.
constexpr int kEndAlertWaitMs = 10000;
} // namespace

UnattendedOperation::UnattendedOperation(TSynchronization_Service& service,
                                         const UnattendedOptions& options)
    : service_(service)
    , monitor_(service.Monitor())
    , options_(options)
    , systemd_(std::make_unique<SystemdNotifier>(monitor_)) {}

UnattendedOperation::~UnattendedOperation() = default;

QString UnattendedOperation::Prepare() {
    if (options_.StatusPort != 0) {
        statusServer_ = std::make_unique<StatusServer>(monitor_);
        if (const QString refusal =
                statusServer_->Listen(options_.StatusAddress, options_.StatusPort);
            !refusal.isEmpty())
            return refusal;
    }
    if (!options_.EventCommand.isEmpty()) {
        alerts_ = std::make_unique<AlertLauncher>(options_.EventCommand, [](const QString& text) {
            JournalStream::Write(JournalStream::Warning, text);
        });
        QObject::connect(&monitor_, &ConnectionMonitor::EventRaised, alerts_.get(),
                         &AlertLauncher::Launch);
    }
    monitor_.SetStaleLimit(options_.StaleSeconds);
    return QString();
}

void UnattendedOperation::Started() {
    monitor_.ServiceEvent(MonitorEvent::ServiceStarted,
                          QStringLiteral("Сервис синхронизаций запущен."));
    systemd_->Ready();
}

bool UnattendedOperation::End() {
    // Saved before the end is announced, so a failed save still reaches the alert program.
    const bool saved = service_.SaveAtEnd();
    systemd_->Stopping();
    monitor_.SetStaleLimit(0);
    monitor_.ServiceEvent(MonitorEvent::ServiceEnded,
                          QStringLiteral("Сервис синхронизаций останавливается."));
    if (alerts_)
        alerts_->WaitForRunning(kEndAlertWaitMs);
    return saved;
}

#pragma once

#include <QDateTime>
#include <QString>

// An event that needs a person; what the alert program is told.
struct MonitorEvent {
    QString Kind;         // one of the names below
    int ConnectionId = 0; // 0 for the events of the whole service
    QString ConnectionName;
    QString ReceiverName;
    QString Message; // passwords hidden
    QDateTime Time;

    static constexpr const char* UpdateError = "update-error";
    static constexpr const char* ClearedByAttemptLimit = "receiver-cleared-by-attempt-limit";
    static constexpr const char* ClearedByWatchdog = "receiver-cleared-by-watchdog";
    static constexpr const char* ClearFailed = "receiver-clear-failed";
    static constexpr const char* SaveFailed = "settings-save-failed";
    static constexpr const char* Stale = "stale";
    static constexpr const char* Fresh = "fresh-again";
    static constexpr const char* ServiceStarted = "service-started";
    static constexpr const char* ServiceEnded = "service-ended";
};

#pragma once

#include "core/EventSink.h"
#include "service/MonitorEvent.h"
#include "service/MonitorSnapshot.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>

class Clock;
class TDm;

// Sits between the engine and the event log: every event goes on to the log unchanged, and
// the monitor keeps the figures of each connection from it and raises the events that need a
// person. Main thread only.
class ConnectionMonitor final : public QObject, public EventSink {
    Q_OBJECT
public:
    ConnectionMonitor(EventSink& log, const TDm& dm, const Clock& clock,
                      std::function<bool(int)> workerRuns);

    void LogEvent(int id, EventCode code, const QString& text) override;
    void FailureCounted(int id) override;
    void ItemsChanged(int id, int count) override;
    void ReceiverCleared(int id, ReceiverClearCause cause, const QString& failure) override;

    void SaveSucceeded();
    void SaveFailed(const QString& message);
    // Raises an event of the whole service (start, end).
    void ServiceEvent(const char* kind, const QString& message);

    // A running connection without a successful update for longer than this raises a stale
    // event, and one more when it updates again; 0 turns the check off.
    void SetStaleLimit(qint64 seconds);

    MonitorSnapshot Snapshot() const;
    // The text with every password held for a receiver or source masked.
    QString WithoutPasswords(const QString& text) const;

Q_SIGNALS:
    void EventRaised(const MonitorEvent& event);

private:
    struct Facts {
        QDateTime Started;
        QDateTime CycleStarted;
        QDateTime LastSuccess;
        qint64 LastCycleMs = 0;
        int ItemsChanged = 0;
        int ConsecutiveFailures = 0;
        int ClearsByAttemptLimit = 0;
        int ClearsByWatchdog = 0;
        bool StaleRaised = false;
    };

    void Raise(const char* kind, int id, const QString& message);
    void CheckStale();
    QDateTime FreshSince(const Facts& facts) const;
    QVariant ConnectionValue(int id, const QString& field) const;
    QString ReceiverName(int connectionId) const;

    EventSink& log_;
    const TDm& dm_;
    const Clock& clock_;
    std::function<bool(int)> workerRuns_;
    QHash<int, Facts> facts_;
    bool lastSaveSucceeded_ = true;
    QString lastSaveError_;
    qint64 staleLimitSeconds_ = 0;
    QTimer staleCheck_;
};

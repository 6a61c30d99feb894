#pragma once

#include "engine/ReceiverClearJob.h"

#include <QDateTime>
#include <QObject>
#include <QVariant>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>

class Clock;
class EventSink;
class PasswordKeeper;
class Prompts;
class QTimer;
class TDm;

// How long one clear of a receiver may take, a lock wait included, before it counts as failed.
inline constexpr std::chrono::milliseconds kDefaultClearTimeLimit{30000};

// Clears the receiver of every update cycle registered in VremTable for more than 300
// seconds (a cycle still running, or one that ended with an update error) and removes the
// registration. The handler of the data module's timer: the tables and the boxes are handled
// on the main thread, the database work on a thread of its own, one receiver after another,
// with the timer off until the last is done.
class UpdateWatchdog {
public:
    // cancelCycle cuts short the call of a connection's cycle registered at a start time.
    using CycleCanceller = std::function<void(int connectionId, const QDateTime& start)>;

    UpdateWatchdog(TDm& dm, const PasswordKeeper& passwords, Prompts& prompts, const Clock& clock,
                   EventSink& events, CycleCanceller cancelCycle = {},
                   std::chrono::milliseconds clearTimeLimit = kDefaultClearTimeLimit);

    void TaskSchedulerTimer(QTimer* sender);

private:
    struct Registration {
        int ConnectionId;
        QDateTime Start;
        // The receiver the cycle wrote to, kept for when its connection is deleted.
        int ReceiverId;
    };

    // Seconds since the current VremTable row's start, whole days left out.
    qint64 RegisteredSeconds() const;
    // Starts the clear of the next stale registration still there; the timer goes back on
    // after the last.
    void ClearNext();
    void Finished(const Registration& registration, ReceiverClearJob::Outcome outcome);
    bool LocateRegistration(const Registration& registration);
    // The receiver of the registration's connection; the one the registration kept when the
    // connection is gone.
    int ReceiverOf(const Registration& registration) const;
    QVariant ReceiverValue(int receiverId, const QString& field) const;

    TDm& dm_;
    const PasswordKeeper& passwords_;
    Prompts& prompts_;
    const Clock& clock_;
    EventSink& events_;
    CycleCanceller cancelCycle_;
    std::chrono::milliseconds clearTimeLimit_;
    QTimer* timer_ = nullptr;
    std::deque<Registration> stale_;
    // Where the outcomes of the clears arrive; gone with the watchdog, so none arrives later.
    QObject context_;
    std::unique_ptr<ReceiverClearJob> job_;
};

#pragma once

#include "core/EventCode.h"

#include <QString>

// Why a receiver's values were set to Null.
enum class ReceiverClearCause { AttemptLimit, Watchdog };

// Where the events of a connection are written (the event log). Main thread only.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void LogEvent(int id, EventCode code, const QString& text) = 0;

    // Facts of a cycle the log has no line for; they matter to whoever watches the service.
    // A failure that counts toward the attempt limit.
    virtual void FailureCounted(int /*id*/) {}
    // The items the cycle's transfer wrote into the receiver.
    virtual void ItemsChanged(int /*id*/, int /*count*/) {}
    // A receiver clear; failure is empty when it succeeded.
    virtual void ReceiverCleared(int /*id*/, ReceiverClearCause /*cause*/,
                                 const QString& /*failure*/) {}
};

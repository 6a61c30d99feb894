#pragma once

#include "core/EventSink.h"

#include <QList>
#include <QString>

#include <functional>

// An event sink for tests: keeps every event in the order it came. Main thread only.
class RecordingEventSink final : public EventSink {
public:
    struct Event {
        int Id = 0;
        EventCode Code{};
        QString Text;
    };

    void LogEvent(int id, EventCode code, const QString& text) override;

    const QList<Event>& Events() const { return events_; }
    // The codes of one connection, in order.
    QList<EventCode> Codes(int id) const;
    void Clear() { events_.clear(); }

    // Called after each event is kept, to act at a given moment of a worker.
    std::function<void(const Event&)> OnEvent;

private:
    QList<Event> events_;
};

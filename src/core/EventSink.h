#pragma once

#include <QString>

// Where the events of a connection are written (the event log).
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void LogEvent(int id, int code, const QString& text) = 0;
};

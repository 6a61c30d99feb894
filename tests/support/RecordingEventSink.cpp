#include "RecordingEventSink.h"

void RecordingEventSink::LogEvent(int id, EventCode code, const QString& text) {
    events_.append({id, code, text});
    if (OnEvent)
        OnEvent(events_.last());
}

QList<EventCode> RecordingEventSink::Codes(int id) const {
    QList<EventCode> codes;
    for (const Event& event : events_)
        if (event.Id == id)
            codes.append(event.Code);
    return codes;
}

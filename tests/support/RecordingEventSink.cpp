#include "RecordingEventSink.h"

void RecordingEventSink::LogEvent(int id, int code, const QString& text) {
    events_.append({id, code, text});
    if (OnEvent)
        OnEvent(events_.last());
}

QList<int> RecordingEventSink::Codes(int id) const {
    QList<int> codes;
    for (const Event& event : events_)
        if (event.Id == id)
            codes.append(event.Code);
    return codes;
}

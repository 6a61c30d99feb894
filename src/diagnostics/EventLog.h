#pragma once

#include "core/EventSink.h"

#include <QString>

#include <functional>

class Clock;
class TDm;

// The log of what the connections did: one line per event in Log/Logs.txt beside the program,
// moved whole to Log/StLogs.txt once it grows past MaxSizeLogs megabytes. The file is opened
// and closed within each event and the settings are read each time, so nothing is kept between
// events. Main thread only.
class EventLog final : public EventSink {
public:
    EventLog(const TDm& dm, QString programFolder, std::function<bool()> showAllLogs,
             std::function<int()> maxSizeLogs, const Clock& clock);

    // Exception "Cannot open file <path>" when the size of Logs.txt cannot be read;
    // EInOutError when Logs.txt cannot be opened, written or closed.
    void LogEvent(int id, EventCode code, const QString& text) override;
    // A line of the program's own about itself, time-stamped as the events are; the same
    // errors.
    void LogNote(const QString& text);

private:
    QString FolderPath() const;
    QString FilePath() const;
    QString PreviousFilePath() const;
    void RotateIfTooLarge() const;
    // Makes the folder, rotates, then appends what lines gives (nothing when empty).
    void Append(const std::function<QString()>& lines) const;

    const TDm& dm_;
    QString programFolder_;
    std::function<bool()> showAllLogs_;
    std::function<int()> maxSizeLogs_;
    const Clock& clock_;
};

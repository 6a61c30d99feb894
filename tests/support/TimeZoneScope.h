#pragma once

#include <QByteArray>

// The process's local time zone set to another one for a scope, and back after it.
class TimeZoneScope {
public:
    explicit TimeZoneScope(const QByteArray& zone);
    ~TimeZoneScope();
    TimeZoneScope(const TimeZoneScope&) = delete;
    TimeZoneScope& operator=(const TimeZoneScope&) = delete;

private:
    bool hadZone_;
    QByteArray previous_;
};

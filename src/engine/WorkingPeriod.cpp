#include "engine/WorkingPeriod.h"

#include "core/RecordSet.h"
#include "core/TableFields.h"
#include "platform/Clock.h"

#include <QTime>

namespace {
bool IsNull(const QVariant& value) {
    return !value.isValid() || value.isNull();
}

// Times of day at millisecond resolution: closer than a millisecond counts as equal.
int TimeOfDayMs(const QVariant& value) {
    return value.toTime().msecsSinceStartOfDay();
}
} // namespace

bool IsInWorkingPeriod(const RecordSet& connection, const Clock& clock, int id) {
    const QDateTime now = clock.Now();
    const int weekday = now.date().dayOfWeek() - 1; // Monday 0 .. Sunday 6
    const QVariantList values = connection.Lookup(
        Fields::Connection::Id, {id},
        QStringLiteral(
            "Monday;Tuesday;Wednesday;Thursday;Friday;Saturday;Sunday;TimeStart;TimeEnd"));
    if (values.size() != 9)
        return false;
    const QVariant& day = values.at(weekday);
    const QVariant& start = values.at(7);
    const QVariant& end = values.at(8);
    const int nowMs = now.time().msecsSinceStartOfDay();
    const bool dayHolds = !IsNull(day) && day.toInt() == 1;
    const bool startHolds = !IsNull(start) && TimeOfDayMs(start) <= nowMs;
    const bool endHolds = !IsNull(end) && nowMs <= TimeOfDayMs(end);
    return dayHolds && startHolds && endHolds;
}

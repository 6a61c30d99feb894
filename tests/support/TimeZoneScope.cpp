#include "support/TimeZoneScope.h"

#include <QtGlobal>

#include <ctime>

TimeZoneScope::TimeZoneScope(const QByteArray& zone)
    : hadZone_(qEnvironmentVariableIsSet("TZ"))
    , previous_(qgetenv("TZ")) {
    qputenv("TZ", zone);
    tzset();
}

TimeZoneScope::~TimeZoneScope() {
    if (hadZone_)
        qputenv("TZ", previous_);
    else
        qunsetenv("TZ");
    tzset();
}

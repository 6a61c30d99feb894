#pragma once

#include <QString>
#include <QtGlobal>

// One update cycle of an SQL connection through the engine's own code: both connections
// opened, the transfer run, both closed, as the worker does it. Returns the nanoseconds of
// the update phase.
class EngineCycle {
public:
    static qint64 Run(const QString& receiverConnectionString,
                      const QString& sourceConnectionString);
};

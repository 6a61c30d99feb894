#pragma once

#include <QString>

// One update cycle of an SQL connection through the engine's own code: both connections
// opened, the transfer run, both closed, as the worker does it.
class EngineCycle {
public:
    static void Run(const QString& receiverConnectionString, const QString& sourceConnectionString);
};

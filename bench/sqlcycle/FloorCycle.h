#pragma once

#include <QString>

// The same cycle written as the shortest correct loop on Qt SQL: the lower bound the
// engine's cycle is measured against. Failures throw std::runtime_error.
class FloorCycle {
public:
    static void Run(const QString& receiverConnectionString, const QString& sourceConnectionString);
};

#pragma once

#include <QString>

#include <QtGlobal>

// The same cycle written as the shortest correct loop on Qt SQL: the lower bound the
// engine's cycle is measured against. batchSize 1 runs one prepared update a changed row;
// more sends that many in one EXECUTE BLOCK. Returns the nanoseconds from the begin of the
// transaction to its commit. Failures throw std::runtime_error.
class FloorCycle {
public:
    static qint64 Run(const QString& receiverConnectionString,
                      const QString& sourceConnectionString, int batchSize);
};

#pragma once

#include <QString>

class RecordSet;

// The rows a running connection depends on: while one uses them they are shown read-only and
// can be neither deleted nor tested.
class ActiveConnectionLocks {
public:
    // True when a connection in status Updating, Stopping, ConnectError or WaitingForPeriod has
    // fieldName equal to id ("Id" tests the connection itself). The current row of connection
    // stays where it is.
    static bool IsUsedByActiveConnection(const RecordSet& connection, int id,
                                         const QString& fieldName);
};

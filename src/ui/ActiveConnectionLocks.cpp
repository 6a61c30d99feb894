#include "ui/ActiveConnectionLocks.h"

#include "core/ConnectionStatus.h"
#include "core/RecordSet.h"
#include "core/TableFields.h"

bool ActiveConnectionLocks::IsUsedByActiveConnection(const RecordSet& connection, int id,
                                                     const QString& fieldName) {
    const QString keys = fieldName + u';' + Fields::Connection::Status;
    for (const int status : {Updating, Stopping, ConnectError, WaitingForPeriod})
        if (!connection.Lookup(keys, {id, status}, Fields::Connection::Id).isEmpty())
            return true;
    return false;
}

#include "ui/ActiveConnectionLocks.h"

#include "core/ConnectionStatus.h"
#include "core/RecordSet.h"

bool ActiveConnectionLocks::IsUsedByActiveConnection(const RecordSet& connection, int id,
                                                     const QString& fieldName) {
    const QString keys = fieldName + QStringLiteral(";Status");
    for (const int status : {Updating, Stopping, ConnectError, WaitingForPeriod}) {
        if (!connection.Lookup(keys, {id, status}, QStringLiteral("Id")).isEmpty())
            return true;
    }
    return false;
}

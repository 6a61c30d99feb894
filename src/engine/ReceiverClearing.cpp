#include "engine/ReceiverClearing.h"

#include "engine/ReceiverStatements.h"
#include "platform/DbQuery.h"

void ClearReceiverValues(DbConnection& receiver, const QString& tableName,
                         const QString& valueField) {
    DbQuery clear(receiver);
    clear.SetSql(ReceiverStatements::ClearValues(tableName, valueField));
    clear.Prepare();
    clear.Execute();
}

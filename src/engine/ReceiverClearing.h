#pragma once

#include <QString>

class DbConnection;

// Sets the receiver's value field to Null in every row, inside the caller's transaction.
void ClearReceiverValues(DbConnection& receiver, const QString& tableName,
                         const QString& valueField);

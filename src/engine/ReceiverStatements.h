#pragma once

#include <QString>

#include <functional>

class DbConnection;

// The statements both transfers and the clearing run on a receiver's balance table. The
// configured names are spliced in as stored; a name that is neither a plain identifier nor a
// double-quoted one is refused with an Exception, so a name can never carry SQL of its own.
namespace ReceiverStatements {

QString BalanceSelect(const QString& tableName, const QString& keyField);
QString BalanceUpdate(const QString& tableName, const QString& valueField, const QString& keyField);
// count updates of BalanceUpdate in one statement, its inputs a quantity and a code for each,
// in this order, as "?" markers typed as the columns they are written to and compared with.
// The update runs in a local procedure: called from the block it takes none of the block's
// 255 contexts, of which each update written out in the block would take three.
QString BalanceUpdateBlock(const QString& tableName, const QString& valueField,
                           const QString& keyField, int count);
QString ClearValues(const QString& tableName, const QString& valueField);

// Runs work in one receiver transaction: committed when it returns, rolled back when it
// throws, and the failure passed on unchanged.
void InTransaction(DbConnection& receiver, const std::function<void()>& work);

} // namespace ReceiverStatements

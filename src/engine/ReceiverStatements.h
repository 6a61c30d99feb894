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
QString ClearValues(const QString& tableName, const QString& valueField);

// Runs work in one receiver transaction: committed when it returns, rolled back when it
// throws, and the failure passed on unchanged.
void InTransaction(DbConnection& receiver, const std::function<void()>& work);

} // namespace ReceiverStatements

#include "FloorCycle.h"

#include "CycleSchema.h"

#include "platform/ConnectionStringParts.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <stdexcept>

namespace {

const QString kReceiverName = QStringLiteral("FloorCycle-receiver");
const QString kSourceName = QStringLiteral("FloorCycle-source");

[[noreturn]] void Fail(const QString& what, const QSqlError& error) {
    throw std::runtime_error((what + QStringLiteral(": ") + error.text()).toStdString());
}

void Prepare(QSqlQuery& query, const QString& sql) {
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        Fail(sql, query.lastError());
}

void Execute(QSqlQuery& query) {
    if (!query.exec())
        Fail(query.lastQuery(), query.lastError());
}

void Transfer(QSqlDatabase& receiver, QSqlDatabase& source) {
    QSqlQuery receiverRows(receiver);
    Prepare(receiverRows, QStringLiteral("select B.Code, A.Quantity from ") +
                              CycleSchema::kTableName + QStringLiteral(" A, Parts B where A.") +
                              CycleSchema::kKeyField +
                              QStringLiteral(" = B.Partno order by B.Code"));
    Execute(receiverRows);

    QSqlQuery sourceRows(source);
    Prepare(sourceRows, CycleSchema::kSourceQuery);
    Execute(sourceRows);
    const QSqlRecord record = sourceRows.record();
    const int codeColumn = record.indexOf(CycleSchema::kDockingField);
    const int valueColumn = record.indexOf(CycleSchema::kSourceValueField);
    if (codeColumn < 0 || valueColumn < 0)
        throw std::runtime_error("the source query lacks the code or the value column");
    QHash<int, QVariant> balances;
    while (sourceRows.next())
        balances.insert(sourceRows.value(codeColumn).toInt(), sourceRows.value(valueColumn));
    if (sourceRows.lastError().isValid())
        Fail(CycleSchema::kSourceQuery, sourceRows.lastError());

    if (!receiver.transaction())
        Fail(QStringLiteral("begin"), receiver.lastError());
    QSqlQuery update(receiver);
    Prepare(update, QStringLiteral("update ") + CycleSchema::kTableName + QStringLiteral(" set ") +
                        CycleSchema::kValueField + QStringLiteral(" = ? where ") +
                        CycleSchema::kKeyField +
                        QStringLiteral(" = (select A.Partno from Parts A where A.Code = ?)"));
    while (receiverRows.next()) {
        const int code = receiverRows.value(0).toInt();
        const auto balance = balances.constFind(code);
        if (balance == balances.constEnd())
            continue;
        if (!balance->isNull() && balance->toDouble() == receiverRows.value(1).toDouble())
            continue;
        update.bindValue(0, *balance);
        update.bindValue(1, code);
        Execute(update);
    }
    if (receiverRows.lastError().isValid())
        Fail(QStringLiteral("receiver rows"), receiverRows.lastError());
    if (!receiver.commit())
        Fail(QStringLiteral("commit"), receiver.lastError());
}

} // namespace

void FloorCycle::Run(const QString& receiverConnectionString,
                     const QString& sourceConnectionString) {
    {
        const ConnectionStringParts parts(receiverConnectionString);
        QSqlDatabase receiver = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), kReceiverName);
        receiver.setDatabaseName(parts.Value(QStringLiteral("DBNAME")));
        receiver.setUserName(parts.Value(QStringLiteral("UID")));
        receiver.setPassword(parts.Value(QStringLiteral("PWD")));
        receiver.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
        if (!receiver.open())
            Fail(QStringLiteral("receiver open"), receiver.lastError());
        QSqlDatabase source = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), kSourceName);
        source.setDatabaseName(sourceConnectionString);
        source.setConnectOptions(QStringLiteral("SQL_ATTR_ODBC_VERSION=SQL_OV_ODBC3"));
        if (!source.open())
            Fail(QStringLiteral("source open"), source.lastError());
        Transfer(receiver, source);
        source.close();
        receiver.close();
    }
    QSqlDatabase::removeDatabase(kSourceName);
    QSqlDatabase::removeDatabase(kReceiverName);
}

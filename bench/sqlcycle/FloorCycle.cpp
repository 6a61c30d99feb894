#include "FloorCycle.h"

#include "CycleSchema.h"

#include "platform/ConnectionStringParts.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <stdexcept>
#include <utility>

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

QString RowUpdate() {
    return QStringLiteral("update ") + CycleSchema::kTableName + QStringLiteral(" set ") +
           CycleSchema::kValueField + QStringLiteral(" = ? where ") + CycleSchema::kKeyField +
           QStringLiteral(" = (select A.Partno from Parts A where A.Code = ?)");
}

// count row updates in one EXECUTE BLOCK, each a call of a local procedure (an update written
// out in the block takes three of its 255 contexts; a call takes none).
QString BatchUpdate(int count) {
    const QString quantityType = QStringLiteral("type of column ") + CycleSchema::kTableName +
                                 QLatin1Char('.') + CycleSchema::kValueField;
    QString inputs;
    QString calls;
    for (int i = 0; i < count; ++i) {
        inputs += QStringLiteral("%1Q%2 %3 = ?, C%2 integer = ?")
                      .arg(i ? QStringLiteral(", ") : QString())
                      .arg(i)
                      .arg(quantityType);
        calls += QStringLiteral("execute procedure S(:Q%1, :C%1); ").arg(i);
    }
    QString body = RowUpdate();
    body.replace(QStringLiteral("= ? where"), QStringLiteral("= :Q where"));
    body.replace(QStringLiteral("A.Code = ?"), QStringLiteral("A.Code = :C"));
    return QStringLiteral("EXECUTE BLOCK (") + inputs +
           QStringLiteral(") as declare procedure S (Q ") + quantityType +
           QStringLiteral(", C integer) as begin ") + body + QStringLiteral("; end begin ") +
           calls + QStringLiteral("end");
}

// Sends the pending (value, code) pairs in statements of batchSize, the last one shorter.
class BatchSender {
public:
    BatchSender(QSqlDatabase& receiver, int batchSize)
        : receiver_(receiver)
        , batchSize_(batchSize)
        , full_(receiver) {
        Prepare(full_, batchSize_ == 1 ? RowUpdate() : BatchUpdate(batchSize_));
    }

    void Add(const QVariant& value, int code) {
        full_.bindValue(2 * pending_, value);
        full_.bindValue(2 * pending_ + 1, code);
        pendingValues_.append({value, code});
        if (++pending_ == batchSize_) {
            Execute(full_);
            pending_ = 0;
            pendingValues_.clear();
        }
    }

    void Finish() {
        if (pending_ == 0)
            return;
        QSqlQuery last(receiver_);
        Prepare(last, pending_ == 1 ? RowUpdate() : BatchUpdate(pending_));
        for (int i = 0; i < pending_; ++i) {
            last.bindValue(2 * i, pendingValues_.at(i).first);
            last.bindValue(2 * i + 1, pendingValues_.at(i).second);
        }
        Execute(last);
    }

private:
    QSqlDatabase& receiver_;
    int batchSize_;
    QSqlQuery full_;
    int pending_ = 0;
    QList<std::pair<QVariant, int>> pendingValues_;
};

void Transfer(QSqlDatabase& receiver, QSqlDatabase& source, int batchSize, qint64& updateNs) {
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

    QElapsedTimer updateTimer;
    updateTimer.start();
    if (!receiver.transaction())
        Fail(QStringLiteral("begin"), receiver.lastError());
    BatchSender update(receiver, batchSize);
    while (receiverRows.next()) {
        const int code = receiverRows.value(0).toInt();
        const auto balance = balances.constFind(code);
        if (balance == balances.constEnd())
            continue;
        if (!balance->isNull() && balance->toDouble() == receiverRows.value(1).toDouble())
            continue;
        update.Add(*balance, code);
    }
    update.Finish();
    if (receiverRows.lastError().isValid())
        Fail(QStringLiteral("receiver rows"), receiverRows.lastError());
    if (!receiver.commit())
        Fail(QStringLiteral("commit"), receiver.lastError());
    updateNs = updateTimer.nsecsElapsed();
}

} // namespace

qint64 FloorCycle::Run(const QString& receiverConnectionString,
                       const QString& sourceConnectionString, int batchSize) {
    qint64 updateNs = 0;
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
        Transfer(receiver, source, batchSize, updateNs);
        source.close();
        receiver.close();
    }
    QSqlDatabase::removeDatabase(kSourceName);
    QSqlDatabase::removeDatabase(kReceiverName);
    return updateNs;
}

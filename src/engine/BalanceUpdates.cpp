#include "engine/BalanceUpdates.h"

#include "engine/ReceiverStatements.h"
#include "engine/WorkerParameters.h"
#include "platform/DbConnection.h"
#include "platform/Errors.h"

void BalanceUpdates::InTransaction(DbConnection& receiver, const WorkerParameters& parameters,
                                   const QString& updateSql,
                                   const std::function<void(BalanceUpdates&)>& addChanges) {
    ReceiverStatements::InTransaction(
        receiver,
        [&] {
            BalanceUpdates updates(receiver, parameters, updateSql);
            try {
                addChanges(updates);
            } catch (...) {
                // Rows added before the failure are written first: when one of them fails, its
                // error is the one a pass writing each row at once would have raised.
                updates.Send();
                throw;
            }
            updates.Send();
        });
}

BalanceUpdates::BalanceUpdates(DbConnection& receiver, const WorkerParameters& parameters,
                               const QString& updateSql)
    : parameters_(parameters)
    , batching_(receiver.IsFirebird())
    , rowUpdate_(receiver)
    , fullBatch_(receiver)
    , lastBatch_(receiver) {
    // Prepared before any row is read, so that wrong names fail where they always did.
    rowUpdate_.SetSql(updateSql);
    rowUpdate_.Prepare();
    pending_.reserve(kBatchSize);
}

void BalanceUpdates::Add(const QVariant& quantity, const QString& code) {
    pending_.append({quantity, code});
    if (pending_.size() == kBatchSize)
        Send();
}

void BalanceUpdates::Send() {
    // Taken first: after a failure nothing of it is left to send again.
    const QList<std::pair<QVariant, QString>> rows = std::exchange(pending_, {});
    if (rows.isEmpty())
        return;
    if (!batching_ || rows.size() == 1) {
        SendOneByOne(rows);
        return;
    }
    try {
        SendBatch(rows);
    } catch (const Exception&) {
        SendOneByOne(rows);
    }
}

void BalanceUpdates::SendBatch(const QList<std::pair<QVariant, QString>>& rows) {
    DbQuery& batch = BatchStatement(static_cast<int>(rows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        batch.SetParameter(static_cast<int>(2 * i), rows.at(i).first);
        batch.SetParameter(static_cast<int>(2 * i + 1), rows.at(i).second);
    }
    batch.Execute();
}

void BalanceUpdates::SendOneByOne(const QList<std::pair<QVariant, QString>>& rows) {
    for (const auto& [quantity, code] : rows) {
        rowUpdate_.SetParameter(QStringLiteral("Quantity"), quantity);
        rowUpdate_.SetParameter(QStringLiteral("Code"), code);
        rowUpdate_.Execute();
    }
}

// Only a pass's last batch can be short, so two statements serve every batch.
DbQuery& BalanceUpdates::BatchStatement(int count) {
    const bool full = count == kBatchSize;
    DbQuery& statement = full ? fullBatch_ : lastBatch_;
    int& preparedCount = full ? fullBatchCount_ : lastBatchCount_;
    if (preparedCount != count) {
        preparedCount = 0;
        statement.SetSql(ReceiverStatements::BalanceUpdateBlock(
            parameters_.TableName, parameters_.ValueField, parameters_.KeyField, count));
        statement.Prepare();
        preparedCount = count;
    }
    return statement;
}

#pragma once

#include "platform/DbQuery.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <utility>

class DbConnection;
struct WorkerParameters;

// The changed quantities of one pass, written with the receiver's update statement in batches:
// one round trip for up to kBatchSize rows instead of one a row, which is what a receiver
// across a WAN pays for. A batch that fails is undone whole by the receiver and its rows are
// run again one at a time, so that a failure is raised by the row that causes it with the
// statement's own message, as when every row is sent alone.
class BalanceUpdates {
public:
    // Larger batches save little more on a slow link and cost more to prepare on a fast one.
    static constexpr int kBatchSize = 500;

    // Runs addChanges in one receiver transaction and writes what it added with updateSql, the
    // BalanceUpdate of parameters: committed when everything was written, rolled back and the
    // failure passed on otherwise.
    static void InTransaction(DbConnection& receiver, const WorkerParameters& parameters,
                              const QString& updateSql,
                              const std::function<void(BalanceUpdates&)>& addChanges);

    // The value as it is bound to the statement's :Quantity, the code to its :Code.
    void Add(const QVariant& quantity, const QString& code);

private:
    BalanceUpdates(DbConnection& receiver, const WorkerParameters& parameters,
                   const QString& updateSql);

    void Send();
    void SendBatch(const QList<std::pair<QVariant, QString>>& rows);
    void SendOneByOne(const QList<std::pair<QVariant, QString>>& rows);
    DbQuery& BatchStatement(int count);

    const WorkerParameters& parameters_;
    const bool batching_;
    DbQuery rowUpdate_;
    DbQuery fullBatch_;
    DbQuery lastBatch_;
    // The rows each batch statement is prepared for; 0 while it is not.
    int fullBatchCount_ = 0;
    int lastBatchCount_ = 0;
    QList<std::pair<QVariant, QString>> pending_;
};

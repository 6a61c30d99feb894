#include "engine/SqlTransfer.h"

#include "engine/BalanceUpdates.h"
#include "engine/ReceiverStatements.h"
#include "engine/TransferContext.h"
#include "platform/DbQuery.h"

#include <optional>

namespace {

// A Null or a text that is no number never equals a quantity.
bool SameQuantity(const QVariant& sourceValue, double quantity) {
    if (sourceValue.isNull())
        return false;
    bool ok = false;
    const double number = sourceValue.toDouble(&ok);
    return ok && number == quantity;
}

} // namespace

void TransferFromSql(TransferContext& worker, DbConnection& receiver, DbConnection& source) {
    const WorkerParameters& parameters = worker.Parameters();
    const QString selectSql =
        ReceiverStatements::BalanceSelect(parameters.TableName, parameters.KeyField);
    const QString updateSql = ReceiverStatements::BalanceUpdate(
        parameters.TableName, parameters.ValueField, parameters.KeyField);

    // The update statements live within the transaction, so they go before these two.
    DbQuery receiverRows(receiver);
    DbQuery sourceRows(source);

    receiverRows.SetSql(selectSql);
    receiverRows.Prepare();
    receiverRows.Open();
    worker.PostLogCode(9);
    if (!worker.CanContinue())
        return;

    sourceRows.SetSql(parameters.SqlQuery);
    sourceRows.Prepare();
    sourceRows.Open();
    worker.PostLogCode(15);
    if (!worker.CanContinue())
        return;

    BalanceUpdates::InTransaction(receiver, parameters, updateSql, [&](BalanceUpdates& updates) {
        for (; !receiverRows.Eof(); receiverRows.Next()) {
            const int code = receiverRows.FieldAsInteger(QStringLiteral("Code"));
            const std::optional<QVariant> sourceValue =
                sourceRows.Lookup(parameters.DockingField, code, parameters.SourceValueField);
            if (!sourceValue)
                continue;
            if (SameQuantity(*sourceValue, receiverRows.FieldAsFloat(QStringLiteral("Quantity"))))
                continue;
            updates.Add(*sourceValue, receiverRows.FieldAsText(QStringLiteral("Code")));
        }
    });
    worker.PostLogCode(16);
}

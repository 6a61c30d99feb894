#include "engine/SqlTransfer.h"

#include "engine/BalanceUpdates.h"
#include "engine/ReceiverStatements.h"
#include "engine/SourceQuantity.h"
#include "engine/TransferContext.h"
#include "platform/DbQuery.h"

#include <optional>

namespace {

// A Null never equals a quantity.
bool SameQuantity(const QVariant& sourceValue, double quantity) {
    return !sourceValue.isNull() && sourceValue.toDouble() == quantity;
}

} // namespace

int TransferFromSql(TransferContext& worker, DbConnection& receiver, DbConnection& source) {
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
    worker.PostLogCode(EventCode::ReceiverSelected);
    if (!worker.CanContinue())
        return 0;

    sourceRows.SetSql(parameters.SqlQuery);
    sourceRows.Prepare();
    sourceRows.Open();
    worker.PostLogCode(EventCode::SourceSelected);
    if (!worker.CanContinue())
        return 0;

    int changed = 0;
    BalanceUpdates::InTransaction(receiver, parameters, updateSql, [&](BalanceUpdates& updates) {
        for (; !receiverRows.Eof(); receiverRows.Next()) {
            const int code = receiverRows.FieldAsInteger(QStringLiteral("Code"));
            const std::optional<QVariant> sourceValue =
                sourceRows.Lookup(parameters.DockingField, code, parameters.SourceValueField);
            if (!sourceValue)
                continue;
            const QString codeText = receiverRows.FieldAsText(QStringLiteral("Code"));
            const QVariant quantity = SourceQuantity::Read(*sourceValue, codeText);
            if (SameQuantity(quantity, receiverRows.FieldAsFloat(QStringLiteral("Quantity"))))
                continue;
            updates.Add(quantity, codeText);
            ++changed;
        }
    });
    worker.PostLogCode(EventCode::ReceiverUpdated);
    return changed;
}

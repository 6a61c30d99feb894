#include "engine/OneCTransfer.h"

#include "engine/BalanceUpdates.h"
#include "engine/ReceiverStatements.h"
#include "engine/SourceQuantity.h"
#include "engine/TransferContext.h"
#include "platform/AutomationObject.h"
#include "platform/DbQuery.h"
#include "platform/Errors.h"
#include "platform/InfobaseFunctions.h"
#include "platform/RegionalSettings.h"

#include <QList>

namespace {

constexpr int kPauseMs = 30000;

struct ReceiverItem {
    QString code;
    double quantity;
};

// A number turns into text the way the user's regional settings write it, as automation
// values do on the system the infobase runs on.
QString AnswerText(const QVariant& value) {
    if (value.isNull())
        return QString();
    const int type = value.typeId();
    if (type == QMetaType::Double || type == QMetaType::Float)
        return QString::number(value.toDouble(), 'g', 15)
            .replace(QLatin1Char('.'), RegionalSettings::DecimalSeparator());
    return value.toString();
}

QString Call(const QString& function, const QString& argument) {
    return function + QLatin1Char('(') + argument + QLatin1Char(')');
}

// The select is walked twice, and its rows are read forward only.
QList<ReceiverItem> ReadItems(DbQuery& receiverRows) {
    QList<ReceiverItem> items;
    for (; !receiverRows.Eof(); receiverRows.Next())
        items.append({receiverRows.FieldAsText(QStringLiteral("Code")),
                      receiverRows.FieldAsFloat(QStringLiteral("Quantity"))});
    return items;
}

} // namespace

QString Evaluate(AutomationObject& infobase, const QString& expression) {
    const QString text = expression.trimmed();
    if (text.isEmpty())
        return QString();
    return AnswerText(infobase.EvalExpr(text)).trimmed();
}

int TransferFrom1C(TransferContext& worker, DbConnection& receiver, AutomationObject& infobase) {
    const WorkerParameters& parameters = worker.Parameters();
    const QString selectSql =
        ReceiverStatements::BalanceSelect(parameters.TableName, parameters.KeyField);
    const QString updateSql = ReceiverStatements::BalanceUpdate(
        parameters.TableName, parameters.ValueField, parameters.KeyField);

    // The infobase is given time to settle after it was opened.
    if (!worker.Sleep(kPauseMs))
        return 0;

    // The update statements live within the transaction, so they go before the select.
    DbQuery receiverRows(receiver);

    receiverRows.SetSql(selectSql);
    receiverRows.Prepare();
    receiverRows.Open();
    const QList<ReceiverItem> items = ReadItems(receiverRows);
    worker.PostLogCode(EventCode::ReceiverSelected);

    if (!worker.CanContinue())
        return 0;
    Evaluate(infobase, Call(InfobaseFunctions::kClearBalances, QString()));
    worker.PostLogCode(EventCode::BalancesCleared);

    if (!worker.CanContinue())
        return 0;
    for (const ReceiverItem& item : items)
        Evaluate(infobase, Call(InfobaseFunctions::kAddToBalances, item.code));
    worker.PostLogCode(EventCode::BalancesAdded);

    if (!worker.CanContinue())
        return 0;
    const QString filterAnswer =
        Evaluate(infobase, Call(InfobaseFunctions::kSetStockFilter,
                                QLatin1Char('"') + parameters.StockFilter + QLatin1Char('"')));
    if (filterAnswer != QStringLiteral("1"))
        throw Exception(filterAnswer);
    worker.PostLogCode(EventCode::StockFilterSet);

    if (!worker.CanContinue())
        return 0;
    if (Evaluate(infobase, Call(InfobaseFunctions::kFillBalances, QString())) ==
        QStringLiteral("-1"))
        throw Exception(
            QStringLiteral("Во время расчета остатков в программе 1С произошла ошибка."));
    worker.PostLogCode(EventCode::BalancesFilled);

    if (!worker.CanContinue())
        return 0;
    int changed = 0;
    BalanceUpdates::InTransaction(receiver, parameters, updateSql, [&](BalanceUpdates& updates) {
        for (const ReceiverItem& item : items) {
            const double balance =
                SourceQuantity::Read(
                    Evaluate(infobase, Call(InfobaseFunctions::kGetFromBalances, item.code)),
                    item.code)
                    .toDouble();
            if (balance == -1 || balance == item.quantity)
                continue;
            // The number, not the answer's text: its decimal separator is the locale's.
            updates.Add(balance, item.code);
            ++changed;
        }
    });
    worker.PostLogCode(EventCode::BalancesRead);
    return changed;
}

#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

// The campaigns' sources give item Partno the quantity Partno + round, so a receiver
// holds one round whole or a mix of two.
namespace ReceiverRounds {

// "new" when every item of 1..items holds the round, "old" when every one holds the round
// before; otherwise the first item that holds neither, as a failure text.
QString Holds(const QMap<int, QVariant>& quantities, int items, int round);

inline bool IsRound(const QString& holds) {
    return holds == QLatin1String("old") || holds == QLatin1String("new");
}

} // namespace ReceiverRounds

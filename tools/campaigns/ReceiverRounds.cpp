#include "ReceiverRounds.h"

namespace ReceiverRounds {

QString Holds(const QMap<int, QVariant>& quantities, int items, int round) {
    if (quantities.size() != items)
        return QStringLiteral("the receiver holds %1 items, not %2")
            .arg(quantities.size())
            .arg(items);
    const auto holdAll = [&](int at) {
        for (auto item = quantities.begin(); item != quantities.end(); ++item) {
            if (item.value().isNull() || item.value().toDouble() != item.key() + at)
                return false;
        }
        return true;
    };
    if (holdAll(round))
        return QStringLiteral("new");
    if (holdAll(round - 1))
        return QStringLiteral("old");
    int atRound = 0;
    int atRoundBefore = 0;
    for (auto item = quantities.begin(); item != quantities.end(); ++item) {
        atRound += item.value().toDouble() == item.key() + round ? 1 : 0;
        atRoundBefore += item.value().toDouble() == item.key() + round - 1 ? 1 : 0;
    }
    return QStringLiteral("a mix: of %1 items %2 hold round %3, %4 round %5")
        .arg(items)
        .arg(atRound)
        .arg(round)
        .arg(atRoundBefore)
        .arg(round - 1);
}

} // namespace ReceiverRounds

#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

// Looks into a Firebird receiver made by DatabaseFixtures: which rows a pass wrote, what the
// balances hold, and a trigger that makes the update of one item fail.
namespace ReceiverProbe {

// A table Written and a trigger that adds the Partno of every updated Stock_Balance row.
void RecordWrites(const QString& connectionString);
// Updating the row of this Partno raises a database exception.
void FailUpdateOf(const QString& connectionString, int partno);

QList<int> Written(const QString& connectionString);
// Quantity by Partno; Null as a null QVariant.
QMap<int, QVariant> Quantities(const QString& connectionString);

} // namespace ReceiverProbe

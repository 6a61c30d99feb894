#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

#include "DatabaseFixtures.h"

// Looks into a Firebird receiver made by DatabaseFixtures: which rows a pass wrote, what the
// balances hold, and a trigger that makes the update of one item fail.
namespace ReceiverProbe {

// A new receiver of the kind with the receiver schema, its writes recorded, holding the items.
QString CreateReceiver(DatabaseFixtures& databases, TestDatabaseKind kind, const QString& name,
                       const QList<DatabaseFixtures::Item>& items);

// A table Written and a trigger that adds the Partno of every updated Stock_Balance row.
void RecordWrites(const QString& connectionString);
// Updating the row of this Partno raises a database exception.
void FailUpdateOf(const QString& connectionString, int partno);

QList<int> Written(const QString& connectionString);
// Quantity by Partno; Null as a null QVariant.
QMap<int, QVariant> Quantities(const QString& connectionString);

} // namespace ReceiverProbe

#pragma once

#include <QString>

// The receiver and source layout both cycle paths work on, with the receiver defaults of the
// main window and a source query of the kind an operator writes.
namespace CycleSchema {

inline const QString kTableName = QStringLiteral("Stock_Balance");
inline const QString kKeyField = QStringLiteral("Partno");
inline const QString kValueField = QStringLiteral("Quantity");
inline const QString kSourceQuery = QStringLiteral("select Code, Qty from Balances");
inline const QString kDockingField = QStringLiteral("Code");
inline const QString kSourceValueField = QStringLiteral("Qty");

// Item i (1..count) has Partno i, Code 1000 + i and Quantity i; the changed items have
// Quantity i + 0.5 in the source.
inline constexpr int kCodeOffset = 1000;
// The batch of the batched floor loop, the engine's own.
inline constexpr int kFloorBatch = 500;

} // namespace CycleSchema

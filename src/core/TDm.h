#pragma once

#include "core/RecordSet.h"

#include <QObject>
#include <QTimer>

// The data module: the five configuration tables, opened with their field layouts, and the
// watchdog timer (10000 ms, off until the main window switches it on).
class TDm : public QObject {
    Q_OBJECT
public:
    explicit TDm(QObject* parent = nullptr);

    RecordSet Connection{QStringLiteral("Connection")};
    RecordSet Receiver{QStringLiteral("Receiver")};
    RecordSet Source{QStringLiteral("Source")};
    RecordSet Connection_Types{QStringLiteral("Connection_Types")};
    RecordSet VremTable{QStringLiteral("VremTable"), false};

    QTimer TaskScheduler;

    // Connection, Receiver or Source by table name; nullptr for any other.
    RecordSet* TableByName(const QString& name);

private:
    // Fills CalStatus with the caption of Status.
    static void ConnectionCalcFields(RecordSet& dataSet);
};

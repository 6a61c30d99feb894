#pragma once

#include "core/RecordSet.h"

#include <QChar>
#include <QString>

class TableEventStore;

// Keeps the passwords of receiver and source connection strings out of sight: asterisks in
// the tables, the real text in VremTable, enciphered text in the settings file.
class PasswordKeeper {
public:
    PasswordKeeper(RecordSet& vremTable, TableEventStore& events);

    // ";" for receivers and SQL sources, " " for the 1C command lines (current row).
    static QChar ConnectionStringSeparator(RecordSet& row);

    // After a post of the current row of Receiver or Source: hold a newly typed password,
    // mask it, and post the normalised string with the table's events suspended.
    void HidePasswords(int id, RecordSet& table, const QString& connectionString);
    // The real connection string; every part followed by the separator.
    QString UnmaskConnectionString(int id, const QString& tableName, QChar separator,
                                   const QString& shown) const;
    // For a row just filled from the settings file (current row, not yet posted).
    void HideLoadedPasswords(RecordSet& row);
    // The connection string of the current row as the settings file stores it.
    QString EncipherConnectionString(RecordSet& row) const;

private:
    RecordSet& vremTable_;
    TableEventStore& events_;
};

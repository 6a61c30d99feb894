#pragma once

#include "core/PasswordCipher.h"
#include "core/RecordSet.h"

#include <QChar>
#include <QString>
#include <QStringList>

#include <optional>

class TableEventStore;

// Keeps the passwords of receiver and source connection strings out of sight: asterisks in
// the tables, the real text in VremTable, enciphered text in the settings file.
// A string may carry several password parts; the one VremTable row of the string holds all
// their passwords in order, and each part is restored and enciphered with its own.
class PasswordKeeper {
public:
    PasswordKeeper(RecordSet& vremTable, TableEventStore& events);

    // ";" for receivers and SQL sources, " " for the 1C command lines (current row).
    static QChar ConnectionStringSeparator(RecordSet& row);
    // The same for a row of the named table with this connection type.
    static QChar ConnectionStringSeparator(const QString& tableName, int connectionType);
    // The operator left the asterisks alone: as long as the held password, all "*".
    static bool IsMaskedPassword(const QString& text, const QString& held);

    // After a post of the current row of Receiver or Source: hold a newly typed password,
    // mask it, and post the normalised string with the table's events suspended.
    void HidePasswords(int id, RecordSet& table, const QString& connectionString);
    // The real connection string; every part followed by the separator.
    QString UnmaskConnectionString(int id, const QString& tableName, QChar separator,
                                   const QString& shown) const;
    // For a row just filled from the settings file (current row, not yet posted); stored is
    // the connection string as the file holds it, which may be longer than the field, since
    // enciphered passwords are.
    void HideLoadedPasswords(RecordSet& row, const QString& stored);
    // The connection string of a row, given by its values, as the settings file stores it.
    QString EncipherConnectionString(int id, const QString& tableName, QChar separator,
                                     const QString& connectionString) const;

    const PasswordCipher& Cipher() const { return cipher_; }

private:
    // The passwords held for the row, in the order of its password parts; nullopt when none.
    std::optional<QStringList> HeldPasswords(int id, const QString& tableName) const;
    void AddHeldPasswords(int id, const QString& tableName, const QStringList& passwords);

    RecordSet& vremTable_;
    TableEventStore& events_;
    const PasswordCipher cipher_;
};

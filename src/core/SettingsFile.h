#pragma once

#include "core/ServiceSettings.h"

#include <QString>

#include <functional>

class IdCounters;
class PasswordKeeper;
class ProfileFile;
class RecordSet;
class TDm;
class TableEventStore;

// The settings file: the three settings, the Id counters and one section per configuration
// table, each data field one key whose value lists the field's values of all rows, joined by
// backquotes. Every access reads the file anew; every write replaces it whole.
class SettingsFile {
public:
    // othersRightsTaken is told the path when a save took away the rights others had on the
    // file, which holds passwords.
    SettingsFile(QString path, TDm& dm, IdCounters& counters, TableEventStore& events,
                 PasswordKeeper& passwords,
                 std::function<void(const QString&)> othersRightsTaken = {});

    const QString& Path() const { return path_; }

    // Settings and counters, then Connection_Types, Source, Receiver and Connection. A value
    // that does not convert stops the load; the tables keep the rows loaded before it.
    ServiceSettings LoadConfiguration();
    // Fills an empty table from one section.
    void LoadTable(const ProfileFile& file, const QString& section, RecordSet& table);
    // One value read from the file into the current row; empty text leaves the field null.
    void SetFieldFromText(RecordSet& table, const QString& fieldName, const QString& text);

    // Rewrites the table's section after cancelling a pending insert or edit; the cursor stays
    // on its row. A write that fails raises "Unable to write to <path>".
    void SaveTable(RecordSet& table);
    // Rewrites the table's section from the rows as stored, leaving a pending insert or edit
    // and the cursor as they are.
    void SaveStoredRows(RecordSet& table);
    // All data fields of the table as one section; a pending insert or edit is cancelled.
    void WriteTableSection(ProfileFile& file, const QString& section, RecordSet& table);
    // The counters, then Source, Receiver and Connection, in one write.
    void SaveCountersAndTables();

private:
    void WriteStoredRows(ProfileFile& file, const QString& section, const RecordSet& table);
    int* CounterFor(const RecordSet& table);
    void Save(const ProfileFile& file) const;

    QString path_;
    TDm& dm_;
    IdCounters& counters_;
    TableEventStore& events_;
    PasswordKeeper& passwords_;
    std::function<void(const QString&)> othersRightsTaken_;
};

#include "core/SettingsFile.h"

#include "core/IdCounters.h"
#include "core/PasswordKeeper.h"
#include "core/RecordSet.h"
#include "core/TDm.h"
#include "core/TableEventStore.h"
#include "core/TableFields.h"
#include "platform/Errors.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const QChar kValueSeparator = u'`';

bool IsPasswordTable(const RecordSet& table) {
    return table.Name() == u"Receiver" || table.Name() == u"Source";
}

bool IsStatusField(const RecordSet& table, const QString& fieldName) {
    return table.Name() == u"Connection" &&
           fieldName.compare(Fields::Connection::Status, Qt::CaseInsensitive) == 0;
}

QString FieldText(const FieldDef& def, const QVariant& value) {
    if (!value.isValid())
        return QString();
    switch (def.Type) {
    case FieldType::Integer:
    case FieldType::SmallInt:
        return QString::number(value.toInt());
    case FieldType::Text:
        return value.toString();
    case FieldType::DateTime:
        return RegionalSettings::StoredDateTimeToText(value.toDateTime());
    case FieldType::Time:
        return RegionalSettings::StoredTimeToText(value.toTime());
    }
    return QString();
}

// More rows than an operator can keep track of; each costs memory far beyond its bytes in the
// file, where one backquote makes a row.
constexpr qsizetype kMaxRows = 10000;

// One key line of a table section, read value by value in the file's own text, so that a
// section of many rows loads in linear time and without copies.
class KeyLine {
public:
    KeyLine(QStringView key, QStringView values)
        : key_(key.toString())
        , rest_(values) {}

    const QString& Key() const { return key_; }

    // The value of the current row; the last value of a line stays for the remaining rows.
    QStringView TakeValue() {
        const qsizetype end = rest_.indexOf(kValueSeparator);
        if (end < 0)
            return rest_;
        const QStringView value = rest_.first(end);
        rest_ = rest_.sliced(end + 1);
        return value;
    }

private:
    QString key_;
    QStringView rest_;
};

} // namespace

SettingsFile::SettingsFile(QString path, TDm& dm, IdCounters& counters, TableEventStore& events,
                           PasswordKeeper& passwords,
                           std::function<void(const QString&)> othersRightsTaken)
    : path_(std::move(path))
    , dm_(dm)
    , counters_(counters)
    , events_(events)
    , passwords_(passwords)
    , othersRightsTaken_(std::move(othersRightsTaken)) {}

ServiceSettings SettingsFile::LoadConfiguration() {
    const ProfileFile file(path_);
    const ServiceSettings defaults;
    ServiceSettings settings;
    settings.NumberAttempts = file.ReadInteger(
        QStringLiteral("Settings"), QStringLiteral("NumberAttempts"), defaults.NumberAttempts);
    settings.ShowAllLogs =
        file.ReadInteger(QStringLiteral("Settings"), QStringLiteral("ShowAllLogs"),
                         defaults.ShowAllLogs ? 1 : 0) != 0;
    settings.MaxSizeLogs = file.ReadInteger(QStringLiteral("Settings"),
                                            QStringLiteral("MaxSizeLogs"), defaults.MaxSizeLogs);

    const QString counterSection = QStringLiteral("Counter_Id");
    counters_.Counter_Connection =
        file.ReadInteger(counterSection, QStringLiteral("Counter_Connection"), 0);
    counters_.Counter_Receiver =
        file.ReadInteger(counterSection, QStringLiteral("Counter_Receiver"), 0);
    counters_.Counter_Source =
        file.ReadInteger(counterSection, QStringLiteral("Counter_Source"), 0);

    for (RecordSet* table : {&dm_.Connection_Types, &dm_.Source, &dm_.Receiver, &dm_.Connection})
        LoadTable(file, table->Name(), *table);
    return settings;
}

void SettingsFile::LoadTable(const ProfileFile& file, const QString& section, RecordSet& table) {
    // The first line of a field counts, as the profile functions read it; a key naming no
    // field stops the load at the first row, unless its value is empty.
    std::vector<KeyLine> keyLines;
    std::vector<bool> fieldSeen(static_cast<std::size_t>(table.FieldDefs().size()));
    bool unknownKey = false;
    qsizetype rowCount = 0;
    file.ForEachKeyLine(section, [&](QStringView key, QStringView value) {
        if (keyLines.empty() && rowCount == 0)
            rowCount = value.isEmpty() ? -1 : value.count(kValueSeparator) + 1;
        if (rowCount < 0 || unknownKey)
            return;
        const int field = table.FieldIndex(key.toString());
        if (field < 0) {
            if (value.isEmpty())
                return;
            unknownKey = true;
        } else if (fieldSeen[static_cast<std::size_t>(field)]) {
            return;
        } else {
            fieldSeen[static_cast<std::size_t>(field)] = true;
        }
        keyLines.emplace_back(key, value);
    });
    if (rowCount <= 0)
        return;
    if (rowCount > kMaxRows)
        throw Exception(QStringLiteral("%1: the section holds %2 rows, more than the %3 a table "
                                       "can hold")
                            .arg(table.Name())
                            .arg(rowCount)
                            .arg(kMaxRows));

    int* counter = CounterFor(table);
    for (qsizetype row = 0; row < rowCount; ++row) {
        SuspendedTableEvents suspended(events_, table);
        table.Append();
        try {
            QString storedConnectionString;
            for (KeyLine& line : keyLines) {
                const QString value = line.TakeValue().toString();
                SetFieldFromText(table, line.Key(),
                                 IsStatusField(table, line.Key()) ? QStringLiteral("0") : value);
                if (line.Key().compare(Fields::Shared::Connection_String, Qt::CaseInsensitive) == 0)
                    storedConnectionString = value;
            }
            if (IsPasswordTable(table))
                passwords_.HideLoadedPasswords(table, storedConnectionString);
        } catch (...) {
            // The half-filled row is not part of what was loaded.
            table.Cancel();
            throw;
        }
        table.Post();
        // A file written after an abnormal end can hold Ids beyond its counters.
        if (counter)
            *counter = std::max(*counter, table.FieldByName(Fields::Shared::Id).AsInteger());
    }
    table.First();
}

void SettingsFile::SetFieldFromText(RecordSet& table, const QString& fieldName,
                                    const QString& text) {
    if (text.isEmpty())
        return;
    table.FieldByName(fieldName).SetAsString(text);
}

void SettingsFile::SaveTable(RecordSet& table) {
    ProfileFile file(path_);
    WriteTableSection(file, table.Name(), table);
    Save(file);
}

void SettingsFile::SaveStoredRows(RecordSet& table) {
    ProfileFile file(path_);
    WriteStoredRows(file, table.Name(), table);
    Save(file);
}

void SettingsFile::WriteTableSection(ProfileFile& file, const QString& section, RecordSet& table) {
    if (table.IsEditing())
        table.Cancel();
    WriteStoredRows(file, section, table);
}

// The rows are read as stored, so the cursor and any pending edit stay as they are.
void SettingsFile::WriteStoredRows(ProfileFile& file, const QString& section,
                                   const RecordSet& table) {
    const QList<FieldDef>& defs = table.FieldDefs();
    std::vector<int> dataFields;
    for (int index = 0; index < defs.size(); ++index)
        if (defs[index].Kind == FieldKind::Data)
            dataFields.push_back(index);

    const bool passwordTable = IsPasswordTable(table);
    const int idField = table.FieldIndex(Fields::Shared::Id);
    const int typeField = table.FieldIndex(Fields::Shared::Id_Connection_Types);
    std::vector<QStringList> values(dataFields.size());
    for (const QVariantList& row : table.StoredRows()) {
        for (size_t column = 0; column < dataFields.size(); ++column) {
            const FieldDef& def = defs[dataFields[column]];
            const QVariant& value = row[dataFields[column]];
            if (IsStatusField(table, def.Name))
                values[column].append(QStringLiteral("0"));
            else if (passwordTable && def.Name == Fields::Shared::Connection_String)
                values[column].append(passwords_.EncipherConnectionString(
                    row[idField].toInt(), table.Name(),
                    PasswordKeeper::ConnectionStringSeparator(table.Name(), row[typeField].toInt()),
                    value.toString()));
            else
                values[column].append(FieldText(def, value));
        }
    }
    for (size_t column = 0; column < dataFields.size(); ++column)
        file.WriteString(section, defs[dataFields[column]].Name,
                         values[column].join(kValueSeparator));
}

void SettingsFile::SaveCountersAndTables() {
    ProfileFile file(path_);
    const QString counterSection = QStringLiteral("Counter_Id");
    file.WriteString(counterSection, QStringLiteral("Counter_Connection"),
                     QString::number(counters_.Counter_Connection));
    file.WriteString(counterSection, QStringLiteral("Counter_Receiver"),
                     QString::number(counters_.Counter_Receiver));
    file.WriteString(counterSection, QStringLiteral("Counter_Source"),
                     QString::number(counters_.Counter_Source));
    for (RecordSet* table : {&dm_.Source, &dm_.Receiver, &dm_.Connection})
        WriteTableSection(file, table->Name(), *table);
    Save(file);
}

int* SettingsFile::CounterFor(const RecordSet& table) {
    if (&table == &dm_.Connection)
        return &counters_.Counter_Connection;
    if (&table == &dm_.Receiver)
        return &counters_.Counter_Receiver;
    if (&table == &dm_.Source)
        return &counters_.Counter_Source;
    return nullptr;
}

void SettingsFile::Save(const ProfileFile& file) const {
    if (file.Save() && othersRightsTaken_)
        othersRightsTaken_(path_);
}

#include "core/PasswordKeeper.h"

#include "core/SeparatedConnectionString.h"
#include "core/TableEventStore.h"
#include "core/TableFields.h"

#include <algorithm>

namespace {
const QString kKeyFields = Fields::VremTable::IdTable + u';' + Fields::VremTable::NameTable;

// One password is held as it is, as a single-password string always was. Several, or one
// that begins with the tag, are held as tag-led entries with the tag and escape escaped,
// so no held text can be read back as a different list.
const QChar kEntryTag = u'\x01';
const QChar kEscape = u'\x02';

QString JoinHeld(const QStringList& passwords) {
    if (passwords.size() == 1 && !passwords.first().startsWith(kEntryTag))
        return passwords.first();
    QString held;
    for (const QString& password : passwords) {
        held += kEntryTag;
        for (QChar ch : password) {
            if (ch == kEntryTag || ch == kEscape)
                held += kEscape;
            held += ch;
        }
    }
    return held;
}

QStringList SplitHeld(const QString& held) {
    if (!held.startsWith(kEntryTag))
        return {held};
    QStringList passwords;
    for (qsizetype i = 0; i < held.size(); ++i) {
        if (held[i] == kEntryTag) {
            passwords.append(QString());
            continue;
        }
        if (held[i] == kEscape && i + 1 < held.size())
            ++i;
        passwords.last() += held[i];
    }
    return passwords;
}

QString Asterisks(const QString& password) {
    return QString(password.size(), u'*');
}
} // namespace

PasswordKeeper::PasswordKeeper(RecordSet& vremTable, TableEventStore& events)
    : vremTable_(vremTable)
    , events_(events) {}

QChar PasswordKeeper::ConnectionStringSeparator(RecordSet& row) {
    if (row.Name() != u"Source")
        return u';';
    return ConnectionStringSeparator(
        row.Name(), row.FieldByName(Fields::Source::Id_Connection_Types).AsInteger());
}

QChar PasswordKeeper::ConnectionStringSeparator(const QString& tableName, int connectionType) {
    return tableName == u"Source" && connectionType != 1 ? u' ' : u';';
}

bool PasswordKeeper::IsMaskedPassword(const QString& text, const QString& held) {
    return text.size() == held.size() &&
           std::all_of(
               text.begin(), text.end(), [](QChar ch) { return ch == u'*'; });
}

void PasswordKeeper::HidePasswords(int id, RecordSet& table, const QString& connectionString) {
    SeparatedConnectionString parts(connectionString, ConnectionStringSeparator(table));
    const QList<int>& marked = parts.PasswordParts();
    if (!marked.isEmpty()) {
        const bool found = vremTable_.Locate(kKeyFields, {id, table.Name()});
        const QString held =
            found ? vremTable_.FieldByName(Fields::VremTable::Password).AsString() : QString();
        const QStringList heldPasswords = found ? SplitHeld(held) : QStringList();
        QStringList passwords;
        for (qsizetype k = 0; k < marked.size(); ++k) {
            const QString text = parts.PasswordText(marked[k]);
            const bool untouched =
                k < heldPasswords.size() && IsMaskedPassword(text, heldPasswords[k]);
            passwords.append(untouched ? heldPasswords[k] : text);
            parts.SetPasswordText(marked[k], Asterisks(passwords.last()));
        }
        const QString joined = JoinHeld(passwords);
        if (!found) {
            AddHeldPasswords(id, table.Name(), passwords);
        } else if (joined != held) {
            vremTable_.Edit();
            vremTable_.FieldByName(Fields::VremTable::Password).SetAsString(joined);
            vremTable_.Post();
        }
    }

    SuspendedTableEvents suspended(events_, table);
    table.Edit();
    table.FieldByName(Fields::Shared::Connection_String).SetAsString(parts.Joined());
    table.Post();
}

QString PasswordKeeper::UnmaskConnectionString(int id, const QString& tableName, QChar separator,
                                               const QString& shown) const {
    const std::optional<QStringList> held = HeldPasswords(id, tableName);
    if (!held || (held->size() == 1 && held->first().isEmpty()))
        return shown;
    SeparatedConnectionString parts(shown, separator);
    const QList<int>& marked = parts.PasswordParts();
    for (qsizetype k = 0; k < marked.size() && k < held->size(); ++k)
        if (IsMaskedPassword(parts.PasswordText(marked[k]), held->at(k)))
            parts.SetPasswordText(marked[k], held->at(k));
    return parts.Terminated();
}

void PasswordKeeper::HideLoadedPasswords(RecordSet& row, const QString& stored) {
    Field connectionString = row.FieldByName(Fields::Shared::Connection_String);
    SeparatedConnectionString parts(stored, ConnectionStringSeparator(row));
    QStringList passwords;
    // Indexed: joining a password with the parts after it renumbers the parts.
    for (qsizetype k = 0; k < parts.PasswordParts().size(); ++k) {
        const int index = parts.PasswordParts()[k];
        passwords.append(
            parts.JoinedPasswordText(index, cipher_.DecipherPassword(parts.PasswordText(index))));
        parts.SetPasswordText(index, Asterisks(passwords.last()));
    }
    if (!passwords.isEmpty())
        AddHeldPasswords(row.FieldByName(Fields::Shared::Id).AsInteger(), row.Name(), passwords);
    connectionString.SetAsString(parts.Joined());
}

QString PasswordKeeper::EncipherConnectionString(int id, const QString& tableName, QChar separator,
                                                 const QString& connectionString) const {
    const std::optional<QStringList> held = HeldPasswords(id, tableName);
    if (!held)
        return connectionString;
    SeparatedConnectionString parts(connectionString, separator);
    const QList<int>& marked = parts.PasswordParts();
    for (qsizetype k = 0; k < marked.size(); ++k) {
        // A part the held list does not reach keeps its own text, enciphered all the same.
        const QString password = k < held->size() ? held->at(k) : parts.PasswordText(marked[k]);
        parts.SetPasswordText(marked[k], cipher_.EncipherPassword(password));
    }
    return parts.Joined();
}

std::optional<QStringList> PasswordKeeper::HeldPasswords(int id, const QString& tableName) const {
    const QVariantList found =
        vremTable_.Lookup(kKeyFields, {id, tableName}, Fields::VremTable::Password);
    if (found.isEmpty())
        return std::nullopt;
    return SplitHeld(found.first().toString());
}

void PasswordKeeper::AddHeldPasswords(int id, const QString& tableName,
                                      const QStringList& passwords) {
    vremTable_.Append();
    vremTable_.FieldByName(Fields::VremTable::IdTable).SetAsInteger(id);
    vremTable_.FieldByName(Fields::VremTable::NameTable).SetAsString(tableName);
    vremTable_.FieldByName(Fields::VremTable::Password).SetAsString(JoinHeld(passwords));
    vremTable_.Post();
}

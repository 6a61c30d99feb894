// A connection string of any text, cut at either separator, its passwords hidden as a loaded
// settings file hides them and unmasked again as a worker unmasks them.
#include "FuzzInput.h"

#include "core/SeparatedConnectionString.h"
#include "platform/ConnectionStringParts.h"
#include "platform/Errors.h"
#include "support/SettingsConfiguration.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the table: a receiver (";") or a 1C source (" ").
    const bool oneCSource = data[0] & 1;
    const QString text = QString::fromUtf8(FuzzInput::Bytes(data + 1, size - 1));
    const QChar separator = oneCSource ? u' ' : u';';

    SeparatedConnectionString::SplitConnectionString(text, separator);
    SeparatedConnectionString parts(text, separator);
    for (int index : parts.PasswordParts()) {
        parts.PasswordText(index);
        parts.JoinedPasswordText(index, parts.PasswordText(index));
    }
    parts.Joined();
    parts.Terminated();

    const ConnectionStringParts keyed(text);
    keyed.Value(QStringLiteral("DBNAME"));
    keyed.NamesFirebirdDriver();
    keyed.Scrub(text);

    SettingsConfiguration configuration(FuzzInput::ScratchPath(QStringLiteral("unused.ini")));
    RecordSet& table = oneCSource ? configuration.dm.Source : configuration.dm.Receiver;
    table.Append();
    table.FieldByName(QStringLiteral("Id")).SetAsInteger(1);
    table.FieldByName(QStringLiteral("Id_Connection_Types")).SetAsInteger(oneCSource ? 2 : 1);
    if (PasswordKeeper::ConnectionStringSeparator(table) != separator)
        std::abort();
    try {
        configuration.passwords.HideLoadedPasswords(table, text);
    } catch (const Exception&) {
        // A line break in the text does not fit the field: the load stops with a message.
        return 0;
    }
    table.Post();
    const QString shown = table.FieldByName(QStringLiteral("Connection_String")).AsString();
    const QString unmasked =
        configuration.passwords.UnmaskConnectionString(1, table.Name(), separator, shown);
    configuration.passwords.EncipherConnectionString(1, table.Name(), separator, unmasked);
    return 0;
}

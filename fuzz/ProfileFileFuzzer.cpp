// A profile file of any bytes: every section and key it shows reads back, and a value written
// into it reads back exactly.
#include "FuzzInput.h"

#include "platform/Errors.h"
#include "platform/ProfileFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path =
        FuzzInput::WriteScratchFile(QStringLiteral("profile.ini"), FuzzInput::Bytes(data, size));
    try {
        ProfileFile file(path);
        QStringList sections;
        const QStringList lines = QString::fromUtf8(FuzzInput::Bytes(data, size)).split(u'\n');
        for (const QString& line : lines) {
            const QString trimmed = line.trimmed();
            if (trimmed.startsWith(u'[') && trimmed.endsWith(u']'))
                sections.append(trimmed.mid(1, trimmed.size() - 2));
        }
        for (const QString& section : sections) {
            for (const QString& entry : file.ReadSection(section)) {
                const QString key = entry.section(u'=', 0, 0);
                file.ReadString(section, key);
                file.ReadInteger(section, key, 0);
            }
            file.ForEachKeyLine(section, [](QStringView key, QStringView value) {
                (void)key.size();
                (void)value.size();
            });
        }
        const QString section = sections.value(0, QStringLiteral("Settings"));
        const QString value = QStringLiteral("written `value` ") + section;
        file.WriteString(section, QStringLiteral("FuzzKey"), value);
        if (file.ReadString(section, QStringLiteral("FuzzKey")) != value)
            std::abort();
    } catch (const Exception&) {
        // A file that is no text, or too large, is refused with a message.
    }
    return 0;
}

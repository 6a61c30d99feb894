#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Files are written in the system code page (UTF-8 here). A file brought from a Windows
// installation is in Windows-1251, or in UTF-16 when it was saved as "Unicode"; and a file
// edited on both systems mixes the first two line by line. Windows-1251 has a table of our own:
// Qt's decoder reads the unassigned byte 0x98 as U+0098 without an error, and such a file is no
// text.
namespace TextCodec {

QString FromWindows1251(const QByteArray& bytes);
// nullopt when a character has no Windows-1251 byte.
std::optional<QByteArray> ToWindows1251(const QString& text);

enum class FileEncoding { Utf8, Utf16LittleEndian, Utf16BigEndian };

struct FileText {
    QString text;
    FileEncoding encoding = FileEncoding::Utf8;
};

// A file that begins with a UTF-16 byte-order mark is UTF-16; otherwise each line that is
// valid UTF-8 is UTF-8 and any other line Windows-1251. A UTF-8 mark is dropped. nullopt when
// the bytes are no text: a NUL or another control character, a byte Windows-1251 leaves
// unassigned, broken UTF-16.
std::optional<FileText> DecodeFileText(const QByteArray& bytes);
// UTF-16 keeps its byte order and mark, so that Windows still reads such a file as Unicode.
QByteArray EncodeFileText(const QString& text, FileEncoding encoding = FileEncoding::Utf8);

} // namespace TextCodec

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Files are written in the system code page (UTF-8 here). A file brought from a Windows
// installation is in Windows-1251; it is recognised by not being valid UTF-8.
namespace TextCodec {

bool IsValidUtf8(const QByteArray& bytes);
QString FromWindows1251(const QByteArray& bytes);
// nullopt when a character has no Windows-1251 byte.
std::optional<QByteArray> ToWindows1251(const QString& text);

// UTF-8 when the bytes are valid UTF-8, Windows-1251 otherwise.
QString DecodeFileText(const QByteArray& bytes);
QByteArray EncodeFileText(const QString& text);

} // namespace TextCodec

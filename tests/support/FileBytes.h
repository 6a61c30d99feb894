#pragma once

#include <QByteArray>
#include <QString>

// Files made byte by byte and read back as bytes.
namespace FileBytes {
// Fails the running test when the file cannot be written whole.
void Write(const QString& path, const QByteArray& bytes);
// Empty when the file cannot be read.
QByteArray Read(const QString& path);
} // namespace FileBytes

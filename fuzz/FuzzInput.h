#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every target needs around one input: a Qt application object for the lifetime of the
// process (made in LLVMFuzzerInitialize, defined once for all targets), and a scratch folder of
// its own for the files the parsers read.
namespace FuzzInput {

QByteArray Bytes(const std::uint8_t* data, std::size_t size);
// The scratch folder, made on first use and removed at exit.
QString ScratchPath(const QString& name);
// The bytes as the whole content of a scratch file; returns its path.
QString WriteScratchFile(const QString& name, const QByteArray& bytes);

} // namespace FuzzInput

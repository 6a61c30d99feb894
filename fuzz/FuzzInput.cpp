#include "FuzzInput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace {

QTemporaryDir& Scratch() {
    static QTemporaryDir dir;
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Kept for the whole run: the data module's timer and Qt's text handling want it.
    static QCoreApplication application(*argc, *argv);
    Q_UNUSED(application);
    return 0;
}

namespace FuzzInput {

QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

QString ScratchPath(const QString& name) {
    if (!Scratch().isValid())
        std::abort();
    return QDir(Scratch().path()).filePath(name);
}

QString WriteScratchFile(const QString& name, const QByteArray& bytes) {
    const QString path = ScratchPath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    return path;
}

} // namespace FuzzInput

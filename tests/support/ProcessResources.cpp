#include "ProcessResources.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

int Entries(const QString& folder) {
    return int(
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

// The parent's pid from /proc/<pid>/stat; the command name in parentheses may hold blanks.
qint64 ParentOf(const QString& pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const qsizetype nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : -1;
}

} // namespace

namespace ProcessResources {

QStringList OpenFiles() {
    QStringList targets;
    const QDir folder(QStringLiteral("/proc/self/fd"));
    const QStringList entries =
        folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& entry : entries) {
        char target[4096];
        const ssize_t length = ::readlink(QFile::encodeName(folder.filePath(entry)).constData(),
                                          target, sizeof target);
        if (length > 0)
            targets.append(QFile::decodeName(QByteArray(target, length)));
    }
    return targets;
}

int Threads() {
    return Entries(QStringLiteral("/proc/self/task"));
}

int Children() {
    const qint64 self = ::getpid();
    int children = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (numeric && ParentOf(entry) == self)
            ++children;
    }
    return children;
}

} // namespace ProcessResources

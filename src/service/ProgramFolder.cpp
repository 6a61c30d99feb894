#include "service/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

std::optional<ProgramCommandLine> ParseProgramCommandLine(const QStringList& arguments) {
    ProgramCommandLine commandLine;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--headless"))
            continue;
        if (arguments[i] == QLatin1String("--folder")) {
            if (++i == arguments.size())
                return std::nullopt;
            commandLine.Folder = QDir(arguments[i]).absolutePath();
            continue;
        }
        commandLine.Arguments.append(arguments[i]);
    }
    if (commandLine.Folder.isEmpty())
        commandLine.Folder = QCoreApplication::applicationDirPath();
    return commandLine;
}

ProgramFolderLock::ProgramFolderLock(const QString& folder)
    : folder_(folder)
    , lock_(QDir(folder).filePath(QStringLiteral("Corvane.lock"))) {
    // A lock left by a process that no longer runs is taken over; age alone never is.
    lock_.setStaleLockTime(0);
}

QString ProgramFolderLock::TryLock() {
    if (lock_.tryLock(0))
        return QString();
    if (lock_.error() != QLockFile::LockFailedError)
        return QStringLiteral("Файл блокировки %1 не создаётся.").arg(lock_.fileName());
    heldByAnother_ = true;
    qint64 pid = 0;
    lock_.getLockInfo(&pid, nullptr, nullptr);
    return QStringLiteral("Сервис синхронизаций уже работает с папкой %1 (процесс %2), "
                          "второй экземпляр не запускается.")
        .arg(folder_)
        .arg(pid);
}

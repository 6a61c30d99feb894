#include "service/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

SettingsFileLocation::SettingsFileLocation(const QString& folder) {
    const QString name = QStringLiteral("Corvane.ini");
    const QDir dir(folder);
    path_ = dir.filePath(name);
    if (QFileInfo::exists(path_))
        return;
    QStringList variants;
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            variants.append(entry);
    }
    variants.sort();
    if (variants.size() == 1) {
        path_ = dir.filePath(variants.first());
    } else if (variants.size() > 1) {
        refusal_ =
            QStringLiteral("В папке %1 нет файла %2, но есть несколько файлов с этим именем "
                           "в другом регистре букв: %3. Оставьте один из них.")
                .arg(QDir::toNativeSeparators(folder), name, variants.join(QStringLiteral(", ")));
    }
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

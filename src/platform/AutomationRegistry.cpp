#include "platform/AutomationRegistry.h"

#include "platform/ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

AutomationRegistry::AutomationRegistry(QString path)
    : path_(std::move(path)) {}

std::optional<AutomationRegistry::Server> AutomationRegistry::Find(const QString& progId) const {
    if (progId.isEmpty() || !QFileInfo(path_).isFile())
        return std::nullopt;
    const ProfileFile file(path_);
    const QString program = file.ReadString(progId, QStringLiteral("Program"));
    if (program.isEmpty())
        return std::nullopt;
    QString absolute = QFileInfo(path_).dir().absoluteFilePath(program);
    // A bare name with no file of that name beside the registration is a command (wine, ssh).
    if (!program.contains(QLatin1Char('/')) && !QFileInfo::exists(absolute)) {
        const QString command = QStandardPaths::findExecutable(program);
        if (!command.isEmpty())
            absolute = command;
    }
    return Server{QDir::cleanPath(absolute),
                  QProcess::splitCommand(file.ReadString(progId, QStringLiteral("Arguments")))};
}

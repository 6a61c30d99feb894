#include "service/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// "<address>:<port>", the address an IPv4 or IPv6 one (this one in brackets).
bool ParseStatusAddress(const QString& text, UnattendedOptions& options) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QString address = text.left(colon);
    if (address.startsWith(u'[') && address.endsWith(u']'))
        address = address.mid(1, address.size() - 2);
    bool portOk = false;
    const uint port = text.mid(colon + 1).toUInt(&portOk);
    if (!portOk || port == 0 || port > 65535 || !options.StatusAddress.setAddress(address))
        return false;
    options.StatusPort = quint16(port);
    return true;
}

bool ParseStaleMinutes(const QString& text, UnattendedOptions& options) {
    bool ok = false;
    const double minutes = text.toDouble(&ok);
    if (!ok || minutes <= 0)
        return false;
    options.StaleSeconds = qMax<qint64>(1, qRound64(minutes * 60));
    return true;
}

} // namespace

std::optional<ProgramCommandLine> ParseProgramCommandLine(const QStringList& arguments) {
    ProgramCommandLine commandLine;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--headless"))
            continue;
        if (arguments[i] == QLatin1String("--on-event")) {
            commandLine.Unattended.EventCommand = arguments.mid(i + 1);
            if (commandLine.Unattended.EventCommand.isEmpty())
                return std::nullopt;
            break;
        }
        const bool valued = arguments[i] == QLatin1String("--folder") ||
                            arguments[i] == QLatin1String("--status") ||
                            arguments[i] == QLatin1String("--alert-stale");
        if (valued && i + 1 == arguments.size())
            return std::nullopt;
        if (arguments[i] == QLatin1String("--folder")) {
            commandLine.Folder = QDir(arguments[++i]).absolutePath();
            continue;
        }
        if (arguments[i] == QLatin1String("--status")) {
            if (!ParseStatusAddress(arguments[++i], commandLine.Unattended))
                return std::nullopt;
            continue;
        }
        if (arguments[i] == QLatin1String("--alert-stale")) {
            if (!ParseStaleMinutes(arguments[++i], commandLine.Unattended))
                return std::nullopt;
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
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            variants.append(entry);
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

#include "WinePrefix.h"

#include "TestPaths.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace {

// Written once the prefix is complete, so a run cut short during the making starts over.
constexpr auto kReadyMarker = "ready";

// Mono and Gecko would be offered for download while the prefix is made; nothing here needs them.
constexpr auto kNoDownloads = "mscoree,mshtml=";

} // namespace

WinePrefix::WinePrefix(const QString& name)
    : path_(TestPaths::BinaryDir() + QStringLiteral("/wine/") + name) {
    qputenv("WINEPREFIX", QFile::encodeName(path_));
    qputenv("WINEDEBUG", "-all");
    qputenv("WINEDLLOVERRIDES", kNoDownloads);
    if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty()) {
        problem_ = QStringLiteral("Wine is not installed (no wine on PATH)");
        return;
    }
    QDir().mkpath(QFileInfo(path_).path());
    QLockFile lock(path_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(0);
    if (!lock.lock()) {
        problem_ = QStringLiteral("cannot lock %1").arg(lock.fileName());
        return;
    }
    if (!QFileInfo::exists(QDir(path_).filePath(QLatin1String(kReadyMarker))))
        Make();
}

WinePrefix::~WinePrefix() {
    if (IsUsable())
        QProcess::execute(QStringLiteral("wineserver"), {QStringLiteral("-k")});
}

bool WinePrefix::Make() {
    QDir(path_).removeRecursively();
    if (!RunWine(QStringLiteral("wine"), {QStringLiteral("wineboot"), QStringLiteral("--init")}) ||
        !RunWine(QStringLiteral("wineserver"), {QStringLiteral("-w")}))
        return false;
    QFile marker(QDir(path_).filePath(QLatin1String(kReadyMarker)));
    if (!marker.open(QIODevice::WriteOnly)) {
        problem_ = QStringLiteral("cannot write %1").arg(marker.fileName());
        return false;
    }
    return true;
}

bool WinePrefix::RunWine(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(180'000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        problem_ = QStringLiteral("%1 %2 failed in %3: %4 %5")
                       .arg(program, arguments.join(QLatin1Char(' ')), path_, process.errorString(),
                            QString::fromLocal8Bit(process.readAll()));
        process.kill();
        process.waitForFinished();
        return false;
    }
    return true;
}

QList<pid_t> WinePrefix::Processes() const {
    const QByteArray entry = "WINEPREFIX=" + QFile::encodeName(path_);
    QList<pid_t> found;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& name : pids) {
        bool ok = false;
        const pid_t pid = name.toInt(&ok);
        if (!ok || pid == ::getpid())
            continue;
        QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
        if (!environment.open(QIODevice::ReadOnly))
            continue;
        if (environment.readAll().split('\0').contains(entry))
            found.append(pid);
    }
    return found;
}

bool WinePrefix::WaitUntilIdle(std::chrono::milliseconds limit) const {
    const QDeadlineTimer deadline(limit);
    while (!Processes().isEmpty()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

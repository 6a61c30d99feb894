#include "service/HeadlessRunner.h"

#include "core/TDm.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"
#include "service/EndSignals.h"
#include "service/HeadlessApplication.h"
#include "service/HeadlessPrompts.h"
#include "service/HeadlessWindowLink.h"
#include "service/JournalStream.h"
#include "service/ProgramFolder.h"
#include "service/TSynchronization_Service.h"
#include "service/UnattendedOperation.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

constexpr int kExitCannotStart = 1;
constexpr int kExitAlreadyRunning = 2;
constexpr int kExitNotSaved = 3;

void PrintError(const QString& text) {
    JournalStream::Write(JournalStream::Error, text);
}

void PrintInformation(const QString& text) {
    JournalStream::Write(JournalStream::Information, text);
}

// The service with its settings loaded: runs until the end signal.
int RunLoaded(TSynchronization_Service& service, const ProgramCommandLine& commandLine,
              const QString& logPath) {
    UnattendedOperation unattended(service, commandLine.Unattended);
    if (const QString refusal = unattended.Prepare(); !refusal.isEmpty()) {
        PrintError(refusal);
        return kExitCannotStart;
    }
    // Without a window "RunAll" is how it always runs.
    service.StartAllConnections();
    unattended.Started();
    PrintInformation(QStringLiteral("Сервис синхронизаций работает без окна: папка %1, "
                                    "журнал %2. Остановка: SIGTERM или Ctrl+C.")
                         .arg(commandLine.Folder, logPath));
    QCoreApplication::exec();
    EndSignals::Release();
    PrintInformation(QStringLiteral("Сервис синхронизаций останавливается."));
    return unattended.End() ? 0 : kExitNotSaved;
}

} // namespace

int RunHeadless(int argc, char** argv) {
    HeadlessApplication application(argc, argv);
    const std::optional<ProgramCommandLine> commandLine =
        ParseProgramCommandLine(application.arguments().mid(1));
    if (!commandLine) {
        PrintError(QStringLiteral("Использование: corvane --headless [--folder <папка>] [RunAll]"));
        return kExitCannotStart;
    }
    const QString folder = commandLine->Folder;
    if (!QFileInfo(folder).isDir()) {
        PrintError(QStringLiteral("Папка программы %1 не найдена.").arg(folder));
        return kExitCannotStart;
    }

    ProgramFolderLock folderLock(folder);
    if (const QString refusal = folderLock.TryLock(); !refusal.isEmpty()) {
        PrintError(refusal);
        return folderLock.HeldByAnother() ? kExitAlreadyRunning : kExitCannotStart;
    }

    EndSignals endSignals;
    if (!endSignals.Installed()) {
        PrintError(QStringLiteral("Сигналы завершения не перехватываются: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return kExitCannotStart;
    }
    QObject::connect(&endSignals, &EndSignals::EndRequested, &application, &QCoreApplication::quit);

    const auto clock = std::make_shared<SystemClock>();
    HeadlessPrompts prompts(folder, *clock);
    HeadlessWindowLink window;
    application.SetPrompts(&prompts);

    ServiceEnvironment environment;
    environment.ProgramFolder = folder;
    environment.Arguments = commandLine->Arguments;
    environment.TimeSource = clock;
    environment.HandOver = std::make_shared<MainThreadHandOver>();
    environment.OperatorPrompts = &prompts;
    environment.Window = &window;

    TDm dm;
    dm.TaskScheduler.start();
    int exitCode = 0;
    {
        TSynchronization_Service service(dm, environment);
        if (!service.Loaded()) {
            PrintError(QStringLiteral("Файл настроек %1 не загружен: %2")
                           .arg(service.SettingsPath(), service.LoadError()));
            exitCode = kExitCannotStart;
        } else {
            exitCode = RunLoaded(service, *commandLine, prompts.LogPath());
        }
        dm.TaskScheduler.stop();
    }
    return exitCode;
}

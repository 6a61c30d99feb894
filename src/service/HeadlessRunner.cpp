#include "service/HeadlessRunner.h"

#include "core/uDm.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"
#include "service/HeadlessApplication.h"
#include "service/HeadlessPrompts.h"
#include "service/HeadlessWindowLink.h"
#include "service/ProgramFolder.h"
#include "service/uSupporting.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kExitCannotStart = 1;
constexpr int kExitAlreadyRunning = 2;

// The signal handler may only write to this socket; the event loop reads it.
int signalSockets[2] = {-1, -1};

void SignalArrived(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

bool CatchEndSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = SignalArrived;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

// A second signal while the connections are being stopped ends the program at once.
void ReleaseEndSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

void PrintError(const QString& text) {
    std::fputs((text + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
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

    if (!CatchEndSignals()) {
        PrintError(QStringLiteral("Сигналы завершения не перехватываются: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return kExitCannotStart;
    }
    QSocketNotifier endRequest(signalSockets[1], QSocketNotifier::Read);
    QObject::connect(&endRequest, &QSocketNotifier::activated, &application, [&] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalSockets[1], &byte, 1);
        QCoreApplication::quit();
    });

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
            // Without a window "RunAll" is how it always runs.
            service.StartAllConnections();
            PrintError(QStringLiteral("Сервис синхронизаций работает без окна: папка %1, "
                                      "журнал %2. Остановка: SIGTERM или Ctrl+C.")
                           .arg(folder, prompts.LogPath()));
            QCoreApplication::exec();
            ReleaseEndSignals();
            PrintError(QStringLiteral("Сервис синхронизаций останавливается."));
        }
        dm.TaskScheduler.stop();
    }
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    return exitCode;
}

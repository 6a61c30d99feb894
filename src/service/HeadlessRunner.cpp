#include "service/HeadlessRunner.h"

#include "core/uDm.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"
#include "service/HeadlessApplication.h"
#include "service/HeadlessPrompts.h"
#include "service/HeadlessWindowLink.h"
#include "service/uSupporting.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
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

const QString kHeadlessSwitch = QStringLiteral("--headless");
const QString kFolderOption = QStringLiteral("--folder");

struct CommandLine {
    QString folder; // empty: the executable's folder
    QStringList arguments;
};

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

std::optional<CommandLine> ParseCommandLine(int argc, char** argv) {
    CommandLine commandLine;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == kHeadlessSwitch)
            continue;
        if (argument == kFolderOption) {
            if (++i == argc)
                return std::nullopt;
            commandLine.folder = QString::fromLocal8Bit(argv[i]);
            continue;
        }
        commandLine.arguments.append(argument);
    }
    return commandLine;
}

} // namespace

int RunHeadless(int argc, char** argv) {
    HeadlessApplication application(argc, argv);
    const std::optional<CommandLine> commandLine = ParseCommandLine(argc, argv);
    if (!commandLine) {
        PrintError(QStringLiteral("Использование: corvane --headless [--folder <папка>] [RunAll]"));
        return kExitCannotStart;
    }
    const QString folder = commandLine->folder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                         : QDir(commandLine->folder).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        PrintError(QStringLiteral("Папка программы %1 не найдена.").arg(folder));
        return kExitCannotStart;
    }

    QLockFile instanceLock(QDir(folder).filePath(QStringLiteral("Corvane.lock")));
    // A lock left by a process that no longer runs is taken over; age alone never is.
    instanceLock.setStaleLockTime(0);
    if (!instanceLock.tryLock(0)) {
        if (instanceLock.error() != QLockFile::LockFailedError) {
            PrintError(
                QStringLiteral("Файл блокировки %1 не создаётся.").arg(instanceLock.fileName()));
            return kExitCannotStart;
        }
        qint64 pid = 0;
        instanceLock.getLockInfo(&pid, nullptr, nullptr);
        PrintError(QStringLiteral("Сервис синхронизаций уже работает с папкой %1 (процесс %2), "
                                  "второй экземпляр не запускается.")
                       .arg(folder)
                       .arg(pid));
        return kExitAlreadyRunning;
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
    environment.Arguments = commandLine->arguments;
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

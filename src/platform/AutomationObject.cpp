#include "platform/AutomationObject.h"

#include "platform/AutomationProtocol.h"
#include "platform/AutomationRegistry.h"
#include "platform/Errors.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How long a released server may take to end on its own before it is killed.
constexpr std::chrono::milliseconds kReleaseGrace{500};
// How long a server that closed its output is given to become a process that has ended, so
// that how it ended can be told.
constexpr std::chrono::milliseconds kEndingGrace{200};

QString SystemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void CloseDescriptor(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

QString ProgIdForType(int type) {
    switch (type) {
    case 2:
        return QStringLiteral("V1CEnterprise.Application");
    case 3:
        return QStringLiteral("V77.Application");
    case 4:
        return QStringLiteral("V77S.Application");
    case 5:
        return QStringLiteral("V77L.Application");
    case 6:
        return QStringLiteral("V77M.Application");
    default:
        return QString();
    }
}

void AutomationObject::KillOnStop::operator()() const noexcept {
    object->Cancel();
}

void AutomationObject::Cancel() {
    const std::lock_guard lock(processMutex_);
    if (pid_ != 0)
        ::kill(pid_, SIGKILL);
}

AutomationObject::AutomationObject(const QString& progId, const QString& registrationFile,
                                   std::stop_token abort)
    : progId_(progId)
    , abort_(std::move(abort)) {
    const std::optional<AutomationRegistry::Server> server =
        AutomationRegistry(registrationFile).Find(progId);
    if (!server)
        throw EOleSysError(
            QStringLiteral("Недопустимая строка с указанием класса: %1").arg(progId));

    // The request channel is a socket so that writing to a dead server fails with EPIPE
    // instead of raising SIGPIPE in the whole program.
    int request[2];
    int answer[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, request) != 0)
        throw EOleSysError(SystemMessage(errno));
    if (::pipe2(answer, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(request[0]);
        ::close(request[1]);
        throw EOleSysError(SystemMessage(error));
    }

    std::vector<QByteArray> words{server->program.toLocal8Bit()};
    for (const QString& argument : server->arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, request[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, answer[1], STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(request[1]);
    ::close(answer[1]);
    if (error != 0) {
        ::close(request[0]);
        ::close(answer[0]);
        throw EOleSysError(QStringLiteral("Не удалось запустить сервер автоматизации %1 (%2): %3")
                               .arg(progId, server->program, SystemMessage(error)));
    }
    pid_ = pid;
    requestFd_ = request[0];
    answerFd_ = answer[0];
    if (abort_.stop_possible())
        stopCallback_.emplace(abort_, KillOnStop{this});
}

AutomationObject::~AutomationObject() {
    stopCallback_.reset();
    if (pid_ != 0) {
        // End of input asks the server to end; one that does not is killed.
        CloseDescriptor(requestFd_);
        const auto deadline = std::chrono::steady_clock::now() + kReleaseGrace;
        while (pid_ != 0 && std::chrono::steady_clock::now() < deadline) {
            const pid_t ended = ::waitpid(pid_, nullptr, WNOHANG);
            if (ended == pid_ || (ended < 0 && errno != EINTR)) {
                pid_ = 0;
                break;
            }
            // Drain the answers so that a server blocked on a full pipe can end.
            pollfd answers{answerFd_, POLLIN, 0};
            if (answerFd_ >= 0 && ::poll(&answers, 1, 5) > 0) {
                char discard[4096];
                if (::read(answerFd_, discard, sizeof discard) <= 0)
                    CloseDescriptor(answerFd_);
            } else if (answerFd_ < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        Kill();
    }
}

QVariant AutomationObject::RMTrade() {
    return Call(QStringLiteral("RMTrade"), {});
}

QVariant AutomationObject::Initialize(const QVariant& rmTrade, const QString& commandLine,
                                      const QString& splash) {
    return Call(QStringLiteral("Initialize"), {rmTrade, commandLine, splash});
}

QVariant AutomationObject::EvalExpr(const QString& expression) {
    return Call(QStringLiteral("EvalExpr"), {expression});
}

QVariant AutomationObject::Call(const QString& method, const QVariantList& arguments) {
    if (pid_ == 0)
        throw EOleSysError(QStringLiteral("Сервер автоматизации %1 не работает").arg(progId_));
    Send(AutomationProtocol::EncodeRequest(method, arguments), method);
    const std::optional<AutomationProtocol::Answer> answer =
        AutomationProtocol::DecodeAnswer(ReceiveLine(method));
    if (!answer)
        Fail(QStringLiteral("Сервер автоматизации %1 дал неверный ответ на вызов %2")
                 .arg(progId_, method));
    if (answer->failed && answer->outsideObject)
        throw EOleSysError(answer->message);
    if (answer->failed)
        throw EOleException(answer->message);
    return answer->value;
}

void AutomationObject::Send(const QByteArray& request, const QString& method) {
    if (abort_.stop_requested())
        Fail(LostMessage(method));
    qsizetype sent = 0;
    while (sent < request.size()) {
        const ssize_t written = ::send(requestFd_, request.constData() + sent,
                                       size_t(request.size() - sent), MSG_NOSIGNAL);
        if (written > 0)
            sent += written;
        else if (errno != EINTR)
            Fail(LostMessage(method));
    }
}

QByteArray AutomationObject::ReceiveLine(const QString& method) {
    for (;;) {
        const qsizetype end = received_.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = received_.left(end);
            received_.remove(0, end + 1);
            return line;
        }
        char chunk[65536];
        const ssize_t count = ::read(answerFd_, chunk, sizeof chunk);
        if (count > 0)
            received_.append(chunk, count);
        else if (count == 0 || errno != EINTR)
            Fail(LostMessage(method));
    }
}

QString AutomationObject::LostMessage(const QString& method) {
    if (abort_.stop_requested())
        return QStringLiteral("Вызов %1 сервера автоматизации %2 прерван: программа завершается")
            .arg(method, progId_);
    const QString lost = QStringLiteral("Сервер автоматизации %1 завершился во время вызова %2")
                             .arg(progId_, method);
    const std::optional<int> status = ReapEnded();
    if (!status)
        return lost;
    if (WIFSIGNALED(*status))
        return lost + QStringLiteral(" (сигнал %1)").arg(WTERMSIG(*status));
    return lost + QStringLiteral(" (код выхода %1)").arg(WEXITSTATUS(*status));
}

std::optional<int> AutomationObject::ReapEnded() {
    const std::lock_guard lock(processMutex_);
    const auto deadline = std::chrono::steady_clock::now() + kEndingGrace;
    while (pid_ != 0) {
        int status = 0;
        const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
        if (ended == pid_) {
            pid_ = 0;
            return status;
        }
        if ((ended < 0 && errno != EINTR) || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

void AutomationObject::Fail(const QString& message) {
    Kill();
    throw EOleSysError(message);
}

void AutomationObject::Kill() {
    CloseChannels();
    const std::lock_guard lock(processMutex_);
    if (pid_ == 0)
        return;
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
}

void AutomationObject::CloseChannels() {
    CloseDescriptor(requestFd_);
    CloseDescriptor(answerFd_);
    received_.clear();
}

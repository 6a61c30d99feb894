// Median time of one EvalExpr round trip through the automation bridge, beside a bare pipe
// round trip of the same request size to an echo child (cat). They alternate round by round,
// so all see the same load on the machine. With --wine, the same call also goes to the COM
// stand-in through Wine and the Windows automation bridge.
#include "support/ComStandIn.h"
#include "support/InfobaseFixture.h"
#include "support/WinePrefix.h"

#include "platform/AutomationObject.h"
#include "platform/AutomationProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stop_token>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kWarmup = 200;
constexpr int kRounds = 5000;
// A Wine round trip costs far more; fewer rounds keep the run short.
constexpr int kWineRounds = 2000;

using Clock = std::chrono::steady_clock;

double MedianMicroseconds(std::vector<Clock::duration> samples) {
    std::sort(samples.begin(), samples.end());
    return std::chrono::duration<double, std::micro>(samples[samples.size() / 2]).count();
}

[[noreturn]] void Stop(const char* why) {
    std::fprintf(stderr, "%s\n", why);
    std::exit(1);
}

// /bin/cat on two plain pipes: the floor a line round trip to a child costs.
struct EchoChild {
    pid_t pid = 0;
    int requestFd = -1;
    int answerFd = -1;

    EchoChild() {
        int request[2];
        int answer[2];
        if (::pipe(request) != 0 || ::pipe(answer) != 0)
            Stop("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, request[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, answer[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, request[1]);
        posix_spawn_file_actions_addclose(&actions, answer[0]);
        char program[] = "/bin/cat";
        char* argv[] = {program, nullptr};
        if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) != 0)
            Stop("cannot start cat");
        posix_spawn_file_actions_destroy(&actions);
        ::close(request[0]);
        ::close(answer[1]);
        requestFd = request[1];
        answerFd = answer[0];
    }

    ~EchoChild() {
        ::close(requestFd);
        ::close(answerFd);
        ::waitpid(pid, nullptr, 0);
    }

    void RoundTrip(const std::vector<char>& line, std::vector<char>& echoed) const {
        if (::write(requestFd, line.data(), line.size()) != ssize_t(line.size()))
            Stop("write");
        size_t received = 0;
        while (received < echoed.size()) {
            const ssize_t count =
                ::read(answerFd, echoed.data() + received, echoed.size() - received);
            if (count <= 0)
                Stop("read");
            received += size_t(count);
        }
    }
};

// An automation object opened on the infobase, the codes added and the balances filled.
std::unique_ptr<AutomationObject> OpenedObject(const QString& registrationFile,
                                               const InfobaseFixture& infobase,
                                               std::stop_token stop) {
    auto object =
        std::make_unique<AutomationObject>(ProgIdForType(3), registrationFile, std::move(stop));
    object->Initialize(object->RMTrade(), infobase.CommandLine(), QStringLiteral("NO_SPLASH_SHOW"));
    object->EvalExpr(QStringLiteral("глДобавитьВТаблицуОстатковОЛЕ(1001)"));
    object->EvalExpr(QStringLiteral("глЗаполнитьТаблицуОстатковОЛЕ()"));
    return object;
}

struct Subject {
    const char* name;
    std::unique_ptr<AutomationObject> object;
    std::vector<Clock::duration> samples;
};

} // namespace

int main(int argc, char** argv) {
    const bool wine = argc > 1 && std::strcmp(argv[1], "--wine") == 0;
    const QString expression = QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ(1001)");
    const qsizetype lineSize =
        AutomationProtocol::EncodeRequest(QStringLiteral("EvalExpr"), {expression}).size();

    InfobaseFixture infobase;
    // With a stop token, as a worker creates it.
    std::stop_source stop;
    std::vector<Subject> subjects;
    subjects.push_back({"the stand-in process",
                        OpenedObject(infobase.RegistrationFile(), infobase, stop.get_token()),
                        {}});
    std::unique_ptr<WinePrefix> prefix;
    if (wine) {
        QString problem;
        prefix = ComStandIn::RegisteredPrefix(problem);
        if (!problem.isEmpty())
            Stop(qPrintable(problem));
        const QString registration = infobase.Folder() + QStringLiteral("/Wine.ini");
        ComStandIn::WriteRegistration(registration);
        subjects.push_back({"Wine, the bridge and the COM stand-in",
                            OpenedObject(registration, infobase, stop.get_token()),
                            {}});
    }
    const int rounds = wine ? kWineRounds : kRounds;

    const EchoChild echo;
    std::vector<char> line(size_t(lineSize), 'x');
    line.back() = '\n';
    std::vector<char> echoed(line.size());

    std::vector<Clock::duration> pipe;
    for (int i = 0; i < kWarmup + rounds; ++i) {
        for (Subject& subject : subjects) {
            const auto start = Clock::now();
            const QVariant answer = subject.object->EvalExpr(expression);
            const auto time = Clock::now() - start;
            if (answer.toDouble() != 12.5)
                Stop("unexpected answer");
            if (i >= kWarmup)
                subject.samples.push_back(time);
        }
        const auto start = Clock::now();
        echo.RoundTrip(line, echoed);
        const auto pipeTime = Clock::now() - start;
        if (i >= kWarmup)
            pipe.push_back(pipeTime);
    }
    const double pipeMedian = MedianMicroseconds(pipe);
    std::printf("bare pipe round trip of %lld bytes to cat:  median %.1f us (%d rounds)\n",
                static_cast<long long>(lineSize), pipeMedian, rounds);
    for (const Subject& subject : subjects) {
        const double median = MedianMicroseconds(subject.samples);
        std::printf("EvalExpr round trip through %s: median %.1f us, ratio to the pipe %.2f\n",
                    subject.name, median, median / pipeMedian);
    }
    std::printf("(goal for the stand-in process: ratio at most 3)\n");
    return 0;
}

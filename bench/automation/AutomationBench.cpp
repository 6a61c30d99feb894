// Median time of one EvalExpr round trip through the automation bridge, beside a bare pipe
// round trip of the same request size to an echo child (cat), measured in the same run.
#include "support/InfobaseFixture.h"

#include "platform/AutomationObject.h"
#include "platform/AutomationProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stop_token>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int Warmup = 200;
constexpr int Rounds = 5000;

using Clock = std::chrono::steady_clock;

double MedianMicroseconds(std::vector<Clock::duration> samples) {
    std::sort(samples.begin(), samples.end());
    return std::chrono::duration<double, std::micro>(samples[samples.size() / 2]).count();
}

double BridgeMedian(const QString& expression) {
    InfobaseFixture infobase;
    // With a stop token, as a worker creates it.
    std::stop_source stop;
    AutomationObject object(ProgIdForType(3), infobase.RegistrationFile(), stop.get_token());
    object.Initialize(object.RMTrade(), infobase.CommandLine(), QStringLiteral("NO_SPLASH_SHOW"));
    object.EvalExpr(QStringLiteral("глДобавитьВТаблицуОстатковОЛЕ(1001)"));
    object.EvalExpr(QStringLiteral("глЗаполнитьТаблицуОстатковОЛЕ()"));
    std::vector<Clock::duration> samples;
    for (int i = 0; i < Warmup + Rounds; ++i) {
        const auto start = Clock::now();
        const QVariant answer = object.EvalExpr(expression);
        const auto elapsed = Clock::now() - start;
        if (answer.toDouble() != 12.5) {
            std::fprintf(stderr, "unexpected answer %s\n", qPrintable(answer.toString()));
            std::exit(1);
        }
        if (i >= Warmup)
            samples.push_back(elapsed);
    }
    return MedianMicroseconds(samples);
}

double BarePipeMedian(qsizetype lineSize) {
    int request[2];
    int answer[2];
    if (::pipe(request) != 0 || ::pipe(answer) != 0)
        std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, request[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, answer[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, request[1]);
    posix_spawn_file_actions_addclose(&actions, answer[0]);
    char program[] = "/bin/cat";
    char* argv[] = {program, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) != 0)
        std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    ::close(request[0]);
    ::close(answer[1]);

    std::vector<char> line(size_t(lineSize), 'x');
    line.back() = '\n';
    std::vector<char> echoed(line.size());
    std::vector<Clock::duration> samples;
    for (int i = 0; i < Warmup + Rounds; ++i) {
        const auto start = Clock::now();
        if (::write(request[1], line.data(), line.size()) != ssize_t(line.size()))
            std::exit(1);
        size_t received = 0;
        while (received < echoed.size() || echoed[received - 1] != '\n') {
            const ssize_t count =
                ::read(answer[0], echoed.data() + received, echoed.size() - received);
            if (count <= 0)
                std::exit(1);
            received += size_t(count);
        }
        const auto elapsed = Clock::now() - start;
        if (i >= Warmup)
            samples.push_back(elapsed);
    }
    ::close(request[1]);
    ::close(answer[0]);
    ::waitpid(pid, nullptr, 0);
    return MedianMicroseconds(samples);
}

} // namespace

int main() {
    const QString expression = QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ(1001)");
    const qsizetype lineSize =
        AutomationProtocol::EncodeRequest(QStringLiteral("EvalExpr"), {expression}).size();
    const double bridge = BridgeMedian(expression);
    const double pipe = BarePipeMedian(lineSize);
    std::printf("EvalExpr round trip through the bridge: median %.1f us (%d rounds)\n", bridge,
                Rounds);
    std::printf("bare pipe round trip of %lld bytes to cat:  median %.1f us (%d rounds)\n",
                static_cast<long long>(lineSize), pipe, Rounds);
    std::printf("ratio %.2f (goal: at most 3)\n", bridge / pipe);
    return 0;
}

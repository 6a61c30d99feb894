#include "MeasuredChild.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QList>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

extern char** environ;

MeasuredChild::Figures MeasuredChild::Run(const QStringList& arguments) {
    const QByteArray program = ProgramPath();
    QList<QByteArray> texts{program};
    for (const QString& argument : arguments)
        texts.append(argument.toLocal8Bit());
    QList<char*> argv;
    for (QByteArray& text : texts)
        argv.append(text.data());
    argv.append(nullptr);

    int output[2];
    if (pipe(output) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    if (spawned != 0) {
        close(output[0]);
        throw std::runtime_error("cannot start the child: " + std::to_string(spawned));
    }

    QByteArray text;
    char buffer[4096];
    for (;;) {
        const ssize_t read = ::read(output[0], buffer, sizeof buffer);
        if (read > 0)
            text.append(buffer, read);
        else if (read == 0 || errno != EINTR)
            break;
    }
    close(output[0]);

    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error("wait4 failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the child failed: " + text.toStdString());
    const QList<QByteArray> times = text.trimmed().split('\n').last().split(' ');
    bool elapsedOk = false;
    bool cpuOk = false;
    bool updateOk = false;
    const double elapsedMs = times.value(0).toDouble(&elapsedOk);
    const double cpuMs = times.value(1).toDouble(&cpuOk);
    const double updateMs = times.value(2).toDouble(&updateOk);
    if (!elapsedOk || !cpuOk || !updateOk)
        throw std::runtime_error("the child reported no times: " + text.toStdString());
    // ru_maxrss is in kilobytes on Linux.
    return {elapsedMs, cpuMs, static_cast<double>(usage.ru_maxrss) / 1024.0, updateMs};
}

QByteArray MeasuredChild::ProgramPath() {
    const QString started = QCoreApplication::arguments().value(0);
    const QString path = started.contains(QLatin1Char('/'))
                             ? QFileInfo(started).absoluteFilePath()
                             : QCoreApplication::applicationFilePath();
    return path.toLocal8Bit();
}

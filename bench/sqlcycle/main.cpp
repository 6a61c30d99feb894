// One SQL update cycle through the engine against the shortest Qt SQL loop doing the same,
// for a Firebird embedded and a Firebird server receiver. Each path runs in a child process of
// its own (--child), which prints its time; the parent reads the child's peak memory.

#include "EngineCycle.h"
#include "FloorCycle.h"
#include "SqlCycleBenchmark.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>
#include <exception>

namespace {

double CpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1.0e3 + double(now.tv_nsec) / 1.0e6;
}

int RunChild(const QString& path, const QString& receiver, const QString& source) {
    // On a loaded machine the elapsed time says little; the CPU time of the cycle says what
    // this process itself spent on it.
    const double cpuStart = CpuMs();
    QElapsedTimer timer;
    timer.start();
    if (path == QLatin1String("engine"))
        EngineCycle::Run(receiver, source);
    else if (path == QLatin1String("floor"))
        FloorCycle::Run(receiver, source);
    else
        throw std::runtime_error("unknown path " + path.toStdString());
    std::printf("%.3f %.3f\n", double(timer.nsecsElapsed()) / 1.0e6, CpuMs() - cpuStart);
    return 0;
}

QList<int> ParseSizes(const QString& text) {
    QList<int> sizes;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int size = part.trimmed().toInt(&ok);
        if (!ok || size <= 0)
            throw std::runtime_error("not a size: " + part.toStdString());
        sizes.append(size);
    }
    return sizes;
}

QList<ReceiverKind> ParseReceivers(const QString& text) {
    QList<ReceiverKind> kinds;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("embedded"))
            kinds.append(ReceiverKind::Embedded);
        else if (part == QLatin1String("server"))
            kinds.append(ReceiverKind::Server);
        else
            throw std::runtime_error("not a receiver kind: " + part.toStdString());
    }
    return kinds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times one SQL update cycle of the engine against a minimal Qt SQL loop."));
    parser.addHelpOption();
    const QCommandLineOption sizes(QStringLiteral("sizes"),
                                   QStringLiteral("Item counts, comma-separated."),
                                   QStringLiteral("list"), QStringLiteral("25000,100000,400000"));
    const QCommandLineOption smoke(QStringLiteral("smoke"),
                                   QStringLiteral("A quick check with 1000 items, one run."));
    const QCommandLineOption repeats(QStringLiteral("repeats"),
                                     QStringLiteral("Runs of each path per size (median)."),
                                     QStringLiteral("count"), QStringLiteral("3"));
    const QCommandLineOption receivers(QStringLiteral("receivers"),
                                       QStringLiteral("embedded, server or both."),
                                       QStringLiteral("list"), QStringLiteral("embedded,server"));
    QCommandLineOption child(QStringLiteral("child"), QStringLiteral("Run one path."),
                             QStringLiteral("engine|floor"));
    QCommandLineOption receiver(QStringLiteral("receiver"), QStringLiteral("Receiver string."),
                                QStringLiteral("string"));
    QCommandLineOption source(QStringLiteral("source"), QStringLiteral("Source string."),
                              QStringLiteral("string"));
    for (QCommandLineOption* inner : {&child, &receiver, &source})
        inner->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({sizes, smoke, repeats, receivers, child, receiver, source});
    parser.process(app);

    try {
        if (parser.isSet(child))
            return RunChild(parser.value(child), parser.value(receiver), parser.value(source));
        const bool isSmoke = parser.isSet(smoke);
        SqlCycleBenchmark benchmark(isSmoke ? QList<int>{1000} : ParseSizes(parser.value(sizes)),
                                    ParseReceivers(parser.value(receivers)),
                                    isSmoke ? 1 : qMax(1, parser.value(repeats).toInt()));
        benchmark.Run();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "SqlCycleBench: %s\n", error.what());
        return 1;
    }
}

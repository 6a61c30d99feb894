// One SQL update cycle through the engine against the shortest Qt SQL loops doing the same,
// one prepared update a row and batched, for a Firebird embedded and a Firebird server
// receiver, the server optionally behind a link with latency. Each path runs in a child
// process of its own (--child), which prints its times; the parent reads its peak memory.

#include "CycleSchema.h"
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
    qint64 updateNs = 0;
    if (path == QLatin1String("engine"))
        updateNs = EngineCycle::Run(receiver, source);
    else if (path == QLatin1String("batch"))
        updateNs = FloorCycle::Run(receiver, source, CycleSchema::kFloorBatch);
    else if (path == QLatin1String("row"))
        updateNs = FloorCycle::Run(receiver, source, 1);
    else
        throw std::runtime_error("unknown path " + path.toStdString());
    std::printf("%.3f %.3f %.3f\n", double(timer.nsecsElapsed()) / 1.0e6, CpuMs() - cpuStart,
                double(updateNs) / 1.0e6);
    return 0;
}

QList<int> ParseNumbers(const QString& text) {
    QList<int> numbers;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int number = part.trimmed().toInt(&ok);
        if (!ok || number <= 0)
            throw std::runtime_error("not a count: " + part.toStdString());
        numbers.append(number);
    }
    return numbers;
}

QStringList ParsePaths(const QString& text) {
    QStringList paths;
    // Always in this order, so that the columns read the same in every run.
    for (const QString& known :
         {QStringLiteral("engine"), QStringLiteral("batch"), QStringLiteral("row")})
        if (text.split(QLatin1Char(',')).contains(known))
            paths.append(known);
    if (paths.isEmpty())
        throw std::runtime_error("no known path in " + text.toStdString());
    return paths;
}

QList<ReceiverKind> ParseReceivers(const QString& text) {
    QList<ReceiverKind> kinds;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (part == QLatin1String("embedded"))
            kinds.append(ReceiverKind::Embedded);
        else if (part == QLatin1String("server"))
            kinds.append(ReceiverKind::Server);
        else
            throw std::runtime_error("not a receiver kind: " + part.toStdString());
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
    const QCommandLineOption changed(QStringLiteral("changed"),
                                     QStringLiteral("Percentages of changed items, each a divisor "
                                                    "of 100, comma-separated."),
                                     QStringLiteral("list"), QStringLiteral("1,100"));
    const QCommandLineOption paths(
        QStringLiteral("paths"),
        QStringLiteral("engine, batch (batched floor), row (per-row floor), comma-separated."),
        QStringLiteral("list"), QStringLiteral("engine,batch,row"));
    const QCommandLineOption delay(
        QStringLiteral("delay"),
        QStringLiteral("Milliseconds every chunk to and from the server is held back each way."),
        QStringLiteral("ms"), QStringLiteral("0"));
    QCommandLineOption child(QStringLiteral("child"), QStringLiteral("Run one path."),
                             QStringLiteral("engine|floor"));
    QCommandLineOption receiver(QStringLiteral("receiver"), QStringLiteral("Receiver string."),
                                QStringLiteral("string"));
    QCommandLineOption source(QStringLiteral("source"), QStringLiteral("Source string."),
                              QStringLiteral("string"));
    for (QCommandLineOption* inner : {&child, &receiver, &source})
        inner->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions(
        {sizes, smoke, repeats, receivers, changed, paths, delay, child, receiver, source});
    parser.process(app);

    try {
        if (parser.isSet(child))
            return RunChild(parser.value(child), parser.value(receiver), parser.value(source));
        const bool isSmoke = parser.isSet(smoke);
        SqlCycleBenchmark::Setup setup;
        setup.itemCounts = isSmoke ? QList<int>{1000} : ParseNumbers(parser.value(sizes));
        setup.changedPercents = ParseNumbers(parser.value(changed));
        setup.receiverKinds = ParseReceivers(parser.value(receivers));
        setup.paths = ParsePaths(parser.value(paths));
        setup.repeats = isSmoke ? 1 : qMax(1, parser.value(repeats).toInt());
        setup.delayMs = qMax(0, parser.value(delay).toInt());
        SqlCycleBenchmark benchmark(setup);
        benchmark.Run();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "SqlCycleBench: %s\n", error.what());
        return 1;
    }
}

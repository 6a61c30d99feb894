#include "SqlCycleBenchmark.h"

#include "CycleDataSet.h"
#include "support/DatabaseFixtures.h"

#include <algorithm>
#include <cstdio>

namespace {

// Goals: the engine's cycle within 1.3x the floor's time and 1.5x its memory, and four times
// the items within 4.5x the time.
constexpr double kTimeGoal = 1.3;
constexpr double kMemoryGoal = 1.5;
constexpr double kGrowthGoal = 4.5;
constexpr int kGrowthFrom = 100000;
constexpr int kGrowthTo = 400000;

const char* KindName(ReceiverKind kind) {
    return kind == ReceiverKind::Embedded ? "Firebird embedded"
                                          : "Firebird server over TCP (127.0.0.1:3050)";
}

double Median(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

MeasuredChild::Figures MedianOf(const QList<MeasuredChild::Figures>& runs) {
    QList<double> times;
    QList<double> cpuTimes;
    QList<double> memory;
    for (const MeasuredChild::Figures& run : runs) {
        times.append(run.elapsedMs);
        cpuTimes.append(run.cpuMs);
        memory.append(run.peakMiB);
    }
    return {Median(times), Median(cpuTimes), Median(memory)};
}

const char* Verdict(double value, double goal) {
    return value <= goal ? "met" : "MISSED";
}

} // namespace

SqlCycleBenchmark::SqlCycleBenchmark(QList<int> itemCounts, QList<ReceiverKind> receiverKinds,
                                     int repeats)
    : itemCounts_(std::move(itemCounts))
    , receiverKinds_(std::move(receiverKinds))
    , repeats_(repeats) {}

void SqlCycleBenchmark::Run() {
    for (int itemCount : std::as_const(itemCounts_)) {
        // Every size gets its own folder, so the copies of one size are gone before the next.
        DatabaseFixtures fixtures;
        std::fprintf(stderr, "building %d items\n", itemCount);
        CycleDataSet data(fixtures, itemCount);
        for (ReceiverKind kind : std::as_const(receiverKinds_))
            figures_[kind].append(Measure(data, kind));
    }
    for (ReceiverKind kind : std::as_const(receiverKinds_))
        Print(kind, figures_.value(kind));
}

SqlCycleBenchmark::Figures SqlCycleBenchmark::Measure(CycleDataSet& data, ReceiverKind kind) const {
    QList<MeasuredChild::Figures> engineRuns;
    QList<MeasuredChild::Figures> floorRuns;
    for (int repeat = 0; repeat < repeats_; ++repeat) {
        // Alternating which path goes first spreads any warming up of caches over both.
        const QStringList order =
            repeat % 2 == 0 ? QStringList{QStringLiteral("engine"), QStringLiteral("floor")}
                            : QStringList{QStringLiteral("floor"), QStringLiteral("engine")};
        for (const QString& path : order) {
            const MeasuredChild::Figures run = MeasureOnce(data, kind, path);
            (path == QLatin1String("engine") ? engineRuns : floorRuns).append(run);
            std::fprintf(stderr, "  %s, %d items, %s: %.1f ms, CPU %.1f ms, %.1f MiB\n",
                         KindName(kind), data.ItemCount(), qPrintable(path), run.elapsedMs,
                         run.cpuMs, run.peakMiB);
        }
    }
    return {data.ItemCount(), MedianOf(engineRuns), MedianOf(floorRuns)};
}

MeasuredChild::Figures SqlCycleBenchmark::MeasureOnce(CycleDataSet& data, ReceiverKind kind,
                                                      const QString& path) const {
    const QString receiver = data.FreshReceiver(kind);
    const MeasuredChild::Figures run =
        MeasuredChild::Run({QStringLiteral("--child"), path, QStringLiteral("--receiver"), receiver,
                            QStringLiteral("--source"), data.SourceConnectionString()});
    data.CheckUpdated(receiver);
    CycleDataSet::Discard(receiver);
    return run;
}

void SqlCycleBenchmark::Print(ReceiverKind kind, const QList<Figures>& figures) const {
    std::printf("\n%s receiver, SQLite ODBC source, 1%% of the quantities changed, "
                "median of %d runs; CPU is the cycle process's own\n",
                KindName(kind), repeats_);
    std::printf("%7s %9s %9s %6s %9s %9s %6s %9s %9s %6s\n", "items", "cycle ms", "floor ms",
                "ratio", "cycle CPU", "floor CPU", "ratio", "cycle MiB", "floor MiB", "ratio");
    for (const Figures& row : figures) {
        const double timeRatio = row.engine.elapsedMs / row.floor.elapsedMs;
        const double cpuRatio = row.engine.cpuMs / row.floor.cpuMs;
        const double memoryRatio = row.engine.peakMiB / row.floor.peakMiB;
        std::printf("%7d %9.1f %9.1f %5.2fx %9.1f %9.1f %5.2fx %9.1f %9.1f %5.2fx"
                    "  time %s, CPU %s, memory %s\n",
                    row.itemCount, row.engine.elapsedMs, row.floor.elapsedMs, timeRatio,
                    row.engine.cpuMs, row.floor.cpuMs, cpuRatio, row.engine.peakMiB,
                    row.floor.peakMiB, memoryRatio, Verdict(timeRatio, kTimeGoal),
                    Verdict(cpuRatio, kTimeGoal), Verdict(memoryRatio, kMemoryGoal));
    }
    for (qsizetype i = 1; i < figures.size(); ++i) {
        const Figures& smaller = figures.at(i - 1);
        const Figures& larger = figures.at(i);
        const double engineGrowth = larger.engine.elapsedMs / smaller.engine.elapsedMs;
        const double engineCpuGrowth = larger.engine.cpuMs / smaller.engine.cpuMs;
        std::printf("growth %d -> %d items (%.1fx): cycle %.2fx (CPU %.2fx), floor %.2fx "
                    "(CPU %.2fx)",
                    smaller.itemCount, larger.itemCount,
                    double(larger.itemCount) / smaller.itemCount, engineGrowth, engineCpuGrowth,
                    larger.floor.elapsedMs / smaller.floor.elapsedMs,
                    larger.floor.cpuMs / smaller.floor.cpuMs);
        if (smaller.itemCount == kGrowthFrom && larger.itemCount == kGrowthTo)
            std::printf("  goal within %.1fx: time %s, CPU %s", kGrowthGoal,
                        Verdict(engineGrowth, kGrowthGoal), Verdict(engineCpuGrowth, kGrowthGoal));
        std::printf("\n");
    }
    std::printf("goals: cycle within %.1fx the floor's time and %.1fx its peak memory; "
                "%d -> %d items within %.1fx the time\n",
                kTimeGoal, kMemoryGoal, kGrowthFrom, kGrowthTo, kGrowthGoal);
    std::fflush(stdout);
}

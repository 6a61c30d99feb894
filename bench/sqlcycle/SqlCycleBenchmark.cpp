#include "SqlCycleBenchmark.h"

#include "CycleDataSet.h"
#include "support/DatabaseFixtures.h"
#include "support/DelayingForwarder.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// Goals: the whole cycle within 1.2x the batched floor's time and 1.3x its peak memory, the
// update phase of a full rewrite at 80,000 rows/s or more, a full rewrite of 100,000 items
// over a 10 ms round trip within 10 s, and no cycle slower than the per-row loop of before.
constexpr double kTimeGoal = 1.2;
constexpr double kMemoryGoal = 1.3;
constexpr double kUpdateRateGoal = 80000;
constexpr double kSlowLinkGoalMs = 10000;

const QString kEngine = QStringLiteral("engine");
const QString kBatchFloor = QStringLiteral("batch");
const QString kRowFloor = QStringLiteral("row");

const char* KindName(ReceiverKind kind) {
    return kind == ReceiverKind::Embedded ? "Firebird embedded" : "Firebird server over TCP";
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
    QList<double> updateTimes;
    QList<double> requests;
    for (const MeasuredChild::Figures& run : runs) {
        times.append(run.elapsedMs);
        cpuTimes.append(run.cpuMs);
        memory.append(run.peakMiB);
        updateTimes.append(run.updateMs);
        requests.append(run.requests);
    }
    return {Median(times), Median(cpuTimes), Median(memory), Median(updateTimes), Median(requests)};
}

const char* Verdict(double value, double goal) {
    return value <= goal ? "met" : "MISSED";
}

} // namespace

SqlCycleBenchmark::SqlCycleBenchmark(Setup setup)
    : setup_(std::move(setup)) {}

SqlCycleBenchmark::~SqlCycleBenchmark() = default;

void SqlCycleBenchmark::Run() {
    QString server = QStringLiteral("127.0.0.1");
    if (setup_.delayMs > 0) {
        forwarder_ = std::make_unique<DelayingForwarder>(3050, setup_.delayMs);
        server += QStringLiteral("/%1").arg(forwarder_->Port());
    }
    for (int itemCount : std::as_const(setup_.itemCounts)) {
        for (int changedPercent : std::as_const(setup_.changedPercents)) {
            // Every data set gets its own folder, so its copies are gone before the next.
            DatabaseFixtures fixtures;
            std::fprintf(stderr, "building %d items, %d %% changed\n", itemCount, changedPercent);
            CycleDataSet data(fixtures, itemCount, changedPercent);
            for (ReceiverKind kind : std::as_const(setup_.receiverKinds))
                figures_[kind].append(Measure(data, kind, server));
        }
    }
    for (ReceiverKind kind : std::as_const(setup_.receiverKinds))
        Print(kind, figures_.value(kind));
}

SqlCycleBenchmark::Figures SqlCycleBenchmark::Measure(CycleDataSet& data, ReceiverKind kind,
                                                      const QString& server) const {
    QMap<QString, QList<MeasuredChild::Figures>> runs;
    for (int repeat = 0; repeat < setup_.repeats; ++repeat) {
        // Turning the order round every run spreads any warming up of caches over the paths.
        QStringList order = setup_.paths;
        if (repeat % 2 == 1)
            std::reverse(order.begin(), order.end());
        for (const QString& path : std::as_const(order)) {
            const MeasuredChild::Figures run = MeasureOnce(data, kind, server, path);
            runs[path].append(run);
            std::fprintf(stderr,
                         "  %s, %d items, %d %%, %s: %.1f ms, CPU %.1f ms, update %.1f ms, "
                         "%.1f MiB, %.0f chunks to the server\n",
                         KindName(kind), data.ItemCount(), data.ChangedPercent(), qPrintable(path),
                         run.elapsedMs, run.cpuMs, run.updateMs, run.peakMiB, run.requests);
        }
    }
    Figures figures{data.ItemCount(), data.ChangedPercent(), {}};
    for (auto it = runs.cbegin(); it != runs.cend(); ++it)
        figures.byPath.insert(it.key(), MedianOf(it.value()));
    return figures;
}

MeasuredChild::Figures SqlCycleBenchmark::MeasureOnce(CycleDataSet& data, ReceiverKind kind,
                                                      const QString& server,
                                                      const QString& path) const {
    const QString receiver = data.FreshReceiver(kind, server);
    const bool forwarded = forwarder_ && kind == ReceiverKind::Server;
    const qint64 requestsBefore = forwarded ? forwarder_->ChunksToTarget() : 0;
    MeasuredChild::Figures run =
        MeasuredChild::Run({QStringLiteral("--child"), path, QStringLiteral("--receiver"), receiver,
                            QStringLiteral("--source"), data.SourceConnectionString()});
    if (forwarded)
        run.requests = double(forwarder_->ChunksToTarget() - requestsBefore);
    data.CheckUpdated(receiver);
    CycleDataSet::Discard(receiver);
    return run;
}

void SqlCycleBenchmark::Print(ReceiverKind kind, const QList<Figures>& figures) const {
    std::printf("\n%s receiver", KindName(kind));
    if (kind == ReceiverKind::Server && setup_.delayMs > 0)
        std::printf(", every chunk delayed %d ms each way", setup_.delayMs);
    std::printf(", SQLite ODBC source, median of %d runs; ms: whole cycle / update phase, "
                "CPU: the cycle process's own\n",
                setup_.repeats);
    for (const Figures& row : figures) {
        std::printf("%7d items, %3d %% changed:", row.itemCount, row.changedPercent);
        for (const QString& path : std::as_const(setup_.paths)) {
            const MeasuredChild::Figures& run = row.byPath.value(path);
            std::printf("  %s %.0f / %.0f ms, CPU %.0f ms, %.1f MiB", qPrintable(path),
                        run.elapsedMs, run.updateMs, run.cpuMs, run.peakMiB);
            if (forwarder_ && kind == ReceiverKind::Server)
                std::printf(", %.0f chunks to the server", run.requests);
            std::printf(";");
        }
        std::printf("\n");
        if (!row.byPath.contains(kEngine))
            continue;
        const MeasuredChild::Figures& engine = row.byPath.value(kEngine);
        const double changed = double(row.itemCount) * row.changedPercent / 100.0;
        std::printf("    engine update phase %.0f rows/s", changed * 1000.0 / engine.updateMs);
        if (row.changedPercent == 100)
            std::printf(" (goal %.0f: %s)", kUpdateRateGoal,
                        engine.updateMs * kUpdateRateGoal <= changed * 1000.0 ? "met" : "MISSED");
        if (row.byPath.contains(kBatchFloor)) {
            const MeasuredChild::Figures& floor = row.byPath.value(kBatchFloor);
            const double time = engine.elapsedMs / floor.elapsedMs;
            const double memory = engine.peakMiB / floor.peakMiB;
            std::printf("; against the batched floor: time %.2fx (%s), memory %.2fx (%s)", time,
                        Verdict(time, kTimeGoal), memory, Verdict(memory, kMemoryGoal));
        }
        if (row.byPath.contains(kRowFloor)) {
            const double time = engine.elapsedMs / row.byPath.value(kRowFloor).elapsedMs;
            std::printf("; against the per-row floor: time %.2fx (%s)", time, Verdict(time, 1.0));
        }
        if (kind == ReceiverKind::Server && setup_.delayMs > 0)
            std::printf("; whole cycle within %.0f ms: %s", kSlowLinkGoalMs,
                        Verdict(engine.elapsedMs, kSlowLinkGoalMs));
        std::printf("\n");
    }
    std::fflush(stdout);
}

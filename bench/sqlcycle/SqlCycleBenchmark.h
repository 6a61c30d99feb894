#pragma once

#include "MeasuredChild.h"
#include "ReceiverKind.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <memory>

class CycleDataSet;
class DelayingForwarder;

// Times one SQL update cycle through the engine against the floor loops, each in a process of
// its own so that its peak memory is its own, and prints the figures with their goals. The
// server receiver is reached through a forwarder that delays every chunk by delayMs each way
// when delayMs is more than 0.
class SqlCycleBenchmark {
public:
    struct Setup {
        QList<int> itemCounts;
        QList<int> changedPercents;
        QList<ReceiverKind> receiverKinds;
        // "engine", "batch" (the batched floor) and "row" (the per-row floor), in this order.
        QStringList paths;
        int repeats = 3;
        int delayMs = 0;
    };

    explicit SqlCycleBenchmark(Setup setup);
    ~SqlCycleBenchmark();

    void Run();

private:
    struct Figures {
        int itemCount = 0;
        int changedPercent = 0;
        QMap<QString, MeasuredChild::Figures> byPath;
    };

    Figures Measure(CycleDataSet& data, ReceiverKind kind, const QString& server) const;
    MeasuredChild::Figures MeasureOnce(CycleDataSet& data, ReceiverKind kind, const QString& server,
                                       const QString& path) const;
    void Print(ReceiverKind kind, const QList<Figures>& figures) const;

    Setup setup_;
    std::unique_ptr<DelayingForwarder> forwarder_;
    QMap<ReceiverKind, QList<Figures>> figures_;
};

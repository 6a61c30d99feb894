#pragma once

#include "MeasuredChild.h"
#include "ReceiverKind.h"

#include <QList>
#include <QMap>

class CycleDataSet;

// Times one SQL update cycle through the engine against the floor loop, each in a process of
// its own so that its peak memory is its own, and prints the figures with their goals.
class SqlCycleBenchmark {
public:
    SqlCycleBenchmark(QList<int> itemCounts, QList<ReceiverKind> receiverKinds, int repeats);

    void Run();

private:
    struct Figures {
        int itemCount = 0;
        MeasuredChild::Figures engine;
        MeasuredChild::Figures floor;
    };

    Figures Measure(CycleDataSet& data, ReceiverKind kind) const;
    MeasuredChild::Figures MeasureOnce(CycleDataSet& data, ReceiverKind kind,
                                       const QString& path) const;
    void Print(ReceiverKind kind, const QList<Figures>& figures) const;

    QList<int> itemCounts_;
    QList<ReceiverKind> receiverKinds_;
    int repeats_;
    QMap<ReceiverKind, QList<Figures>> figures_;
};

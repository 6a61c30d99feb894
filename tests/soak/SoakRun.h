#pragma once

#include "SoakConnection.h"

#include "core/ConnectionStatus.h"
#include "core/EventCode.h"
#include "core/TDm.h"
#include "support/DatabaseFixtures.h"
#include "support/RecordingWindowLink.h"
#include "support/ScriptedPrompts.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <array>
#include <functional>
#include <memory>
#include <random>
#include <vector>

class MainThreadHandOver;
class TSynchronization_Service;
class TWorkThread;
class VirtualClock;

// What a soak step may do to the connections, counted per kind.
enum class SoakAction {
    SourceAway,
    SourceFailsMidway,
    ReceiverAway,
    ReceiverRefusesMidway,
    InfobaseFails,
    InfobaseDies,
    InfobaseAnswerGarbled,
    OperatorStart,
    OperatorStop,
    OperatorStopDuringCycle,
    WatchdogTick,
    WatchdogAfterStaleCycle,
    Count
};

// The whole service on virtual time over SQL and 1C connections into Firebird receivers, driven
// step by step with faults chosen by a seeded generator. Each step moves time to the next wake
// of a worker, lets every worker settle into its next wait and checks what must always hold.
// Main thread only; needs a running QCoreApplication.
class SoakRun {
public:
    // cycles: the worker cycles (updates and failures in the log) to run at least.
    SoakRun(quint32 seed, int cycles);
    ~SoakRun();
    SoakRun(const SoakRun&) = delete;
    SoakRun& operator=(const SoakRun&) = delete;

    // False after the first broken invariant, which is printed with the seed and the step.
    bool Run();

private:
    struct Fault {
        SoakAction Kind;
        int Connection; // index into connections_; -1 for the infobase's switches
        QString Call;   // the infobase's call that fails
    };
    struct LogState {
        QList<EventCode> SinceStart; // the main events since the last start
        int Updated = 0;
        int Failed = 0;
    };

    void Configure();
    void Step();
    void ChangeFaults();
    void ApplyFaults();
    void OperatorActs();
    void MoveTime();
    bool Chance(double probability);
    int Below(int bound);
    // A connection that fits, -1 if none does.
    int Pick(const std::function<bool(int)>& fits);
    int RandomRunning();
    int RandomIdle();
    void Count(SoakAction action) { ++counts_[size_t(action)]; }
    void TickWatchdog();
    void Stop(int index);

    // Every running worker waits on the clock and the watchdog is idle.
    bool AllAsleep() const;
    // No running worker is inside a cycle.
    bool BetweenCycles() const;
    // Moves time on until every worker waits between its cycles; otherwise what keeps them
    // from it, or that a minute passed.
    QStringList Settle();
    // Workers asleep on the clock although a stop found them busy and waits for their check.
    QStringList StoppedButWaiting() const;
    bool Running(int index) const;
    ConnectionStatus Status(int index) const;
    // Every broken invariant, each in a line; empty when all hold.
    QStringList Broken(int step);
    void ReadLog();
    QStringList StatusAgainstEvents(int index) const;
    QStringList Registrations();
    QStringList Leaks(int step);
    void Fail(int step, const QStringList& broken) const;
    void Report(int steps, qint64 elapsedMs) const;
    int Passes() const;

    quint32 seed_;
    int cycles_;
    std::mt19937 random_;
    DatabaseFixtures databases_;
    QTemporaryDir folder_;
    std::vector<std::unique_ptr<SoakConnection>> connections_;
    QList<int> ids_;
    std::shared_ptr<VirtualClock> clock_;
    std::shared_ptr<MainThreadHandOver> handOver_;
    ScriptedPrompts prompts_;
    RecordingWindowLink window_;
    TDm dm_;
    std::unique_ptr<TSynchronization_Service> service_;
    QList<Fault> faults_;
    QStringList switches_;
    // Workers the operator stopped; one stopped in its wait still sleeps until the wait ends.
    std::vector<std::weak_ptr<TWorkThread>> stopped_;
    std::array<int, size_t(SoakAction::Count)> counts_{};
    QHash<int, LogState> log_;
    qint64 logOffset_ = 0;
    // Registrations left by a cycle that ended in an update error, as "id start".
    QSet<QString> leftByUpdateError_;
    int fileBound_ = 0;
    int threadBound_ = 0;
};

#pragma once

#include "engine/EngineEnvironment.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

class TThread;
class TWorkThread;

// How long a stopped worker may stay in its present call before the call is cut short.
inline constexpr std::chrono::milliseconds kDefaultStopGrace{15000};

// Starting and stopping the workers of single connections and of all of them, and the list of
// running workers. Main thread only.
class ConnectionControl {
public:
    struct RunningConnection {
        QString Key; // the connection Id in decimal
        std::shared_ptr<TWorkThread> Worker;
    };

    explicit ConnectionControl(EngineEnvironment environment,
                               std::chrono::milliseconds stopGrace = kDefaultStopGrace);
    // Shuts down what is still running.
    ~ConnectionControl();
    ConnectionControl(const ConnectionControl&) = delete;
    ConnectionControl& operator=(const ConnectionControl&) = delete;

    void StartConnection(int id);
    void StopConnection(int id, bool confirm);
    void StartAllConnections();
    void StopAllConnections();
    // The command-line arguments after the program path.
    void ApplyCommandLine(const QStringList& arguments);

    // Entries of workers still running, in the order they were started.
    const std::vector<RunningConnection>& RunningConnections() const { return running_; }
    // The worker running for the connection; nullptr when none.
    std::shared_ptr<TWorkThread> FindRunning(int id) const;

    // The watchdog has cleared the receiver of the connection's cycle registered at start:
    // that cycle, if it still runs, is cut short so the worker goes on with its next one.
    void CancelStaleCycle(int id, const QDateTime& start);

    // Program end: cuts every wait and every call in progress short, closes the hand-over so
    // that no worker step runs any more, waits a few seconds for the workers to end and leaves
    // behind any that still do not (a connect cannot be cut short).
    void Shutdown();

private:
    // A worker's thread has ended: it leaves both lists and is destroyed.
    void WorkerEnded(const TThread* worker);
    int ConnectionStatusOf(int id) const;
    // A stopped worker that has not come to its next check within the grace is cut short.
    void CancelAfterGrace(const std::shared_ptr<TWorkThread>& worker);

    EngineEnvironment environment_;
    std::chrono::milliseconds stopGrace_;
    std::vector<RunningConnection> running_;
    // Terminated while asleep and already off the list; kept until their threads end.
    std::vector<std::shared_ptr<TWorkThread>> retiring_;
    // Lets a queued end of a worker find out whether this object still exists.
    std::shared_ptr<ConnectionControl*> self_;
    bool shutDown_ = false;
};

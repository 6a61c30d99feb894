#pragma once

#include "engine/EngineEnvironment.h"
#include "engine/TThread.h"
#include "engine/TransferContext.h"
#include "engine/WorkerParameters.h"
#include "platform/CallCanceller.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>

#include <atomic>
#include <memory>
#include <mutex>

class AutomationObject;
class DbConnection;

// The worker of one running connection: repeats the update cycle, classifies its failures and
// hands every table, log and window step to the main thread.
class TWorkThread final : public TThread, public TransferContext {
public:
    // Created suspended; Start lets it run.
    TWorkThread(const WorkerParameters& parameters, const EngineEnvironment& environment);

    const WorkerParameters& Parameters() const override { return parameters_; }

    // Main-thread steps; called from the worker they wait until the main thread ran them.
    bool CanContinue() override;
    void PostLogCode(EventCode code) override;
    bool Sleep(std::int64_t ms) override;

    // The stop of a sleeping worker: terminates it when it is inside a wait and says so. Taken
    // together with the worker's own end of a wait, so a worker that has just woken is seen as
    // busy, never terminated behind its back.
    bool TerminateIfSleeping();

    // Main thread. A stopped worker stuck in a call: the call is cut short and the cycle ends
    // as after the stop request, with nothing reported. Nothing happens once the worker has
    // seen the request at a check.
    void CancelCallForStop();
    // Main thread. Cuts short the call of the cycle registered at start, if that cycle still
    // runs; the failure counts as a connection error.
    void CancelCycleStartedAt(const QDateTime& start);
    // Any thread: cuts short whatever call the worker is in.
    void CancelCall();

    bool Running = false;
    bool InPeriod = false;
    QString ErrorText;
    // The only field read by another thread while the worker runs.
    std::atomic<bool> Sleeping{false};
    EventCode LogCode{};

protected:
    void Execute() override;

private:
    void StartCycle();
    void RegisterCycleStart();
    void RegisterCycleEnd();
    void MarkUpdated();
    void ReportConnectionError();
    void ReportUpdateError();
    void ConnectionStopped();
    void CheckAttempts(int& failCount);

    // One pass inside the loop after the wait; the 1C object lives in the body.
    void Cycle(int& failCount, std::unique_ptr<AutomationObject>& infobase);
    // The cycle with the receiver created, and with the source created too: exactly one of
    // source (an SQL database) and infobase (a 1C one) is given.
    void WithReceiver(DbConnection& receiver, int& failCount,
                      std::unique_ptr<AutomationObject>& infobase);
    void WithSource(DbConnection& receiver, DbConnection* source, AutomationObject* infobase,
                    int& failCount);
    // Writes fields of the worker's own Connection row with the table's events attached, so
    // the file and the window follow; the operator's current row and pending edit stay.
    void UpdateConnectionRow(const QString& fields, const QVariantList& values);
    QVariant ConnectionValue(const QString& field) const;
    // CanContinue that, when it says yes, sets Sleeping for the wait that follows.
    bool CanContinueIntoWait();
    // Ends a wait: clears Sleeping and tells whether termination was requested.
    bool WakeUp();
    // A failure caused by the end of the program is not reported: the program is going.
    void PassOnAtProgramEnd() const;
    // A call cut short for a stop request is not reported either: the worker is stopping.
    bool CutShortForStop() const { return cancelledForStop_; }

    const WorkerParameters parameters_;
    const EngineEnvironment environment_;
    std::mutex wakeUp_;
    CallCanceller calls_;
    std::atomic<bool> stopSeen_{false};
    std::atomic<bool> cancelledForStop_{false};
    // Written and read on the main thread only.
    QDateTime cycleStart_;
};

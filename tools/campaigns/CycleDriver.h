#pragma once

#include "core/ConnectionStatus.h"
#include "support/EngineFixture.h"

#include "engine/ConnectionControl.h"

#include <QString>

#include <functional>

class CampaignReport;

// One connection of the real engine on virtual time, driven cycle by cycle for a campaign
// that kills one of its ends. Its attempt limit is out of reach: clearing the receiver after
// too many failures is a behaviour of its own and would hide the rounds the campaign checks.
class CycleDriver {
public:
    explicit CycleDriver(const QString& registrationFile = QString());

    EngineFixture& Fixture() { return fixture_; }
    // Starts the connection of the receiver and the source with a period of one minute; its
    // first cycle runs at once.
    void Start(int receiverId, int sourceId);

    // How many events of the code the connection has written.
    int Count(EventCode code) const;
    // Moves virtual time to the worker's next wake: the end of its period, retry wait or pause.
    void Wake();
    // Runs the main thread until the connection has written more than opens SourceOpened events
    // (its source is open) and its worker waits in the pause, or the cycle ended otherwise.
    void WaitForPause(int opens, int ends);
    // Runs the main thread until the connection has ended more than ends cycles and its worker
    // waits again, or has ended, and until condition holds.
    void WaitForCycleEnd(int ends, const std::function<bool()>& condition = {});

    // What a kill in the round left: the receiver of items holds one round whole, counted as
    // an outcome, and the worker runs. False when the worker ended.
    bool CheckAfterKill(CampaignReport& report, const QString& receiver, int items, int round);
    // Runs the next cycle, which nobody helps: it must write the round and leave the
    // connection updating.
    void CheckRecovery(CampaignReport& report, const QString& receiver, int items, int round);

    bool WorkerRunning() const;
    ConnectionStatus Status() const;
    // The text of the connection's last error event; empty when none.
    QString LastError() const;

private:
    static void Wait(const std::function<bool()>& condition, const char* what);

    EngineFixture fixture_;
    ConnectionControl control_;
    int id_ = 0;
};

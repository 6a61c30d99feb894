#pragma once

#include "engine/TransferContext.h"
#include "engine/WorkerParameters.h"

#include <QList>

#include <cstdint>

// The worker side of a transfer for tests: keeps the event codes and waits in order, answers
// CanContinue with false once the code StopAfterCode was posted, and tells the transfer that
// termination was requested during a wait when TerminateDuringSleep is set. Waits return at
// once.
class RecordingTransferContext final : public TransferContext {
public:
    explicit RecordingTransferContext(WorkerParameters parameters);

    const WorkerParameters& Parameters() const override { return parameters_; }
    bool CanContinue() override;
    void PostLogCode(EventCode code) override;
    bool Sleep(std::int64_t ms) override;

    const QList<EventCode>& LogCodes() const { return logCodes_; }
    const QList<std::int64_t>& Sleeps() const { return sleeps_; }

    EventCode StopAfterCode{};
    bool TerminateDuringSleep = false;

private:
    WorkerParameters parameters_;
    QList<EventCode> logCodes_;
    QList<std::int64_t> sleeps_;
};

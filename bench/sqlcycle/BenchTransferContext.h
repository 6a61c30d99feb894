#pragma once

#include "engine/TransferContext.h"
#include "engine/WorkerParameters.h"

#include <QElapsedTimer>

// A worker that never asks the transfer to stop and keeps no log, so only the transfer's own
// work is timed. It clocks the update phase: from the source's query read (SourceSelected) to the
// commit (ReceiverUpdated).
class BenchTransferContext : public TransferContext {
public:
    explicit BenchTransferContext(WorkerParameters parameters);

    const WorkerParameters& Parameters() const override;
    bool CanContinue() override;
    void PostLogCode(EventCode code) override;
    bool Sleep(std::int64_t ms) override;

    qint64 UpdateNs() const { return updateNs_; }

private:
    WorkerParameters parameters_;
    QElapsedTimer updateTimer_;
    qint64 updateNs_ = 0;
};

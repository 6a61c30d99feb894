#pragma once

#include "engine/TransferContext.h"
#include "engine/WorkerParameters.h"

// A worker that never asks the transfer to stop and keeps no log, so only the transfer's own
// work is timed.
class BenchTransferContext : public TransferContext {
public:
    explicit BenchTransferContext(WorkerParameters parameters);

    const WorkerParameters& Parameters() const override;
    bool CanContinue() override;
    void PostLogCode(int code) override;
    bool Sleep(std::int64_t ms) override;

private:
    WorkerParameters parameters_;
};

#pragma once

#include "core/EventCode.h"
#include "engine/WorkerParameters.h"

#include <cstdint>

// What a transfer uses of the worker that runs it.
class TransferContext {
public:
    virtual ~TransferContext() = default;

    virtual const WorkerParameters& Parameters() const = 0;
    // Main-thread steps; the worker waits for them.
    virtual bool CanContinue() = 0;
    virtual void PostLogCode(EventCode code) = 0;
    // Waits ms with the Sleeping flag set; false when termination was requested meanwhile
    // (or the program is ending), and at once, without waiting, when a stop came before.
    virtual bool Sleep(std::int64_t ms) = 0;
};

#include "RecordingTransferContext.h"

RecordingTransferContext::RecordingTransferContext(WorkerParameters parameters)
    : parameters_(std::move(parameters)) {}

bool RecordingTransferContext::CanContinue() {
    return StopAfterCode == EventCode{} || !logCodes_.contains(StopAfterCode);
}

void RecordingTransferContext::PostLogCode(EventCode code) {
    logCodes_.append(code);
}

bool RecordingTransferContext::Sleep(std::int64_t ms) {
    sleeps_.append(ms);
    return !TerminateDuringSleep;
}

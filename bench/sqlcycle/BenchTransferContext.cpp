#include "BenchTransferContext.h"

#include <QThread>

BenchTransferContext::BenchTransferContext(WorkerParameters parameters)
    : parameters_(std::move(parameters)) {}

const WorkerParameters& BenchTransferContext::Parameters() const {
    return parameters_;
}

bool BenchTransferContext::CanContinue() {
    return true;
}

void BenchTransferContext::PostLogCode(EventCode code) {
    if (code == EventCode::SourceSelected)
        updateTimer_.start();
    else if (code == EventCode::ReceiverUpdated)
        updateNs_ = updateTimer_.nsecsElapsed();
}

bool BenchTransferContext::Sleep(std::int64_t ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
    return true;
}

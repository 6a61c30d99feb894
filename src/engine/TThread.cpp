#include "engine/TThread.h"

#include "platform/MainThreadHandOver.h"

#include <chrono>

TThread::TThread(std::shared_ptr<MainThreadHandOver> handOver)
    : handOver_(std::move(handOver)) {}

TThread::~TThread() {
    if (!thread_.joinable())
        return;
    // The last reference may be dropped by the thread itself.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void TThread::Start() {
    thread_ = std::thread(&TThread::Run, shared_from_this());
}

void TThread::Terminate() {
    terminated_ = true;
}

bool TThread::Terminated() const {
    return terminated_;
}

void TThread::Abort() {
    abort_.request_stop();
}

std::stop_token TThread::AbortToken() const {
    return abort_.get_token();
}

bool TThread::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

bool TThread::WaitFor(int timeoutMs) {
    {
        std::unique_lock lock(mutex_);
        if (!finishedChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                       [this] { return finished_; }))
            return false;
    }
    if (thread_.joinable())
        thread_.join();
    return true;
}

void TThread::Detach() {
    if (thread_.joinable())
        thread_.detach();
}

void TThread::Synchronize(const std::function<void()>& step) {
    handOver_->Synchronize(step);
}

void TThread::FinishStepNow() {
    handOver_->FinishRoundNow();
}

void TThread::Run(std::shared_ptr<TThread> self) {
    try {
        self->Execute();
    } catch (...) {
        // Execute reports what it can; what is left is the end of the program.
    }
    {
        std::lock_guard lock(self->mutex_);
        self->finished_ = true;
        self->finishedChanged_.notify_all();
    }
    if (self->OnTerminate)
        QMetaObject::invokeMethod(
            self->handOver_.get(), [self, onTerminate = self->OnTerminate] { onTerminate(); },
            Qt::QueuedConnection);
}

#include "platform/MainThreadHandOver.h"

#include "platform/Errors.h"

#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <utility>

struct MainThreadHandOver::Request {
    std::function<void()> step;
    std::exception_ptr error;
    bool done = false;
    std::condition_variable finished;
};

MainThreadHandOver::MainThreadHandOver(QObject* parent)
    : QObject(parent) {}

MainThreadHandOver::~MainThreadHandOver() {
    Close();
}

void MainThreadHandOver::Synchronize(const std::function<void()>& step) {
    if (QThread::currentThread() == thread()) {
        if (IsClosed())
            throw EShutdown();
        step();
        return;
    }
    auto request = std::make_shared<Request>();
    request->step = step;
    std::unique_lock lock(mutex_);
    if (closed_)
        throw EShutdown();
    pending_.push_back(request);
    QMetaObject::invokeMethod(this, &MainThreadHandOver::RunPending, Qt::QueuedConnection);
    request->finished.wait(lock, [&] { return request->done; });
    if (request->error)
        std::rethrow_exception(request->error);
}

void MainThreadHandOver::SetRoundEnd(std::function<void()> work) {
    roundEnd_ = std::move(work);
}

void MainThreadHandOver::AwaitRoundEnd() {
    if (!roundEnd_)
        return;
    if (!running_) {
        roundEnd_();
        return;
    }
    if (std::find(awaitingRoundEnd_.begin(), awaitingRoundEnd_.end(), running_) ==
        awaitingRoundEnd_.end())
        awaitingRoundEnd_.push_back(running_);
}

void MainThreadHandOver::FinishRoundNow() {
    const auto own = std::find(awaitingRoundEnd_.begin(), awaitingRoundEnd_.end(), running_);
    if (own == awaitingRoundEnd_.end())
        return;
    awaitingRoundEnd_.erase(own);
    if (!roundEnd_)
        return;
    std::vector<std::shared_ptr<Request>> others = std::exchange(awaitingRoundEnd_, {});
    try {
        roundEnd_();
    } catch (...) {
        for (const auto& request : others)
            if (!request->error)
                request->error = std::current_exception();
        throw;
    }
}

void MainThreadHandOver::RunPending() {
    std::deque<std::shared_ptr<Request>> round;
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        round.swap(pending_);
    }
    if (round.empty())
        return;
    RunRound(round);
    RunRoundEnd(std::exchange(awaitingRoundEnd_, {}));
    std::lock_guard lock(mutex_);
    for (const auto& request : round) {
        request->done = true;
        request->finished.notify_all();
    }
}

void MainThreadHandOver::RunRound(const std::deque<std::shared_ptr<Request>>& round) {
    for (const auto& request : round) {
        // A step may open a dialog, whose event loop runs rounds of its own meanwhile.
        const std::shared_ptr<Request> outer = std::exchange(running_, request);
        try {
            if (IsClosed())
                throw EShutdown();
            request->step();
        } catch (...) {
            request->error = std::current_exception();
        }
        running_ = outer;
    }
}

void MainThreadHandOver::RunRoundEnd(std::vector<std::shared_ptr<Request>> waiting) {
    if (waiting.empty() || !roundEnd_)
        return;
    try {
        roundEnd_();
    } catch (...) {
        // A step's own failure came first and is the one its worker hears.
        for (const auto& request : waiting)
            if (!request->error)
                request->error = std::current_exception();
    }
}

void MainThreadHandOver::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (const auto& request : pending_) {
        request->error = std::make_exception_ptr(EShutdown());
        request->done = true;
        request->finished.notify_all();
    }
    pending_.clear();
}

bool MainThreadHandOver::IsClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

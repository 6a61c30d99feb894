#include "platform/MainThreadHandOver.h"

#include "platform/Errors.h"

#include <QThread>

#include <condition_variable>

struct MainThreadHandOver::Request {
    std::function<void()> step;
    std::exception_ptr error;
    bool done = false;
    std::condition_variable finished;
};

MainThreadHandOver::MainThreadHandOver(QObject* parent)
    : QObject(parent) {}

MainThreadHandOver::~MainThreadHandOver() { Close(); }

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

void MainThreadHandOver::RunPending() {
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty() || closed_)
                return;
            request = pending_.front();
            pending_.pop_front();
        }
        std::exception_ptr error;
        try {
            request->step();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        request->error = error;
        request->done = true;
        request->finished.notify_all();
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

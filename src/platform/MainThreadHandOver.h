#pragma once

#include <QObject>

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

// Runs steps of worker threads on the thread that owns this object (the main thread), one at a
// time, while the worker waits. An exception thrown by a step is thrown again in the worker.
class MainThreadHandOver : public QObject {
    Q_OBJECT
public:
    explicit MainThreadHandOver(QObject* parent = nullptr);
    ~MainThreadHandOver() override;

    // Blocks until the step ran on the main thread; runs it at once when called there.
    // Throws EShutdown when the hand-over was closed before the step could run.
    void Synchronize(const std::function<void()>& step);

    // Refuses every step from now on and releases the workers waiting for one, so that the
    // main thread can wait for them to end without a deadlock.
    void Close();
    bool IsClosed() const;

private:
    struct Request;
    void RunPending();

    mutable std::mutex mutex_;
    std::deque<std::shared_ptr<Request>> pending_;
    bool closed_ = false;
};

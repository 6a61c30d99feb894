#pragma once

#include <QObject>

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Runs steps of worker threads on the thread that owns this object (the main thread), one at a
// time, while the worker waits. An exception thrown by a step is thrown again in the worker.
// The steps waiting when the main thread turns to them run as one round, and the next round
// waits for the next turn of the event loop, so that timers and paints come in between.
class MainThreadHandOver : public QObject {
    Q_OBJECT
public:
    explicit MainThreadHandOver(QObject* parent = nullptr);
    ~MainThreadHandOver() override;

    // Blocks until the step ran on the main thread; runs it at once when called there.
    // Throws EShutdown when the hand-over was closed before the step could run.
    void Synchronize(const std::function<void()>& step);

    // The work that completes what steps changed, such as writing it to disk: it runs once for
    // all the steps of a round that asked for it (AwaitRoundEnd), before any of them is
    // reported done. Main thread only; an empty function removes it.
    void SetRoundEnd(std::function<void()> work);
    // Called by a step on the main thread: its worker is reported done only after the round's
    // end work ran, and gets the exception that work throws. Outside a step of a worker the
    // end work runs at once and throws to the caller.
    void AwaitRoundEnd();
    // Within a step: runs the end work now for the steps of the round that asked for it, so
    // that this step sees its failure; the other steps still get that failure as well.
    void FinishRoundNow();

    // Refuses every step from now on and releases the workers waiting for one, so that the
    // main thread can wait for them to end without a deadlock.
    void Close();
    bool IsClosed() const;

private:
    struct Request;
    void RunPending();
    void RunRound(const std::deque<std::shared_ptr<Request>>& round);
    void RunRoundEnd(std::vector<std::shared_ptr<Request>> waiting);

    mutable std::mutex mutex_;
    std::deque<std::shared_ptr<Request>> pending_;
    bool closed_ = false;
    // Main thread only.
    std::function<void()> roundEnd_;
    std::shared_ptr<Request> running_;
    std::vector<std::shared_ptr<Request>> awaitingRoundEnd_;
};

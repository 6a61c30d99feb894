#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

class MainThreadHandOver;

// A thread object created suspended. Steps that belong to the main thread go through the shared
// hand-over; the end of the thread is announced on the main thread by a queued call
// (OnTerminate), so the owner can let the object go without waiting for it. Owned through
// shared_ptr: the running thread keeps its own reference, so an owner that gives up waiting
// can leave it to finish alone.
class TThread : public std::enable_shared_from_this<TThread> {
public:
    explicit TThread(std::shared_ptr<MainThreadHandOver> handOver);
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Lets the suspended thread run; once only.
    void Start();

    // The polite request the body checks at its own moments.
    void Terminate();
    bool Terminated() const;

    // Program end: cuts waits and component calls short through AbortToken.
    void Abort();
    std::stop_token AbortToken() const;

    // True once the body has returned.
    bool Finished() const;
    // Waits up to timeoutMs of real time for the body to return, then joins; false when it did
    // not return in time.
    bool WaitFor(int timeoutMs);
    // Gives up the thread: it finishes on its own, keeping itself alive meanwhile.
    void Detach();

    // Runs on the main thread after the body has returned. Set before Start.
    std::function<void()> OnTerminate;

protected:
    virtual void Execute() = 0;
    // Runs the step on the main thread and waits for it; its error is raised here.
    void Synchronize(const std::function<void()>& step);
    // Within a step: completes now what the step changed (the settings file's write), which
    // otherwise follows the step, so that the step sees a failure of it.
    void FinishStepNow();

private:
    static void Run(std::shared_ptr<TThread> self);

    std::shared_ptr<MainThreadHandOver> handOver_;
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::stop_source abort_;
    mutable std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
};

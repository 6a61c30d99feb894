#pragma once

#include <functional>
#include <map>
#include <mutex>

// The components one thread is calling into that another thread may cut short: each is listed
// while it exists, and Cancel reaches every one listed at that moment.
class CallCanceller {
public:
    // Keeps a component listed; it leaves the list when this goes, after any cancel that is
    // reaching it has returned, so the component may be destroyed right afterwards.
    class Listing {
    public:
        Listing(CallCanceller& canceller, std::function<void()> cancel);
        ~Listing();
        Listing(const Listing&) = delete;
        Listing& operator=(const Listing&) = delete;

    private:
        CallCanceller& canceller_;
        int key_;
    };

    CallCanceller() = default;
    CallCanceller(const CallCanceller&) = delete;
    CallCanceller& operator=(const CallCanceller&) = delete;

    // From any thread.
    void Cancel();

private:
    std::mutex mutex_;
    std::map<int, std::function<void()>> listed_;
    int nextKey_ = 0;
};

#include "platform/Clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

QDateTime SystemClock::Now() const {
    return QDateTime::currentDateTime();
}

bool SystemClock::Sleep(std::int64_t ms, std::stop_token abort) {
    // The steady clock counts nanoseconds in 64 bits: a wait of years added to its present
    // overflows and ends at once, so a long wait is taken a day at a time.
    constexpr std::int64_t kSliceMs = 24LL * 3600 * 1000;
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    std::int64_t left = ms;
    do {
        const std::int64_t slice = std::min(left, kSliceMs);
        if (never.wait_for(lock, abort, std::chrono::milliseconds(slice), [] { return false; }) ||
            abort.stop_requested())
            return false;
        left -= slice;
    } while (left > 0);
    return true;
}

VirtualClock::VirtualClock(QDateTime start)
    : now_(std::move(start)) {}

QDateTime VirtualClock::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

bool VirtualClock::Sleep(std::int64_t ms, std::stop_token abort) {
    std::unique_lock lock(mutex_);
    const qint64 deadline = now_.toMSecsSinceEpoch() + ms;
    const auto slot = deadlines_.insert(deadline);
    changed_.notify_all();
    const bool woke =
        changed_.wait(lock, abort, [&] { return now_.toMSecsSinceEpoch() >= deadline; });
    deadlines_.erase(slot);
    changed_.notify_all();
    return woke;
}

void VirtualClock::Advance(std::int64_t ms) {
    std::lock_guard lock(mutex_);
    now_ = now_.addMSecs(ms);
    changed_.notify_all();
}

void VirtualClock::SetNow(const QDateTime& now) {
    std::lock_guard lock(mutex_);
    now_ = now;
    changed_.notify_all();
}

int VirtualClock::Sleepers() const {
    std::lock_guard lock(mutex_);
    return int(deadlines_.size());
}

int VirtualClock::DueSleepers() const {
    std::lock_guard lock(mutex_);
    return int(std::distance(deadlines_.begin(), deadlines_.upper_bound(now_.toMSecsSinceEpoch())));
}

bool VirtualClock::WaitForSleepers(int count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return int(deadlines_.size()) >= count; });
}

std::int64_t VirtualClock::AdvanceToNextWake() {
    std::lock_guard lock(mutex_);
    if (deadlines_.empty())
        return -1;
    const qint64 step = std::max<qint64>(0, *deadlines_.begin() - now_.toMSecsSinceEpoch());
    now_ = now_.addMSecs(step);
    changed_.notify_all();
    return step;
}

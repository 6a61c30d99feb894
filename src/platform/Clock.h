#pragma once

#include <QDateTime>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <stop_token>

// Every reading of the present time and every wait goes through a clock, so tests can run
// whole schedules on virtual time.
class Clock {
public:
    virtual ~Clock() = default;

    virtual QDateTime Now() const = 0;

    // Waits for ms milliseconds. Only the end of the program (abort) cuts a wait short;
    // returns false when it did.
    virtual bool Sleep(std::int64_t ms, std::stop_token abort) = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime Now() const override;
    bool Sleep(std::int64_t ms, std::stop_token abort) override;
};

// Time that moves only when a test advances it. Sleepers wake when virtual time reaches
// their deadline.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(QDateTime start);

    QDateTime Now() const override;
    bool Sleep(std::int64_t ms, std::stop_token abort) override;

    void Advance(std::int64_t ms);
    void SetNow(const QDateTime& now);

    int Sleepers() const;
    // Sleepers whose deadline has come but whose threads have not yet left their wait.
    int DueSleepers() const;
    // Blocks the test until at least count threads sleep (or timeoutMs of real time pass).
    bool WaitForSleepers(int count, int timeoutMs = 10000) const;
    // Moves time to the earliest deadline of a sleeper; returns the ms advanced, -1 if none.
    std::int64_t AdvanceToNextWake();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable_any changed_;
    QDateTime now_;
    std::multiset<qint64> deadlines_; // ms since epoch, one per sleeper
};

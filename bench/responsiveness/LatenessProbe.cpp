#include "LatenessProbe.h"

#include <algorithm>

LatenessProbe::LatenessProbe(std::function<qint64()> busyNs)
    : busyNs_(std::move(busyNs)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &LatenessProbe::Ticked);
}

void LatenessProbe::Start() {
    ticks_.clear();
    clock_.start();
    lastNs_ = 0;
    lastBusyNs_ = busyNs_();
    timer_.start();
}

void LatenessProbe::Stop() {
    timer_.stop();
}

void LatenessProbe::Ticked() {
    const qint64 now = clock_.nsecsElapsed();
    const qint64 busy = busyNs_();
    // A tick that comes early (Qt's precise timer may) is not late at all.
    const double lateness = std::max(0.0, double(now - lastNs_) / 1.0e6 - kIntervalMs);
    ticks_.push_back({lateness, double(busy - lastBusyNs_) / 1.0e6});
    lastNs_ = now;
    lastBusyNs_ = busy;
}

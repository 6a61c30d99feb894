#include "support/ResponsivenessProbe.h"

#include <algorithm>

ResponsivenessProbe::ResponsivenessProbe() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        const qint64 now = clock_.elapsed();
        worstLateness_ = std::max(worstLateness_, now - last_ - timer_.interval());
        last_ = now;
    });
}

void ResponsivenessProbe::Start() {
    clock_.start();
    last_ = 0;
    timer_.start();
}

void ResponsivenessProbe::Stop() {
    timer_.stop();
}

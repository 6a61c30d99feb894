#pragma once

#include <QElapsedTimer>
#include <QTimer>

// A 10 ms timer on the main thread that notes how late it fired at worst: how long the main
// thread was held up while something else waited.
class ResponsivenessProbe {
public:
    ResponsivenessProbe();

    void Start();
    void Stop();
    qint64 WorstLateness() const { return worstLateness_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worstLateness_ = 0;
};

#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

// A timer on the main thread every 10 ms that records how late each tick comes, and how much
// of the time since the tick before went into work the caller counts (busyNs, a running total).
class LatenessProbe : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 10;

    struct Tick {
        double latenessMs;
        double busyMs;
    };

    explicit LatenessProbe(std::function<qint64()> busyNs);

    void Start();
    void Stop();
    const std::vector<Tick>& Ticks() const { return ticks_; }

private:
    void Ticked();

    std::function<qint64()> busyNs_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastNs_ = 0;
    qint64 lastBusyNs_ = 0;
    std::vector<Tick> ticks_;
};

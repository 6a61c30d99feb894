#pragma once

#include <QByteArray>

struct MonitorSnapshot;

// The snapshot in the two forms the status server answers with. mainThreadAnswers is false
// when the snapshot is an older one because the main thread did not answer in time.
namespace MonitorReport {

// Prometheus text exposition format, version 0.0.4.
QByteArray PrometheusText(const MonitorSnapshot& snapshot, bool mainThreadAnswers);
QByteArray StatusJson(const MonitorSnapshot& snapshot, bool mainThreadAnswers);

} // namespace MonitorReport

#include "service/MonitorReport.h"

#include "service/MonitorSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace {

QByteArray LabelValue(const QString& text) {
    QByteArray escaped = text.toUtf8();
    escaped.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return escaped;
}

double SecondsSinceEpoch(const QDateTime& time) {
    return time.isValid() ? double(time.toMSecsSinceEpoch()) / 1000.0 : 0.0;
}

// One family of per-connection samples.
struct ConnectionMetric {
    const char* name;
    const char* type;
    const char* help;
    std::function<double(const ConnectionFigures&)> value;
};

const ConnectionMetric kConnectionMetrics[] = {
    {"corvane_connection_status", "gauge",
     "Connection status: 0 not updating, 1 updating, 2 update error, 3 stopping, 4 connection "
     "error, 5 waiting for its working period",
     [](const ConnectionFigures& c) { return double(c.Status); }},
    {"corvane_connection_last_success_timestamp_seconds", "gauge",
     "Time of the last successful update (0 before the first)",
     [](const ConnectionFigures& c) { return SecondsSinceEpoch(c.LastSuccess); }},
    {"corvane_connection_seconds_since_last_success", "gauge",
     "Seconds since the last successful update, or since the start when there was none",
     [](const ConnectionFigures& c) { return double(c.SecondsSinceSuccess); }},
    {"corvane_connection_last_cycle_duration_seconds", "gauge", "Duration of the last update cycle",
     [](const ConnectionFigures& c) { return double(c.LastCycleMs) / 1000.0; }},
    {"corvane_connection_last_cycle_items_changed", "gauge",
     "Items written into the receiver by the last transfer",
     [](const ConnectionFigures& c) { return double(c.ItemsChanged); }},
    {"corvane_connection_consecutive_failures", "gauge",
     "Counted failures since the last successful update",
     [](const ConnectionFigures& c) { return double(c.ConsecutiveFailures); }},
    {"corvane_connection_receiver_clears_by_attempt_limit_total", "counter",
     "Receiver clears after the attempt limit was passed",
     [](const ConnectionFigures& c) { return double(c.ClearsByAttemptLimit); }},
    {"corvane_connection_receiver_clears_by_watchdog_total", "counter",
     "Receiver clears by the watchdog of cycles that did not end",
     [](const ConnectionFigures& c) { return double(c.ClearsByWatchdog); }},
    {"corvane_connection_worker_running", "gauge", "1 while the connection's worker runs",
     [](const ConnectionFigures& c) { return c.WorkerRunning ? 1.0 : 0.0; }},
};

void AppendFamily(QByteArray& text, const char* name, const char* type, const char* help) {
    text += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void AppendSample(QByteArray& text, const char* name, const QByteArray& labels, double value) {
    text += name;
    if (!labels.isEmpty())
        text += '{' + labels + '}';
    text += ' ' + QByteArray::number(value, 'g', 17) + '\n';
}

} // namespace

QByteArray MonitorReport::PrometheusText(const MonitorSnapshot& snapshot, bool mainThreadAnswers) {
    QByteArray text;
    for (const ConnectionMetric& metric : kConnectionMetrics) {
        AppendFamily(text, metric.name, metric.type, metric.help);
        for (const ConnectionFigures& connection : snapshot.Connections) {
            const QByteArray labels = "name=\"" + LabelValue(connection.Name) + "\",id=\"" +
                                      QByteArray::number(connection.Id) + '"';
            AppendSample(text, metric.name, labels, metric.value(connection));
        }
    }
    AppendFamily(text, "corvane_connections_running", "gauge", "Connections whose worker runs");
    AppendSample(text, "corvane_connections_running", {}, snapshot.ConnectionsRunning);
    AppendFamily(text, "corvane_settings_last_save_success", "gauge",
                 "1 when the last save of the settings file succeeded");
    AppendSample(text, "corvane_settings_last_save_success", {},
                 snapshot.LastSaveSucceeded ? 1 : 0);
    AppendFamily(text, "corvane_main_thread_responsive", "gauge",
                 "1 when the main thread answered within a second");
    AppendSample(text, "corvane_main_thread_responsive", {}, mainThreadAnswers ? 1 : 0);
    return text;
}

QByteArray MonitorReport::StatusJson(const MonitorSnapshot& snapshot, bool mainThreadAnswers) {
    QJsonArray connections;
    for (const ConnectionFigures& c : snapshot.Connections) {
        connections.append(QJsonObject{
            {QStringLiteral("id"), c.Id},
            {QStringLiteral("name"), c.Name},
            {QStringLiteral("receiver"), c.ReceiverName},
            {QStringLiteral("status"), c.Status},
            {QStringLiteral("statusCaption"), c.StatusCaption},
            {QStringLiteral("lastSuccess"),
             c.LastSuccess.isValid() ? QJsonValue(c.LastSuccess.toString(Qt::ISODateWithMs))
                                     : QJsonValue()},
            {QStringLiteral("secondsSinceLastSuccess"), c.SecondsSinceSuccess},
            {QStringLiteral("lastCycleDurationSeconds"), double(c.LastCycleMs) / 1000.0},
            {QStringLiteral("lastCycleItemsChanged"), c.ItemsChanged},
            {QStringLiteral("consecutiveFailures"), c.ConsecutiveFailures},
            {QStringLiteral("receiverClearsByAttemptLimit"), c.ClearsByAttemptLimit},
            {QStringLiteral("receiverClearsByWatchdog"), c.ClearsByWatchdog},
            {QStringLiteral("workerRunning"), c.WorkerRunning},
        });
    }
    const QJsonObject status{
        {QStringLiteral("time"), snapshot.Taken.toString(Qt::ISODateWithMs)},
        {QStringLiteral("mainThreadResponsive"), mainThreadAnswers},
        {QStringLiteral("connectionsRunning"), snapshot.ConnectionsRunning},
        {QStringLiteral("connectionsInError"), snapshot.ConnectionsInError},
        {QStringLiteral("settingsLastSaveSucceeded"), snapshot.LastSaveSucceeded},
        {QStringLiteral("settingsLastSaveError"), snapshot.LastSaveError},
        {QStringLiteral("connections"), connections},
    };
    return QJsonDocument(status).toJson(QJsonDocument::Indented);
}

#include "service/StatusServer.h"

#include "service/ConnectionMonitor.h"
#include "service/MonitorReport.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>

#include <chrono>
#include <future>
#include <memory>

namespace {
constexpr std::chrono::seconds kMainThreadAnswerLimit{1};
const QByteArray kTextType = QByteArrayLiteral("text/plain; charset=utf-8");
const QByteArray kMetricsType = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");
const QByteArray kJsonType = QByteArrayLiteral("application/json");
} // namespace

StatusServer::StatusServer(ConnectionMonitor& monitor)
    : monitor_(monitor)
    , server_(new QHttpServer) {
    constexpr auto get = QHttpServerRequest::Method::Get;
    server_->route(QStringLiteral("/metrics"), get, [this](const QHttpServerRequest&) {
        const auto [snapshot, answered] = CurrentSnapshot();
        return QHttpServerResponse(kMetricsType, MonitorReport::PrometheusText(snapshot, answered));
    });
    server_->route(
        QStringLiteral("/status"), get,
        [this](const QHttpServerRequest&) {
            const auto [snapshot, answered] = CurrentSnapshot();
            return QHttpServerResponse(kJsonType, MonitorReport::StatusJson(snapshot, answered));
        });
    server_->route(QStringLiteral("/health"), get,
                   [this](const QHttpServerRequest&) { return Health(); });
    server_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, server_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("StatusServer"));
    thread_.start();
}

StatusServer::~StatusServer() {
    thread_.quit();
    thread_.wait();
}

QString StatusServer::Listen(const QHostAddress& address, quint16 port) {
    quint16 listening = 0;
    // The listening socket must belong to the server's thread.
    QMetaObject::invokeMethod(
        server_, [&] { listening = server_->listen(address, port); }, Qt::BlockingQueuedConnection);
    if (listening != 0)
        return QString();
    return QStringLiteral("Адрес состояния %1:%2 не открывается.")
        .arg(address.toString())
        .arg(port);
}

std::pair<MonitorSnapshot, bool> StatusServer::CurrentSnapshot() {
    auto answer = std::make_shared<std::promise<MonitorSnapshot>>();
    std::future<MonitorSnapshot> snapshot = answer->get_future();
    ConnectionMonitor* monitor = &monitor_;
    QMetaObject::invokeMethod(
        monitor, [answer, monitor] { answer->set_value(monitor->Snapshot()); },
        Qt::QueuedConnection);
    std::lock_guard lock(lastMutex_);
    if (snapshot.wait_for(kMainThreadAnswerLimit) != std::future_status::ready)
        return {last_, false};
    last_ = snapshot.get();
    return {last_, true};
}

QHttpServerResponse StatusServer::Health() {
    using Status = QHttpServerResponse::StatusCode;
    const auto [snapshot, answered] = CurrentSnapshot();
    if (!answered)
        return QHttpServerResponse(kTextType,
                                   QByteArrayLiteral("main thread did not answer within 1 s\n"),
                                   Status::ServiceUnavailable);
    if (!snapshot.LastSaveSucceeded)
        return QHttpServerResponse(
            kTextType, "settings file not saved: " + snapshot.LastSaveError.toUtf8() + '\n',
            Status::ServiceUnavailable);
    return QHttpServerResponse(kTextType, QByteArrayLiteral("ok\n"));
}

#include "service/AlertLauncher.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

namespace {
constexpr int kTimeLimitMs = 30000;

QString TimeText(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}
} // namespace

AlertLauncher::AlertLauncher(QStringList command, std::function<void(const QString&)> reportFailure)
    : command_(std::move(command))
    , reportFailure_(std::move(reportFailure)) {}

AlertLauncher::~AlertLauncher() {
    for (QProcess* process : std::as_const(running_)) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
        delete process;
    }
}

QByteArray AlertLauncher::JsonLine(const MonitorEvent& event) {
    const QJsonObject object{
        {QStringLiteral("kind"), event.Kind},
        {QStringLiteral("connectionId"), event.ConnectionId},
        {QStringLiteral("connection"), event.ConnectionName},
        {QStringLiteral("receiver"), event.ReceiverName},
        {QStringLiteral("message"), event.Message},
        {QStringLiteral("time"), TimeText(event.Time)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

void AlertLauncher::Launch(const MonitorEvent& event) {
    const QString key = event.Kind + u'/' + QString::number(event.ConnectionId);
    if (running_.contains(key)) {
        reportFailure_(
            QStringLiteral("Оповещение %1 пропущено: предыдущее ещё работает.").arg(key));
        return;
    }
    auto* process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CORVANE_EVENT"), event.Kind);
    environment.insert(QStringLiteral("CORVANE_CONNECTION_ID"),
                       QString::number(event.ConnectionId));
    environment.insert(QStringLiteral("CORVANE_CONNECTION"), event.ConnectionName);
    environment.insert(QStringLiteral("CORVANE_RECEIVER"), event.ReceiverName);
    environment.insert(QStringLiteral("CORVANE_MESSAGE"), event.Message);
    environment.insert(QStringLiteral("CORVANE_TIME"), TimeText(event.Time));
    process->setProcessEnvironment(environment);
    process->setProgram(command_.first());
    process->setArguments(command_.mid(1));
    // What the alert writes is not ours to keep.
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    running_.insert(key, process);
    connect(
        process, &QProcess::finished, this, [this, key, process] { Finished(key, process); });
    connect(process, &QProcess::errorOccurred, this,
            [this, key, process](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    Finished(key, process);
            });
    QTimer::singleShot(kTimeLimitMs, process, [this, key, process] {
        reportFailure_(QStringLiteral("Оповещение %1 работало дольше %2 с и остановлено.")
                           .arg(key)
                           .arg(kTimeLimitMs / 1000));
        process->kill();
    });
    process->start();
    process->write(JsonLine(event));
    process->closeWriteChannel();
}

void AlertLauncher::Finished(const QString& key, QProcess* process) {
    if (running_.value(key) != process)
        return;
    running_.remove(key);
    if (process->error() == QProcess::FailedToStart)
        reportFailure_(QStringLiteral("Программа оповещения %1 не запускается: %2")
                           .arg(command_.first(), process->errorString()));
    else if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0)
        reportFailure_(QStringLiteral("Оповещение %1 завершилось с ошибкой (код %2).")
                           .arg(key)
                           .arg(process->exitCode()));
    process->deleteLater();
}

void AlertLauncher::WaitForRunning(int ms) {
    const QDeadlineTimer deadline(ms);
    while (!running_.isEmpty() && !deadline.hasExpired()) {
        QProcess* process = *running_.cbegin();
        if (!process->waitForFinished(int(deadline.remainingTime())))
            break;
    }
}

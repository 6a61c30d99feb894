#include "service/ConnectionMonitor.h"

#include "core/ConnectionStatus.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "platform/Clock.h"

namespace {
constexpr int kStaleCheckMs = 1000;
const QString kMask = QStringLiteral("***");
} // namespace

ConnectionMonitor::ConnectionMonitor(EventSink& log, const TDm& dm, const Clock& clock,
                                     std::function<bool(int)> workerRuns)
    : log_(log)
    , dm_(dm)
    , clock_(clock)
    , workerRuns_(std::move(workerRuns)) {
    staleCheck_.setInterval(kStaleCheckMs);
    connect(&staleCheck_, &QTimer::timeout, this, &ConnectionMonitor::CheckStale);
}

void ConnectionMonitor::LogEvent(int id, EventCode code, const QString& text) {
    Facts& facts = facts_[id];
    const QDateTime now = clock_.Now();
    switch (code) {
    case EventCode::Started:
        facts.Started = now;
        facts.StaleRaised = false;
        break;
    case EventCode::CycleBegins:
        facts.CycleStarted = now;
        break;
    case EventCode::CycleEnds:
        if (facts.CycleStarted.isValid())
            facts.LastCycleMs = facts.CycleStarted.msecsTo(now);
        break;
    case EventCode::Updated:
        facts.LastSuccess = now;
        facts.ConsecutiveFailures = 0;
        if (facts.StaleRaised) {
            facts.StaleRaised = false;
            Raise(MonitorEvent::Fresh, id, QStringLiteral("Соединение снова обновляется."));
        }
        break;
    case EventCode::UpdateFailed:
        // The worker set the status before it logged the error: UpdateError means it has ended.
        if (ConnectionValue(id, Fields::Connection::Status).toInt() == UpdateError)
            Raise(MonitorEvent::UpdateError, id, text);
        break;
    default:
        break;
    }
    log_.LogEvent(id, code, text);
}

void ConnectionMonitor::FailureCounted(int id) {
    ++facts_[id].ConsecutiveFailures;
}

void ConnectionMonitor::ItemsChanged(int id, int count) {
    facts_[id].ItemsChanged = count;
}

void ConnectionMonitor::ReceiverCleared(int id, ReceiverClearCause cause, const QString& failure) {
    if (!failure.isEmpty()) {
        Raise(MonitorEvent::ClearFailed, id, failure);
        return;
    }
    Facts& facts = facts_[id];
    if (cause == ReceiverClearCause::AttemptLimit) {
        ++facts.ClearsByAttemptLimit;
        Raise(MonitorEvent::ClearedByAttemptLimit, id,
              QStringLiteral("Данные приемника обнулены: превышено число попыток."));
    } else {
        ++facts.ClearsByWatchdog;
        Raise(MonitorEvent::ClearedByWatchdog, id,
              QStringLiteral("Данные приемника обнулены: обновление не завершилось вовремя."));
    }
}

void ConnectionMonitor::SaveSucceeded() {
    lastSaveSucceeded_ = true;
    lastSaveError_.clear();
}

void ConnectionMonitor::SaveFailed(const QString& message) {
    lastSaveSucceeded_ = false;
    lastSaveError_ = WithoutPasswords(message);
    Raise(MonitorEvent::SaveFailed, 0, message);
}

void ConnectionMonitor::ServiceEvent(const char* kind, const QString& message) {
    Raise(kind, 0, message);
}

void ConnectionMonitor::SetStaleLimit(qint64 seconds) {
    staleLimitSeconds_ = seconds;
    if (seconds > 0)
        staleCheck_.start();
    else
        staleCheck_.stop();
}

void ConnectionMonitor::Raise(const char* kind, int id, const QString& message) {
    MonitorEvent event;
    event.Kind = QString::fromLatin1(kind);
    event.ConnectionId = id;
    if (id != 0) {
        event.ConnectionName = ConnectionValue(id, Fields::Connection::Name_Connection).toString();
        event.ReceiverName = ReceiverName(id);
    }
    event.Message = WithoutPasswords(message);
    event.Time = clock_.Now();
    Q_EMIT EventRaised(event);
}

QDateTime ConnectionMonitor::FreshSince(const Facts& facts) const {
    return facts.LastSuccess.isValid() && facts.LastSuccess > facts.Started ? facts.LastSuccess
                                                                            : facts.Started;
}

void ConnectionMonitor::CheckStale() {
    const QDateTime now = clock_.Now();
    for (auto entry = facts_.begin(); entry != facts_.end(); ++entry) {
        Facts& facts = entry.value();
        const QDateTime since = FreshSince(facts);
        if (facts.StaleRaised || !since.isValid() || !workerRuns_(entry.key()))
            continue;
        if (since.secsTo(now) > staleLimitSeconds_) {
            facts.StaleRaised = true;
            Raise(MonitorEvent::Stale, entry.key(),
                  QStringLiteral("Соединение не обновлялось %1 с.").arg(since.secsTo(now)));
        }
    }
}

MonitorSnapshot ConnectionMonitor::Snapshot() const {
    MonitorSnapshot snapshot;
    snapshot.Taken = clock_.Now();
    snapshot.LastSaveSucceeded = lastSaveSucceeded_;
    snapshot.LastSaveError = lastSaveError_;
    const RecordSet& connections = dm_.Connection;
    const int idField = connections.FieldIndex(Fields::Connection::Id);
    for (int row = 0; row < connections.RecordCount(); ++row) {
        ConnectionFigures figures;
        figures.Id = connections.ValueAt(row, idField).toInt();
        figures.Name = ConnectionValue(figures.Id, Fields::Connection::Name_Connection).toString();
        figures.ReceiverName = ReceiverName(figures.Id);
        const QVariant status = ConnectionValue(figures.Id, Fields::Connection::Status);
        figures.Status = status.toInt();
        figures.StatusCaption = StatusCaption(status);
        figures.WorkerRunning = workerRuns_(figures.Id);
        const Facts facts = facts_.value(figures.Id);
        figures.LastSuccess = facts.LastSuccess;
        const QDateTime since = FreshSince(facts);
        figures.SecondsSinceSuccess = since.isValid() ? since.secsTo(snapshot.Taken) : 0;
        figures.LastCycleMs = facts.LastCycleMs;
        figures.ItemsChanged = facts.ItemsChanged;
        figures.ConsecutiveFailures = facts.ConsecutiveFailures;
        figures.ClearsByAttemptLimit = facts.ClearsByAttemptLimit;
        figures.ClearsByWatchdog = facts.ClearsByWatchdog;
        if (figures.WorkerRunning)
            ++snapshot.ConnectionsRunning;
        if (figures.Status == UpdateError || figures.Status == ConnectError)
            ++snapshot.ConnectionsInError;
        snapshot.Connections.append(figures);
    }
    return snapshot;
}

QString ConnectionMonitor::WithoutPasswords(const QString& text) const {
    QString hidden = text;
    const RecordSet& held = dm_.VremTable;
    const int nameField = held.FieldIndex(Fields::VremTable::NameTable);
    const int passwordField = held.FieldIndex(Fields::VremTable::Password);
    for (int row = 0; row < held.RecordCount(); ++row) {
        const QString table = held.ValueAt(row, nameField).toString();
        const QString password = held.ValueAt(row, passwordField).toString();
        if (!password.isEmpty() &&
            (table.compare(QStringLiteral("Receiver"), Qt::CaseInsensitive) == 0 ||
             table.compare(QStringLiteral("Source"), Qt::CaseInsensitive) == 0))
            hidden.replace(password, kMask);
    }
    return hidden;
}

QVariant ConnectionMonitor::ConnectionValue(int id, const QString& field) const {
    const QVariantList values = dm_.Connection.Lookup(Fields::Connection::Id, {id}, field);
    return values.isEmpty() ? QVariant() : values.first();
}

QString ConnectionMonitor::ReceiverName(int connectionId) const {
    const int receiverId = ConnectionValue(connectionId, Fields::Connection::Id_Receiver).toInt();
    const QVariantList names =
        dm_.Receiver.Lookup(Fields::Receiver::Id, {receiverId}, Fields::Receiver::Name_Receiver);
    return names.isEmpty() ? QString() : names.first().toString();
}

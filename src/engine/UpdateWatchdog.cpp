#include "engine/UpdateWatchdog.h"

#include "core/EventSink.h"
#include "core/PasswordKeeper.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "platform/Clock.h"
#include "platform/Prompts.h"

#include <QTimer>

namespace {
constexpr qint64 kStaleSeconds = 300;
constexpr qint64 kMsPerDay = 24 * 60 * 60 * 1000;
} // namespace

UpdateWatchdog::UpdateWatchdog(TDm& dm, const PasswordKeeper& passwords, Prompts& prompts,
                               const Clock& clock, EventSink& events, CycleCanceller cancelCycle,
                               std::chrono::milliseconds clearTimeLimit)
    : dm_(dm)
    , passwords_(passwords)
    , prompts_(prompts)
    , clock_(clock)
    , events_(events)
    , cancelCycle_(std::move(cancelCycle))
    , clearTimeLimit_(clearTimeLimit) {}

void UpdateWatchdog::TaskSchedulerTimer(QTimer* sender) {
    sender->stop();
    timer_ = sender;
    stale_.clear();
    RecordSet& vremTable = dm_.VremTable;
    for (vremTable.First(); !vremTable.Eof(); vremTable.Next()) {
        // The other rows of VremTable hold kept passwords.
        if (vremTable.FieldByName(Fields::VremTable::NameTable).AsString() ==
                QStringLiteral("Connection") &&
            RegisteredSeconds() > kStaleSeconds)
            stale_.push_back(
                {vremTable.FieldByName(Fields::VremTable::IdTable).AsInteger(),
                 vremTable.FieldByName(Fields::VremTable::StartUpdateTime).AsDateTime(),
                 vremTable.FieldByName(Fields::VremTable::IdReceiver).AsInteger()});
    }
    ClearNext();
}

qint64 UpdateWatchdog::RegisteredSeconds() const {
    const QDateTime start =
        dm_.VremTable.FieldByName(Fields::VremTable::StartUpdateTime).AsDateTime();
    return start.msecsTo(clock_.Now()) % kMsPerDay / 1000;
}

void UpdateWatchdog::ClearNext() {
    // A cycle that ended meanwhile has taken its registration away.
    while (!stale_.empty() && !LocateRegistration(stale_.front()))
        stale_.pop_front();
    if (stale_.empty()) {
        timer_->start();
        return;
    }
    const Registration registration = stale_.front();
    stale_.pop_front();
    // A cycle still stuck in its call would hold the rows the clear needs.
    if (cancelCycle_)
        cancelCycle_(registration.ConnectionId, registration.Start);
    const int receiverId = ReceiverOf(registration);
    const QString shown = ReceiverValue(receiverId, Fields::Receiver::Connection_String).toString();
    job_ = std::make_unique<ReceiverClearJob>(
        passwords_.UnmaskConnectionString(receiverId, QStringLiteral("Receiver"), u';', shown)
            .trimmed(),
        ReceiverValue(receiverId, Fields::Receiver::Name_Table).toString(),
        ReceiverValue(receiverId, Fields::Receiver::Name_Updated_Field).toString(), clearTimeLimit_,
        context_, [this, registration](ReceiverClearJob::Outcome outcome) {
            Finished(registration, outcome);
        });
}

void UpdateWatchdog::Finished(const Registration& registration, ReceiverClearJob::Outcome outcome) {
    job_.reset();
    // A receiver no longer configured can never be reached: the operator is told once.
    const bool done = outcome == ReceiverClearJob::Outcome::Cleared ||
                      ReceiverValue(ReceiverOf(registration), Fields::Receiver::Id).isNull();
    if (done && LocateRegistration(registration))
        dm_.VremTable.Delete();
    if (outcome == ReceiverClearJob::Outcome::Cleared) {
        events_.ReceiverCleared(registration.ConnectionId, ReceiverClearCause::Watchdog, QString());
    } else {
        const QString failure =
            outcome == ReceiverClearJob::Outcome::NotCleared
                ? QStringLiteral("Не удалось у приемника обнулить данные.")
                : QStringLiteral("Не удалось подключиться к приемнику для обнуления данных.");
        events_.ReceiverCleared(registration.ConnectionId, ReceiverClearCause::Watchdog, failure);
        prompts_.MessageDlg(failure, DialogKind::Error, {DialogButton::Ok});
    }
    ClearNext();
}

bool UpdateWatchdog::LocateRegistration(const Registration& registration) {
    return dm_.VremTable.Locate(
        QStringLiteral("IdTable;NameTable;StartUpdateTime"),
        {registration.ConnectionId, QStringLiteral("Connection"), registration.Start});
}

int UpdateWatchdog::ReceiverOf(const Registration& registration) const {
    // Looked up, not located: the operator's current connection row and pending edit stay.
    const QVariantList connection = dm_.Connection.Lookup(
        Fields::Connection::Id, {registration.ConnectionId}, Fields::Connection::Id_Receiver);
    return connection.isEmpty() ? registration.ReceiverId : connection.first().toInt();
}

QVariant UpdateWatchdog::ReceiverValue(int receiverId, const QString& field) const {
    const QVariantList values = dm_.Receiver.Lookup(Fields::Receiver::Id, {receiverId}, field);
    return values.isEmpty() ? QVariant() : values.first();
}

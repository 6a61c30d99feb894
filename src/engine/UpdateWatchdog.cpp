#include "engine/UpdateWatchdog.h"

#include "core/EventSink.h"
#include "core/PasswordKeeper.h"
#include "core/uDm.h"
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
        if (vremTable.FieldByName(QStringLiteral("NameTable")).AsString() ==
                QStringLiteral("Connection") &&
            RegisteredSeconds() > kStaleSeconds)
            stale_.push_back(
                {vremTable.FieldByName(QStringLiteral("IdTable")).AsInteger(),
                 vremTable.FieldByName(QStringLiteral("StartUpdateTime")).AsDateTime()});
    }
    ClearNext();
}

qint64 UpdateWatchdog::RegisteredSeconds() const {
    const QDateTime start =
        dm_.VremTable.FieldByName(QStringLiteral("StartUpdateTime")).AsDateTime();
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
    // Without the connection's row there is no receiver to reach, which the operator is told.
    const QVariantList receiver = dm_.Connection.Lookup(
        QStringLiteral("Id"), {registration.ConnectionId}, QStringLiteral("Id_Receiver"));
    const int receiverId = receiver.isEmpty() ? 0 : receiver.first().toInt();
    const QString shown = ReceiverValue(receiverId, QStringLiteral("Connection_String")).toString();
    job_ = std::make_unique<ReceiverClearJob>(
        passwords_.UnmaskConnectionString(receiverId, QStringLiteral("Receiver"), u';', shown)
            .trimmed(),
        ReceiverValue(receiverId, QStringLiteral("Name_Table")).toString(),
        ReceiverValue(receiverId, QStringLiteral("Name_Updated_Field")).toString(), clearTimeLimit_,
        context_, [this, registration](ReceiverClearJob::Outcome outcome) {
            Finished(registration, outcome);
        });
}

void UpdateWatchdog::Finished(const Registration& registration, ReceiverClearJob::Outcome outcome) {
    job_.reset();
    if (outcome == ReceiverClearJob::Outcome::Cleared) {
        if (LocateRegistration(registration))
            dm_.VremTable.Delete();
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

QVariant UpdateWatchdog::ReceiverValue(int receiverId, const QString& field) const {
    const QVariantList values = dm_.Receiver.Lookup(QStringLiteral("Id"), {receiverId}, field);
    return values.isEmpty() ? QVariant() : values.first();
}

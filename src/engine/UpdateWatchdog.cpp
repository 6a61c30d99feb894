#include "engine/UpdateWatchdog.h"

#include "core/EventSink.h"
#include "core/PasswordKeeper.h"
#include "core/uDm.h"
#include "engine/ReceiverClearing.h"
#include "engine/ReceiverStatements.h"
#include "platform/Clock.h"
#include "platform/DbConnection.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"

#include <QTimer>

namespace {

constexpr qint64 kStaleSeconds = 300;
constexpr qint64 kMsPerDay = 24 * 60 * 60 * 1000;

// Back on when the tick ends, whatever way it ends; the interval is left as it is.
class TimerPause {
public:
    explicit TimerPause(QTimer* timer)
        : timer_(timer) {
        timer_->stop();
    }
    ~TimerPause() { timer_->start(); }
    TimerPause(const TimerPause&) = delete;
    TimerPause& operator=(const TimerPause&) = delete;

private:
    QTimer* timer_;
};

} // namespace

UpdateWatchdog::UpdateWatchdog(TDm& dm, const PasswordKeeper& passwords, Prompts& prompts,
                               const Clock& clock, EventSink& events)
    : dm_(dm)
    , passwords_(passwords)
    , prompts_(prompts)
    , clock_(clock)
    , events_(events) {}

void UpdateWatchdog::TaskSchedulerTimer(QTimer* sender) {
    const TimerPause pause(sender);
    RecordSet& vremTable = dm_.VremTable;
    vremTable.First();
    while (!vremTable.Eof()) {
        // The other rows of VremTable hold kept passwords.
        const bool stale = vremTable.FieldByName(QStringLiteral("NameTable")).AsString() ==
                               QStringLiteral("Connection") &&
                           RegisteredSeconds() > kStaleSeconds;
        // A cleared registration is deleted, and the row after it takes its place.
        if (!stale ||
            !ClearConnection(vremTable.FieldByName(QStringLiteral("IdTable")).AsInteger()))
            vremTable.Next();
    }
}

qint64 UpdateWatchdog::RegisteredSeconds() const {
    const QDateTime start =
        dm_.VremTable.FieldByName(QStringLiteral("StartUpdateTime")).AsDateTime();
    return start.msecsTo(clock_.Now()) % kMsPerDay / 1000;
}

bool UpdateWatchdog::ClearConnection(int connectionId) {
    RecordSet& connection = dm_.Connection;
    connection.DisableControls();
    const QVariant currentId =
        connection.IsEmpty() ? QVariant() : connection.FieldByName(QStringLiteral("Id")).Value();
    const auto restore = [&] {
        if (currentId.isValid())
            connection.Locate(QStringLiteral("Id"), {currentId});
        connection.EnableControls();
    };
    bool cleared = false;
    try {
        // Without the row there is no receiver to reach, which the operator is told.
        const int receiverId =
            connection.Locate(QStringLiteral("Id"), {connectionId})
                ? connection.FieldByName(QStringLiteral("Id_Receiver")).AsInteger()
                : 0;
        cleared = ClearReceiver(connectionId, receiverId);
        if (cleared)
            dm_.VremTable.Delete();
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return cleared;
}

bool UpdateWatchdog::ClearReceiver(int connectionId, int receiverId) {
    const QString shown = ReceiverValue(receiverId, QStringLiteral("Connection_String")).toString();
    DbConnection receiver(
        passwords_.UnmaskConnectionString(receiverId, QStringLiteral("Receiver"), u';', shown)
            .trimmed());
    // A failure before the transaction began means the receiver was not reached.
    bool began = false;
    try {
        receiver.Open();
        ReceiverStatements::InTransaction(receiver, [&] {
            began = true;
            ClearReceiverValues(
                receiver, ReceiverValue(receiverId, QStringLiteral("Name_Table")).toString(),
                ReceiverValue(receiverId, QStringLiteral("Name_Updated_Field")).toString());
        });
    } catch (const std::exception&) {
        const QString failure =
            began ? QStringLiteral("Не удалось у приемника обнулить данные.")
                  : QStringLiteral("Не удалось подключиться к приемнику для обнуления данных.");
        events_.ReceiverCleared(connectionId, ReceiverClearCause::Watchdog, failure);
        prompts_.MessageDlg(failure, DialogKind::Error, {DialogButton::Ok});
        return false;
    }
    events_.ReceiverCleared(connectionId, ReceiverClearCause::Watchdog, QString());
    return true;
}

QVariant UpdateWatchdog::ReceiverValue(int receiverId, const QString& field) const {
    const QVariantList values = dm_.Receiver.Lookup(QStringLiteral("Id"), {receiverId}, field);
    return values.isEmpty() ? QVariant() : values.first();
}

#include "engine/UpdateWatchdog.h"

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
                               const Clock& clock)
    : dm_(dm)
    , passwords_(passwords)
    , prompts_(prompts)
    , clock_(clock) {}

void UpdateWatchdog::TaskSchedulerTimer(QTimer* sender) {
    const TimerPause pause(sender);
    RecordSet& vremTable = dm_.VremTable;
    vremTable.First();
    while (!vremTable.Eof()) {
        // The other rows of VremTable hold kept passwords.
        const bool stale = vremTable.FieldByName(QStringLiteral("NameTable")).AsString() ==
                               QStringLiteral("Connection") &&
                           RegisteredSeconds() > kStaleSeconds;
        // A registration that is done with is deleted, and the row after it takes its place.
        if (stale && ClearRegisteredReceiver())
            vremTable.Delete();
        else
            vremTable.Next();
    }
}

qint64 UpdateWatchdog::RegisteredSeconds() const {
    const QDateTime start =
        dm_.VremTable.FieldByName(QStringLiteral("StartUpdateTime")).AsDateTime();
    return start.msecsTo(clock_.Now()) % kMsPerDay / 1000;
}

int UpdateWatchdog::RegisteredReceiverId() const {
    RecordSet& vremTable = dm_.VremTable;
    // Looked up, not located: the operator's current connection row and pending edit stay.
    const QVariantList connection = dm_.Connection.Lookup(
        QStringLiteral("Id"), {vremTable.FieldByName(QStringLiteral("IdTable")).AsInteger()},
        QStringLiteral("Id_Receiver"));
    // A deleted connection still leaves the receiver its cycle wrote to.
    return connection.isEmpty() ? vremTable.FieldByName(QStringLiteral("IdReceiver")).AsInteger()
                                : connection.first().toInt();
}

bool UpdateWatchdog::ClearRegisteredReceiver() {
    const int receiverId = RegisteredReceiverId();
    const bool configured =
        !dm_.Receiver.Lookup(QStringLiteral("Id"), {receiverId}, QStringLiteral("Id")).isEmpty();
    // A receiver no longer configured can never be reached: the operator is told once.
    return ClearReceiver(receiverId) || !configured;
}

bool UpdateWatchdog::ClearReceiver(int receiverId) {
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
        prompts_.MessageDlg(
            began ? QStringLiteral("Не удалось у приемника обнулить данные.")
                  : QStringLiteral("Не удалось подключиться к приемнику для обнуления данных."),
            DialogKind::Error, {DialogButton::Ok});
        return false;
    }
    return true;
}

QVariant UpdateWatchdog::ReceiverValue(int receiverId, const QString& field) const {
    const QVariantList values = dm_.Receiver.Lookup(QStringLiteral("Id"), {receiverId}, field);
    return values.isEmpty() ? QVariant() : values.first();
}

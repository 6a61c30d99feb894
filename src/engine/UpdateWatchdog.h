#pragma once

#include <QVariant>

class Clock;
class PasswordKeeper;
class Prompts;
class QTimer;
class TDm;

// Clears the receiver of every update cycle registered in VremTable for more than 300
// seconds (a cycle still running, or one that ended with an update error) and removes the
// registration. Runs on the main thread as the handler of the data module's timer.
class UpdateWatchdog {
public:
    UpdateWatchdog(TDm& dm, const PasswordKeeper& passwords, Prompts& prompts, const Clock& clock);

    void TaskSchedulerTimer(QTimer* sender);

private:
    // Seconds since the current VremTable row's start, whole days left out.
    qint64 RegisteredSeconds() const;
    // The receiver of the current registration's connection; the one the registration kept
    // when the connection is gone.
    int RegisteredReceiverId() const;
    // Clears the receiver of the current registration; false, when the registration must stay
    // for another try, after a failure the operator was told of.
    bool ClearRegisteredReceiver();
    bool ClearReceiver(int receiverId);
    QVariant ReceiverValue(int receiverId, const QString& field) const;

    TDm& dm_;
    const PasswordKeeper& passwords_;
    Prompts& prompts_;
    const Clock& clock_;
};

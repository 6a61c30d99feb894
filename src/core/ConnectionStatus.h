#pragma once

#include <QString>
#include <QVariant>

// The value of Connection.Status.
enum ConnectionStatus {
    NotUpdating = 0,
    Updating = 1,
    UpdateError = 2,
    Stopping = 3,
    ConnectError = 4,
    WaitingForPeriod = 5,
};

// The caption CalStatus shows; empty for any other value, null included.
QString StatusCaption(const QVariant& status);

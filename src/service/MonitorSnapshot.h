#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// What the service tells about one connection to whoever watches it unattended.
struct ConnectionFigures {
    int Id = 0;
    QString Name;
    QString ReceiverName;
    int Status = 0;
    QString StatusCaption;
    QDateTime LastSuccess;          // invalid until the first successful update
    qint64 SecondsSinceSuccess = 0; // since the connection started when it never succeeded
    qint64 LastCycleMs = 0;
    int ItemsChanged = 0; // in the last cycle that reached its transfer
    int ConsecutiveFailures = 0;
    int ClearsByAttemptLimit = 0;
    int ClearsByWatchdog = 0;
    bool WorkerRunning = false;
};

// The whole picture at one moment, taken on the main thread.
struct MonitorSnapshot {
    QDateTime Taken;
    QList<ConnectionFigures> Connections;
    int ConnectionsRunning = 0;
    int ConnectionsInError = 0;
    bool LastSaveSucceeded = true;
    QString LastSaveError;
};

#pragma once

#include "service/MonitorEvent.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>

class QProcess;

// Runs the operator's alert program, without a shell, for each event that needs a person:
// the event in CORVANE_* environment variables and as one JSON line on its standard input.
// At most one runs per event kind and connection; one that runs longer than 30 s is killed.
// Failures are reported, never waited for.
class AlertLauncher final : public QObject {
    Q_OBJECT
public:
    // command: the program and its own arguments.
    AlertLauncher(QStringList command, std::function<void(const QString&)> reportFailure);
    ~AlertLauncher() override;

    void Launch(const MonitorEvent& event);
    // At the program's end: gives the running alerts up to ms to finish.
    void WaitForRunning(int ms);

    static QByteArray JsonLine(const MonitorEvent& event);

private:
    void Finished(const QString& key, QProcess* process);

    QStringList command_;
    std::function<void(const QString&)> reportFailure_;
    QHash<QString, QProcess*> running_;
};

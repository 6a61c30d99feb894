#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// One clear of a receiver's value field on a thread of its own, so that a receiver that is
// slow, locked or out of reach never holds up the main thread. The outcome comes back through
// the event loop of the context's thread, as long as the job exists.
class ReceiverClearJob {
public:
    enum class Outcome { Cleared, NotReached, NotCleared };

    // Starts at once. A clear still running after timeLimit is cut short and not cleared.
    ReceiverClearJob(QString connectionString, QString tableName, QString valueField,
                     std::chrono::milliseconds timeLimit, QObject& context,
                     std::function<void(Outcome)> finished);
    // Cuts a running clear short; one that does not end soon is left to end on its own.
    ~ReceiverClearJob();
    ReceiverClearJob(const ReceiverClearJob&) = delete;
    ReceiverClearJob& operator=(const ReceiverClearJob&) = delete;

private:
    struct State;

    static void Run(const std::shared_ptr<State>& state, const QString& connectionString,
                    const QString& tableName, const QString& valueField);

    std::shared_ptr<State> state_;
    std::thread thread_;
};

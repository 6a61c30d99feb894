#include "engine/ReceiverClearJob.h"

#include "engine/ReceiverClearing.h"
#include "engine/ReceiverStatements.h"
#include "platform/DbConnection.h"

#include <QTimer>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace {
// How long the end of the program waits for a clear that was cut short.
constexpr std::chrono::milliseconds kAbandonGrace{2000};
} // namespace

struct ReceiverClearJob::State {
    std::mutex mutex;
    std::condition_variable ended;
    DbConnection* connection = nullptr;
    bool cancelled = false;
    bool done = false;
    // Set when the job is gone: the outcome has nowhere to go.
    QObject* context = nullptr;
    std::function<void(Outcome)> finished;

    void Cancel() {
        const std::lock_guard lock(mutex);
        cancelled = true;
        if (connection)
            connection->Cancel();
    }
};

ReceiverClearJob::ReceiverClearJob(QString connectionString, QString tableName, QString valueField,
                                   std::chrono::milliseconds timeLimit, QObject& context,
                                   std::function<void(Outcome)> finished)
    : state_(std::make_shared<State>()) {
    state_->context = &context;
    state_->finished = std::move(finished);
    QTimer::singleShot(timeLimit, &context, [state = state_] { state->Cancel(); });
    thread_ = std::thread(&ReceiverClearJob::Run, state_, std::move(connectionString),
                          std::move(tableName), std::move(valueField));
}

ReceiverClearJob::~ReceiverClearJob() {
    state_->Cancel();
    bool done = false;
    {
        std::unique_lock lock(state_->mutex);
        state_->context = nullptr;
        done = state_->ended.wait_for(lock, kAbandonGrace, [this] { return state_->done; });
    }
    if (done)
        thread_.join();
    else
        thread_.detach();
}

void ReceiverClearJob::Run(const std::shared_ptr<State>& state, const QString& connectionString,
                           const QString& tableName, const QString& valueField) {
    Outcome outcome = Outcome::Cleared;
    {
        DbConnection receiver(connectionString);
        {
            const std::lock_guard lock(state->mutex);
            state->connection = &receiver;
        }
        // A failure before the transaction began means the receiver was not reached.
        bool began = false;
        try {
            receiver.Open();
            ReceiverStatements::InTransaction(receiver, [&] {
                began = true;
                {
                    // A cancel that came while no call was in progress is not lost.
                    const std::lock_guard lock(state->mutex);
                    if (state->cancelled)
                        throw std::runtime_error("cancelled");
                }
                ClearReceiverValues(receiver, tableName, valueField);
            });
        } catch (const std::exception&) {
            outcome = began ? Outcome::NotCleared : Outcome::NotReached;
        }
        const std::lock_guard lock(state->mutex);
        state->connection = nullptr;
    }
    const std::lock_guard lock(state->mutex);
    state->done = true;
    state->ended.notify_all();
    if (state->context)
        QMetaObject::invokeMethod(
            state->context, [finished = state->finished, outcome] { finished(outcome); },
            Qt::QueuedConnection);
}

#include "engine/TWorkThread.h"

#include "core/ConnectionStatus.h"
#include "core/EventSink.h"
#include "core/RecordSet.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "core/WindowLink.h"
#include "engine/OneCTransfer.h"
#include "engine/ReceiverClearing.h"
#include "engine/SqlTransfer.h"
#include "engine/WorkingPeriod.h"
#include "platform/AutomationObject.h"
#include "platform/Clock.h"
#include "platform/DbConnection.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"

namespace {
constexpr std::int64_t kRetryWaitMs = 60000;

// There are no COM apartments here; the calls keep their place in the cycle.
void CoInitialize() {}
void CoUninitialize() {}

QString MessageOf(const std::exception& error) {
    const auto* known = dynamic_cast<const Exception*>(&error);
    return known ? known->Message() : QString::fromUtf8(error.what());
}

// Runs cleanup after body on every path, as a finally block does.
template <class Body, class Cleanup> void WithCleanup(Body&& body, Cleanup&& cleanup) {
    try {
        body();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}
} // namespace

TWorkThread::TWorkThread(const WorkerParameters& parameters, const EngineEnvironment& environment)
    : TThread(environment.HandOver)
    , parameters_(parameters)
    , environment_(environment) {}

void TWorkThread::Execute() {
    Sleeping = false;
    Running = true;
    ErrorText.clear();
    bool firstPass = true;
    int failCount = 0;
    std::unique_ptr<AutomationObject> infobase;
    try {
        while (Running) {
            if (!CanContinueIntoWait())
                break;
            if (!firstPass)
                environment_.TimeSource->Sleep(failCount != 0 ? kRetryWaitMs : parameters_.PeriodMs,
                                               AbortToken());
            if (WakeUp())
                Running = false;
            else
                Cycle(failCount, infobase);
            firstPass = false;
        }
        if (!Terminated())
            ConnectionStopped();
    } catch (const EShutdown&) {
        throw;
    } catch (const std::exception& error) {
        PassOnAtProgramEnd();
        ErrorText = MessageOf(error);
        ReportUpdateError();
    }
}

void TWorkThread::Cycle(int& failCount, std::unique_ptr<AutomationObject>& infobase) {
    StartCycle();
    if (!InPeriod)
        return;
    PostLogCode(EventCode::CycleBegins);
    RegisterCycleStart();
    CoInitialize();
    if (CanContinue()) {
        auto receiver =
            std::make_unique<DbConnection>(parameters_.ReceiverConnectionString.trimmed());
        // A failure the receiver's provider describes is a connection error that is
        // not counted.
        try {
            WithCleanup([&] { WithReceiver(*receiver, failCount, infobase); },
                        [&] {
                            receiver->Close();
                            receiver.reset();
                            PostLogCode(EventCode::ReceiverClosed);
                        });
        } catch (const EOleException& error) {
            PassOnAtProgramEnd();
            if (!CutShortForStop()) {
                ErrorText = error.Message();
                ReportConnectionError();
            }
        }
    }
    RegisterCycleEnd();
    CoUninitialize();
    PostLogCode(EventCode::CycleEnds);
}

void TWorkThread::WithReceiver(DbConnection& receiver, int& failCount,
                               std::unique_ptr<AutomationObject>& infobase) {
    const CallCanceller::Listing listed(calls_, [&receiver] { receiver.Cancel(); });
    receiver.Open();
    PostLogCode(EventCode::ReceiverOpened);
    if (!CanContinue())
        return;
    const bool sql = parameters_.ConnectionType == kSqlConnectionType;
    std::unique_ptr<DbConnection> source;
    if (sql)
        source = std::make_unique<DbConnection>(parameters_.SourceConnectionString.trimmed());
    else
        infobase = std::make_unique<AutomationObject>(ProgIdForType(parameters_.ConnectionType),
                                                      environment_.AutomationRegistrationFile,
                                                      AbortToken());
    // The source is released on every path.
    WithCleanup([&] { WithSource(receiver, source.get(), infobase.get(), failCount); },
                [&] {
                    if (source)
                        source->Close();
                    source.reset();
                    infobase.reset();
                    PostLogCode(EventCode::SourceReleased);
                });
}

void TWorkThread::WithSource(DbConnection& receiver, DbConnection* source,
                             AutomationObject* infobase, int& failCount) {
    const CallCanceller::Listing listed(calls_, [source, infobase] {
        if (source)
            source->Cancel();
        else
            infobase->Cancel();
    });
    // A failed call into either end is a counted connection error.
    try {
        if (source)
            source->Open();
        else
            infobase->Initialize(infobase->RMTrade(), parameters_.SourceConnectionString.trimmed(),
                                 QStringLiteral("NO_SPLASH_SHOW"));
        PostLogCode(EventCode::SourceOpened);
        if (!CanContinue())
            return;
        const int changed = source ? TransferFromSql(*this, receiver, *source)
                                   : TransferFrom1C(*this, receiver, *infobase);
        Synchronize([this, changed] {
            environment_.Events.ItemsChanged(parameters_.ConnectionId, changed);
        });
        // A worker stopped during the 1C pause transferred nothing: it must not report the
        // receiver as updated.
        if (CanContinue() && !Terminated())
            MarkUpdated();
    } catch (const EOleSysError& error) {
        PassOnAtProgramEnd();
        if (CutShortForStop())
            return;
        ++failCount;
        Synchronize([this] { environment_.Events.FailureCounted(parameters_.ConnectionId); });
        CheckAttempts(failCount);
        ErrorText = error.Message();
        ReportConnectionError();
    }
}

void TWorkThread::CheckAttempts(int& failCount) {
    if (failCount <= parameters_.AttemptLimit)
        return;
    failCount = 0;
    DbConnection receiver(parameters_.ReceiverConnectionString.trimmed());
    const CallCanceller::Listing listed(
        calls_, [&receiver] { receiver.Cancel(); });
    const auto reportClear = [this](const QString& failure) {
        Synchronize([this, failure] {
            environment_.Events.ReceiverCleared(parameters_.ConnectionId,
                                                ReceiverClearCause::AttemptLimit, failure);
        });
    };
    try {
        WithCleanup(
            [&] {
                receiver.Open();
                receiver.BeginTrans();
                try {
                    ClearReceiverValues(receiver, parameters_.TableName, parameters_.ValueField);
                    receiver.CommitTrans();
                } catch (...) {
                    receiver.RollbackTrans();
                    throw;
                }
            },
            [&] { receiver.Close(); });
    } catch (const std::exception& error) {
        reportClear(MessageOf(error));
        throw;
    }
    reportClear(QString());
}

void TWorkThread::PassOnAtProgramEnd() const {
    if (AbortToken().stop_requested())
        throw EShutdown();
}

bool TWorkThread::Sleep(std::int64_t ms) {
    if (!CanContinueIntoWait())
        return false;
    const bool waited = environment_.TimeSource->Sleep(ms, AbortToken());
    return !WakeUp() && waited;
}

bool TWorkThread::CanContinueIntoWait() {
    // Checked and marked in one main-thread step: a stop comes either before the check, which
    // then says no, or while the flag is set, so it terminates the wait instead of waiting for
    // its end in the Stopping state.
    Synchronize([this] {
        if (CanContinue())
            Sleeping = true;
    });
    return Running;
}

bool TWorkThread::WakeUp() {
    std::lock_guard lock(wakeUp_);
    Sleeping = false;
    return Terminated();
}

bool TWorkThread::TerminateIfSleeping() {
    std::lock_guard lock(wakeUp_);
    if (!Sleeping)
        return false;
    Terminate();
    return true;
}

void TWorkThread::CancelCallForStop() {
    if (stopSeen_)
        return;
    cancelledForStop_ = true;
    calls_.Cancel();
}

void TWorkThread::CancelCycleStartedAt(const QDateTime& start) {
    if (cycleStart_ == start)
        calls_.Cancel();
}

void TWorkThread::CancelCall() {
    calls_.Cancel();
}

bool TWorkThread::CanContinue() {
    Synchronize([this] {
        const QVariantList updated = environment_.Dm.Connection.Lookup(
            Fields::Connection::Id, {parameters_.ConnectionId}, Fields::Connection::Updated);
        // A connection row that is gone has nothing left to update.
        Running = !updated.isEmpty() && updated.first().toInt() == 0;
        if (!Running)
            stopSeen_ = true;
    });
    return Running;
}

void TWorkThread::PostLogCode(EventCode code) {
    Synchronize([this, code] {
        LogCode = code;
        environment_.Events.LogEvent(parameters_.ConnectionId, LogCode, QString());
    });
}

void TWorkThread::StartCycle() {
    Synchronize([this] {
        if (!CanContinue())
            return;
        InPeriod = IsInWorkingPeriod(environment_.Dm.Connection, *environment_.TimeSource,
                                     parameters_.ConnectionId);
        UpdateConnectionRow(
            Fields::Connection::Status,
            {InPeriod ? ConnectionStatus::Updating : ConnectionStatus::WaitingForPeriod});
        if (!InPeriod)
            environment_.Events.LogEvent(parameters_.ConnectionId, EventCode::WaitsForPeriod,
                                         QString());
    });
}

void TWorkThread::RegisterCycleStart() {
    Synchronize([this] {
        RecordSet& vremTable = environment_.Dm.VremTable;
        vremTable.Append();
        vremTable.FieldByName(Fields::VremTable::IdTable).SetAsInteger(parameters_.ConnectionId);
        vremTable.FieldByName(Fields::VremTable::NameTable).SetValue(QStringLiteral("Connection"));
        Field start = vremTable.FieldByName(Fields::VremTable::StartUpdateTime);
        start.SetAsDateTime(environment_.TimeSource->Now());
        // As the watchdog will read it back.
        cycleStart_ = start.AsDateTime();
        vremTable.FieldByName(Fields::VremTable::IdReceiver).SetAsInteger(parameters_.ReceiverId);
        vremTable.Post();
    });
}

void TWorkThread::RegisterCycleEnd() {
    Synchronize([this] {
        RecordSet& vremTable = environment_.Dm.VremTable;
        if (vremTable.Locate(QStringLiteral("IdTable;NameTable"),
                             {parameters_.ConnectionId, QStringLiteral("Connection")},
                             Qt::CaseInsensitive))
            vremTable.Delete();
    });
}

void TWorkThread::MarkUpdated() {
    Synchronize([this] {
        int status = ConnectionValue(Fields::Connection::Status).toInt();
        if (status == ConnectionStatus::ConnectError ||
            status == ConnectionStatus::WaitingForPeriod)
            status = ConnectionStatus::Updating;
        UpdateConnectionRow(QStringLiteral("Status;Update_Time"),
                            {status, environment_.TimeSource->Now()});
        if (ConnectionValue(Fields::Connection::Status).toInt() != ConnectionStatus::Stopping)
            environment_.Events.LogEvent(parameters_.ConnectionId, EventCode::Updated, QString());
    });
}

void TWorkThread::ReportConnectionError() {
    Synchronize([this] {
        UpdateConnectionRow(Fields::Connection::Status, {ConnectionStatus::ConnectError});
        environment_.Events.LogEvent(parameters_.ConnectionId, EventCode::UpdateFailed, ErrorText);
    });
}

void TWorkThread::ReportUpdateError() {
    Synchronize([this] {
        // The box is the operator's last word on this connection: a failure to save the
        // status or to log the error is told in it too, instead of taking its place.
        QStringList reportFailures;
        const auto attempt = [&reportFailures](const std::function<void()>& step) {
            try {
                step();
            } catch (const std::exception& error) {
                reportFailures.append(MessageOf(error));
            }
        };
        attempt([this] {
            UpdateConnectionRow(Fields::Connection::Status, {ConnectionStatus::UpdateError});
            FinishStepNow();
        });
        attempt([this] {
            environment_.Events.LogEvent(parameters_.ConnectionId, EventCode::UpdateFailed,
                                         ErrorText);
        });
        QString text = QStringLiteral("В процессе обновления у соединения") + u' ' + u'"' +
                       ConnectionValue(Fields::Connection::Name_Connection).toString() + u'"' +
                       QStringLiteral(" произошла следующая ошибка:") + QChar(13) + QChar(13) +
                       ErrorText;
        for (const QString& failure : std::as_const(reportFailures))
            text += QStringLiteral("\r\rНе удалось записать сведения об этой ошибке:\r") + failure;
        environment_.OperatorPrompts.MessageDlg(text, DialogKind::Error, {DialogButton::Ok});
    });
}

void TWorkThread::ConnectionStopped() {
    Synchronize([this] {
        UpdateConnectionRow(QStringLiteral("Status;Updated"), {ConnectionStatus::NotUpdating, 0});
        environment_.Window.RefreshControls();
    });
}

void TWorkThread::UpdateConnectionRow(const QString& fields, const QVariantList& values) {
    environment_.Dm.Connection.UpdateRow(Fields::Connection::Id, {parameters_.ConnectionId}, fields,
                                         values);
}

QVariant TWorkThread::ConnectionValue(const QString& field) const {
    const QVariantList values = environment_.Dm.Connection.Lookup(
        Fields::Connection::Id, {parameters_.ConnectionId}, field);
    return values.isEmpty() ? QVariant() : values.first();
}

#include "engine/ConnectionControl.h"

#include "core/ConnectionStatus.h"
#include "core/EventSink.h"
#include "core/PasswordKeeper.h"
#include "core/RecordSet.h"
#include "core/TDm.h"
#include "core/TableEventStore.h"
#include "core/TableFields.h"
#include "core/WindowLink.h"
#include "engine/TWorkThread.h"
#include "engine/WorkingPeriod.h"
#include "platform/MainThreadHandOver.h"
#include "platform/Prompts.h"

#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {
// How long the end of the program waits for the workers before it leaves them behind.
constexpr std::chrono::milliseconds kShutdownGrace(3000);

int IntegerAt(const QVariantList& values, int index) {
    return index < values.size() ? values.at(index).toInt() : 0;
}

QString TextAt(const QVariantList& values, int index) {
    return index < values.size() ? values.at(index).toString() : QString();
}

QVariant CurrentId(RecordSet& table) {
    return table.IsEmpty() ? QVariant() : table.FieldByName(Fields::Connection::Id).Value();
}

// The current row, edited and posted.
void SetStatus(RecordSet& connection, int status, int updated) {
    connection.Edit();
    connection.FieldByName(Fields::Connection::Status).SetAsInteger(status);
    connection.FieldByName(Fields::Connection::Updated).SetAsInteger(updated);
    connection.Post();
}

// The row with this Id, whichever row is current or under edit.
void SetStatusOf(RecordSet& connection, int id, int status, int updated) {
    connection.UpdateRow(Fields::Connection::Id, {id}, QStringLiteral("Status;Updated"),
                         {status, updated});
}
} // namespace

ConnectionControl::ConnectionControl(EngineEnvironment environment,
                                     std::chrono::milliseconds stopGrace)
    : environment_(std::move(environment))
    , stopGrace_(stopGrace)
    , self_(std::make_shared<ConnectionControl*>(this)) {}

ConnectionControl::~ConnectionControl() {
    Shutdown();
}

void ConnectionControl::StartConnection(int id) {
    TDm& dm = environment_.Dm;
    const QVariantList connection = dm.Connection.Lookup(
        Fields::Connection::Id, {id}, QStringLiteral("Status;Time_Update;Id_Source;Id_Receiver"));
    const int status = IntegerAt(connection, 0);
    WorkerParameters parameters;
    parameters.ConnectionId = id;
    // In 64 bits: the largest period the field holds is far more milliseconds than 32 bits count.
    parameters.PeriodMs = std::int64_t(IntegerAt(connection, 1)) * 60000;
    parameters.SourceId = IntegerAt(connection, 2);
    parameters.ReceiverId = IntegerAt(connection, 3);

    const QVariantList receiver = dm.Receiver.Lookup(
        Fields::Receiver::Id, {parameters.ReceiverId},
        QStringLiteral("Connection_String;Key_Field;Name_Updated_Field;Name_Table"));
    parameters.ReceiverConnectionString = environment_.Passwords.UnmaskConnectionString(
        parameters.ReceiverId, QStringLiteral("Receiver"), u';', TextAt(receiver, 0));
    parameters.KeyField = TextAt(receiver, 1);
    parameters.ValueField = TextAt(receiver, 2);
    parameters.TableName = TextAt(receiver, 3);

    const QVariantList source =
        dm.Source.Lookup(Fields::Source::Id, {parameters.SourceId},
                         QStringLiteral("Id_Connection_Types;Connection_String;SQL_Query;"
                                        "CustomParameter;Name_Docking_Field;Name_Updated_Field"));
    parameters.ConnectionType = IntegerAt(source, 0);
    parameters.SourceConnectionString = environment_.Passwords.UnmaskConnectionString(
        parameters.SourceId, QStringLiteral("Source"),
        parameters.ConnectionType == kSqlConnectionType ? u';' : u' ', TextAt(source, 1));
    parameters.SqlQuery = TextAt(source, 2);
    parameters.StockFilter = TextAt(source, 3);
    parameters.DockingField = TextAt(source, 4);
    parameters.SourceValueField = TextAt(source, 5);

    if (status != ConnectionStatus::NotUpdating && status != ConnectionStatus::UpdateError) {
        environment_.OperatorPrompts.MessageDlg(QStringLiteral("Данное подключение уже запущенно"),
                                                DialogKind::Information, {DialogButton::Yes});
        return;
    }
    parameters.AttemptLimit = environment_.NumberAttempts();

    auto worker = std::make_shared<TWorkThread>(parameters, environment_);
    const TThread* ended = worker.get();
    worker->OnTerminate = [link = std::weak_ptr<ConnectionControl*>(self_), ended] {
        if (const auto self = link.lock())
            (*self)->WorkerEnded(ended);
    };
    worker->Start();

    // The callers make the row current; a caller that did not must not edit another row.
    RecordSet& table = dm.Connection;
    if (CurrentId(table) == QVariant(id) || table.Locate(Fields::Connection::Id, {id}))
        SetStatus(table,
                  IsInWorkingPeriod(table, *environment_.TimeSource, id)
                      ? ConnectionStatus::Updating
                      : ConnectionStatus::WaitingForPeriod,
                  0);
    running_.push_back({QString::number(id), worker});
    environment_.Events.LogEvent(id, EventCode::Started, QString());
}

void ConnectionControl::StopConnection(int id, bool confirm) {
    const int status = ConnectionStatusOf(id);
    if (status == ConnectionStatus::NotUpdating || status == ConnectionStatus::UpdateError ||
        status == ConnectionStatus::Stopping)
        return;
    if (confirm && environment_.OperatorPrompts.SystemMessageBox(
                       QStringLiteral("Вы подтверждаете остановку данного соединения?"),
                       {DialogButton::Yes, DialogButton::No}) != DialogButton::Yes)
        return;

    RecordSet& table = environment_.Dm.Connection;
    {
        // Neither saved nor refreshed here; the operator's current row and pending edit stay.
        SuspendedTableEvents suspended(environment_.TableEvents, table);
        const QString key = QString::number(id);
        const auto entry = std::find_if(running_.begin(), running_.end(), [&](const auto& e) {
            return e.Key == key && !e.Worker->Finished();
        });
        if (entry != running_.end()) {
            if (entry->Worker->TerminateIfSleeping()) {
                retiring_.push_back(entry->Worker);
                running_.erase(entry);
                SetStatusOf(table, id, ConnectionStatus::NotUpdating, 0);
            } else {
                SetStatusOf(table, id, ConnectionStatus::Stopping, 1);
                CancelAfterGrace(entry->Worker);
            }
        }
    }
    environment_.Events.LogEvent(id, EventCode::Stopped, QString());
}

void ConnectionControl::StartAllConnections() {
    RecordSet& table = environment_.Dm.Connection;
    for (table.First(); !table.Eof(); table.Next())
        StartConnection(table.FieldByName(Fields::Connection::Id).AsInteger());
}

void ConnectionControl::StopAllConnections() {
    // Read as stored, so that the walk neither moves the operator's row nor ends an edit.
    const RecordSet& table = environment_.Dm.Connection;
    const int idField = table.FieldIndex(Fields::Connection::Id);
    for (const QVariantList& row : table.StoredRows())
        StopConnection(row[idField].toInt(), false);
}

void ConnectionControl::ApplyCommandLine(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument.compare(QStringLiteral("RunAll"), Qt::CaseInsensitive) != 0)
            continue;
        StartAllConnections();
        environment_.Window.PostMinimize();
    }
}

std::shared_ptr<TWorkThread> ConnectionControl::FindRunning(int id) const {
    const QString key = QString::number(id);
    for (const RunningConnection& entry : running_)
        if (entry.Key == key && !entry.Worker->Finished())
            return entry.Worker;
    return nullptr;
}

void ConnectionControl::CancelStaleCycle(int id, const QDateTime& start) {
    if (const std::shared_ptr<TWorkThread> worker = FindRunning(id))
        worker->CancelCycleStartedAt(start);
}

void ConnectionControl::CancelAfterGrace(const std::shared_ptr<TWorkThread>& worker) {
    QTimer::singleShot(
        stopGrace_, environment_.HandOver.get(),
        [stopped = std::weak_ptr<TWorkThread>(worker)] {
            if (const auto stuck = stopped.lock(); stuck && !stuck->Finished())
                stuck->CancelCallForStop();
        });
}

void ConnectionControl::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    std::vector<std::shared_ptr<TWorkThread>> workers = retiring_;
    for (const RunningConnection& entry : running_)
        workers.push_back(entry.Worker);
    for (const auto& worker : workers) {
        worker->Terminate();
        worker->Abort();
        // A call that hangs would keep running on its server after the program has gone.
        worker->CancelCall();
    }
    environment_.HandOver->Close();
    const auto deadline = std::chrono::steady_clock::now() + kShutdownGrace;
    for (const auto& worker : workers) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        // A worker stuck in a database call keeps itself alive and ends on its own.
        if (!worker->WaitFor(int(std::max<std::int64_t>(0, left.count()))))
            worker->Detach();
    }
    running_.clear();
    retiring_.clear();
}

void ConnectionControl::WorkerEnded(const TThread* worker) {
    std::erase_if(
        running_, [&](const RunningConnection& e) { return e.Worker.get() == worker; });
    std::erase_if(retiring_, [&](const auto& retired) { return retired.get() == worker; });
}

int ConnectionControl::ConnectionStatusOf(int id) const {
    return IntegerAt(
        environment_.Dm.Connection.Lookup(Fields::Connection::Id, {id}, Fields::Connection::Status),
        0);
}

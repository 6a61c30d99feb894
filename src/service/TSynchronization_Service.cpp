#include "service/TSynchronization_Service.h"

#include "core/ConnectionStatus.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "core/WindowLink.h"
#include "diagnostics/ConnectionTest.h"
#include "diagnostics/EventLog.h"
#include "engine/ConnectionControl.h"
#include "engine/UpdateWatchdog.h"
#include "platform/Errors.h"
#include "platform/MainThreadHandOver.h"
#include "platform/Prompts.h"
#include "service/ConnectionMonitor.h"

#include <QDir>
#include <QTime>

namespace {
QString RegistrationPathIn(const QString& programFolder) {
    return QDir(programFolder).filePath(QStringLiteral("Automation.ini"));
}
} // namespace

TSynchronization_Service::TSynchronization_Service(TDm& dm, ServiceEnvironment environment)
    : dm_(dm)
    , environment_(std::move(environment))
    , passwords_(dm.VremTable, events_)
    , settingsLocation_(environment_.ProgramFolder)
    , settingsFile_(settingsLocation_.Path(), dm, counters_, events_, passwords_,
                    [this](const QString& path) {
                        eventLog_->LogNote(
                            QStringLiteral("Файл настроек %1 был доступен не только владельцу; "
                                           "теперь читать и изменять его может только владелец.")
                                .arg(path));
                    })
    , eventLog_(std::make_unique<EventLog>(
          dm, environment_.ProgramFolder, [this] { return settings_.ShowAllLogs; },
          [this] { return settings_.MaxSizeLogs; }, *environment_.TimeSource))
    , monitor_(std::make_unique<ConnectionMonitor>(
          *eventLog_, dm, *environment_.TimeSource,
          [this](int id) { return connections_ && connections_->FindRunning(id) != nullptr; }))
    , connections_(std::make_unique<ConnectionControl>(
          EngineEnvironment{dm, events_, passwords_, *monitor_, *environment_.OperatorPrompts,
                            *environment_.Window, environment_.TimeSource, environment_.HandOver,
                            RegistrationPathIn(environment_.ProgramFolder),
                            [this] { return settings_.NumberAttempts; }}))
    , connectionTest_(
          std::make_unique<ConnectionTest>(dm, passwords_, *environment_.OperatorPrompts,
                                           RegistrationPathIn(environment_.ProgramFolder)))
    , watchdog_(std::make_unique<UpdateWatchdog>(
          dm, passwords_, *environment_.OperatorPrompts, *environment_.TimeSource, *monitor_,
          [this](int id, const QDateTime& start) { connections_->CancelStaleCycle(id, start); })) {
    watchdogTick_ = QObject::connect(&dm_.TaskScheduler, &QTimer::timeout, &dm_.TaskScheduler,
                                     [this] { watchdog_->TaskSchedulerTimer(&dm_.TaskScheduler); });
    OpenAndEmptyTables();
    WireTableEvents();
    environment_.HandOver->SetRoundEnd([this] { SaveStatusRows(); });
    loadError_ = settingsLocation_.Refusal();
    if (!Loaded())
        return;
    try {
        settings_ = settingsFile_.LoadConfiguration();
    } catch (const Exception& error) {
        loadError_ = error.Message();
    }
}

TSynchronization_Service::~TSynchronization_Service() {
    SaveAtEnd();
    QObject::disconnect(watchdogTick_);
    connections_->Shutdown();
    environment_.HandOver->SetRoundEnd({});
    dm_.Source.Close();
    dm_.Receiver.Close();
    dm_.Connection.Close();
    dm_.Connection_Types.Close();
    dm_.VremTable.Close();
}

void TSynchronization_Service::OpenAndEmptyTables() {
    RecordSet* tables[] = {&dm_.Connection_Types, &dm_.Source, &dm_.Receiver, &dm_.Connection,
                           &dm_.VremTable};
    for (RecordSet* table : tables)
        table->Open();
    for (RecordSet* table : tables)
        table->EmptyTable();
}

void TSynchronization_Service::WireTableEvents() {
    const auto refresh = [this](RecordSet&) { RefreshControls(); };
    const auto nameEmptied = [this](const QString& field) {
        return [this, field](RecordSet& table) {
            table.FieldByName(field).SetAsString(QString());
            RefreshControls();
        };
    };
    RecordSet* editable[] = {&dm_.Connection, &dm_.Receiver, &dm_.Source};
    for (RecordSet* table : editable) {
        table->AfterCancel = refresh;
        table->AfterDelete = refresh;
        table->AfterScroll = refresh;
    }

    dm_.Connection.OnNewRecord = [this](RecordSet& table) { NewConnectionValues(table); };
    dm_.Connection.AfterInsert = nameEmptied(Fields::Connection::Name_Connection);
    dm_.Connection.AfterPost = [this](RecordSet& table) { SaveTable(table); };
    dm_.Connection.AfterRowUpdate = [this](RecordSet&) { RowUpdated(); };

    dm_.Receiver.OnNewRecord = [this](RecordSet& table) {
        table.FieldByName(Fields::Receiver::Id).SetAsInteger(NewReceiverId());
    };
    dm_.Receiver.AfterInsert = nameEmptied(Fields::Receiver::Name_Receiver);
    dm_.Receiver.AfterPost = [this](RecordSet& table) { PostedWithPassword(table); };

    dm_.Source.OnNewRecord = [this](RecordSet& table) {
        table.FieldByName(Fields::Source::Id).SetAsInteger(NewSourceId());
    };
    dm_.Source.AfterInsert = nameEmptied(Fields::Source::Name_Source);
    dm_.Source.AfterPost = [this](RecordSet& table) { PostedWithPassword(table); };
}

void TSynchronization_Service::NewConnectionValues(RecordSet& connection) {
    connection.FieldByName(Fields::Connection::Id).SetAsInteger(NewConnectionId());
    connection.FieldByName(Fields::Connection::Status).SetAsInteger(NotUpdating);
    connection.FieldByName(Fields::Connection::Updated).SetAsInteger(0);
    for (const QString& day :
         {Fields::Connection::Monday, Fields::Connection::Tuesday, Fields::Connection::Wednesday,
          Fields::Connection::Thursday, Fields::Connection::Friday})
        connection.FieldByName(day).SetAsInteger(1);
    connection.FieldByName(Fields::Connection::Saturday).SetAsInteger(0);
    connection.FieldByName(Fields::Connection::Sunday).SetAsInteger(0);
    connection.FieldByName(Fields::Connection::Time_Update).SetAsInteger(30);
    connection.FieldByName(Fields::Connection::TimeStart).SetAsTime(QTime(9, 0, 0));
    connection.FieldByName(Fields::Connection::TimeEnd).SetAsTime(QTime(18, 0, 0));
}

void TSynchronization_Service::PostedWithPassword(RecordSet& table) {
    HidePasswords(table.FieldByName(Fields::Shared::Id).AsInteger(), table,
                  table.FieldByName(Fields::Shared::Connection_String).AsString());
    SaveTable(table);
}

void TSynchronization_Service::RefreshControls() {
    environment_.Window->RefreshControls();
}

void TSynchronization_Service::SaveTable(RecordSet& table) {
    RequireLoaded();
    WatchedSave([&] { settingsFile_.SaveTable(table); });
}

void TSynchronization_Service::RowUpdated() {
    RequireLoaded();
    // The rows of all workers' steps in one round go to disk in one write, before any of
    // those workers hears that its step is done.
    environment_.HandOver->AwaitRoundEnd();
    // The locks of the operator's current row may follow the changed status.
    RefreshControls();
}

void TSynchronization_Service::SaveStatusRows() {
    WatchedSave([this] { settingsFile_.SaveStoredRows(dm_.Connection); });
}

void TSynchronization_Service::RequireLoaded() const {
    if (!Loaded())
        throw Exception(QStringLiteral("Файл настроек не загружен, запись в него запрещена: ") +
                        loadError_);
}

void TSynchronization_Service::SaveConfiguration() {
    StopAllConnections();
    WatchedSave([this] { settingsFile_.SaveCountersAndTables(); });
}

void TSynchronization_Service::WatchedSave(const std::function<void()>& save) {
    try {
        save();
    } catch (const Exception& error) {
        monitor_->SaveFailed(error.Message());
        throw;
    }
    monitor_->SaveSucceeded();
}

bool TSynchronization_Service::SaveAtEnd() {
    // A partly loaded configuration must never be written over the file it came from.
    if (ended_ || !Loaded())
        return savedAtEnd_;
    ended_ = true;
    try {
        SaveConfiguration();
    } catch (const Exception& error) {
        // The counters and every table whose earlier save failed are lost unless someone hears.
        savedAtEnd_ = false;
        environment_.OperatorPrompts->MessageDlg(
            QStringLiteral("Настройки не сохранены при завершении программы: %1")
                .arg(error.Message()),
            DialogKind::Error, {DialogButton::Ok});
    }
    return savedAtEnd_;
}

void TSynchronization_Service::HidePasswords(int id, RecordSet& table,
                                             const QString& connectionString) {
    passwords_.HidePasswords(id, table, connectionString);
}

QString TSynchronization_Service::UnmaskConnectionString(int id, const QString& tableName,
                                                         QChar separator,
                                                         const QString& shown) const {
    return passwords_.UnmaskConnectionString(id, tableName, separator, shown);
}

void TSynchronization_Service::LogEvent(int id, EventCode code, const QString& text) {
    monitor_->LogEvent(id, code, text);
}

void TSynchronization_Service::StartConnection(int id) {
    connections_->StartConnection(id);
}

void TSynchronization_Service::StopConnection(int id, bool confirm) {
    connections_->StopConnection(id, confirm);
    // The stop changes the row without the table's events; the locks follow it here.
    RefreshControls();
}

void TSynchronization_Service::StartAllConnections() {
    connections_->StartAllConnections();
}

void TSynchronization_Service::StopAllConnections() {
    connections_->StopAllConnections();
    RefreshControls();
}

void TSynchronization_Service::ApplyCommandLine() {
    connections_->ApplyCommandLine(environment_.Arguments);
}

bool TSynchronization_Service::TestConnection(RecordSet& table, int id, bool wholeConnection,
                                              bool showMessages) {
    return connectionTest_->TestConnection(table, id, wholeConnection, showMessages);
}

#pragma once

#include "core/EventCode.h"
#include "core/IdCounters.h"
#include "core/PasswordKeeper.h"
#include "core/ServiceSettings.h"
#include "core/SettingsFile.h"
#include "core/TableEventStore.h"
#include "service/ProgramFolder.h"
#include "service/ServiceEnvironment.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class ConnectionControl;
class ConnectionMonitor;
class ConnectionTest;
class EventLog;
class RecordSet;
class TDm;
class UpdateWatchdog;

// The one service object: the state that belongs to the tables without being stored in them,
// and the operations the window and the shell call. It wires the components; they know only
// the narrow interfaces they are given.
class TSynchronization_Service {
public:
    // Opens and empties the five tables, wires their events and loads the settings file. A
    // load that fails leaves a service that says so (Loaded, LoadError) and never saves.
    TSynchronization_Service(TDm& dm, ServiceEnvironment environment);
    // Ends the program's work as SaveAtEnd does, unless that already ran, then closes the
    // tables.
    ~TSynchronization_Service();
    TSynchronization_Service(const TSynchronization_Service&) = delete;
    TSynchronization_Service& operator=(const TSynchronization_Service&) = delete;

    bool Loaded() const { return loadError_.isNull(); }
    const QString& LoadError() const { return loadError_; }
    const ServiceSettings& Settings() const { return settings_; }
    const IdCounters& Counters() const { return counters_; }
    QString SettingsPath() const { return settingsFile_.Path(); }

    int NewConnectionId() { return counters_.NewConnectionId(); }
    int NewReceiverId() { return counters_.NewReceiverId(); }
    int NewSourceId() { return counters_.NewSourceId(); }
    void SuspendTableEvents(RecordSet& table) { events_.SuspendTableEvents(table); }
    void RestoreTableEvents(RecordSet& table) { events_.RestoreTableEvents(table); }

    void SaveTable(RecordSet& table);
    void SaveConfiguration();
    // At the program's end: stops every connection and writes the counters and tables, once.
    // A failure is shown to the operator as an error, and the result is false; a service
    // whose load failed writes nothing and gives true.
    bool SaveAtEnd();

    void HidePasswords(int id, RecordSet& table, const QString& connectionString);
    QString UnmaskConnectionString(int id, const QString& tableName, QChar separator,
                                   const QString& shown) const;

    void LogEvent(int id, EventCode code, const QString& text = QString());

    void StartConnection(int id);
    void StopConnection(int id, bool confirm);
    void StartAllConnections();
    void StopAllConnections();
    // Acts on the program's own command line ("RunAll").
    void ApplyCommandLine();
    const ConnectionControl& Connections() const { return *connections_; }
    // The figures and events of the connections, for those who watch the service.
    ConnectionMonitor& Monitor() { return *monitor_; }

    bool TestConnection(RecordSet& table, int id, bool wholeConnection, bool showMessages);
    // The checks and attempts of the three test buttons, on the current rows.
    ConnectionTest& ConnectionTests() { return *connectionTest_; }

private:
    void OpenAndEmptyTables();
    void WireTableEvents();
    void RefreshControls();
    void NewConnectionValues(RecordSet& connection);
    void PostedWithPassword(RecordSet& table);
    // Runs a save of the settings file and tells the monitor how it went.
    void WatchedSave(const std::function<void()>& save);
    // A row changed on behalf of a worker: saved and shown beside the operator's pending edit.
    void RowUpdated();
    // The Connection rows as stored, after the steps of the workers that changed them.
    void SaveStatusRows();
    void RequireLoaded() const;

    TDm& dm_;
    ServiceEnvironment environment_;
    IdCounters counters_;
    TableEventStore events_;
    PasswordKeeper passwords_;
    SettingsFileLocation settingsLocation_;
    SettingsFile settingsFile_;
    ServiceSettings settings_;
    std::unique_ptr<EventLog> eventLog_;
    std::unique_ptr<ConnectionMonitor> monitor_;
    std::unique_ptr<ConnectionControl> connections_;
    std::unique_ptr<ConnectionTest> connectionTest_;
    std::unique_ptr<UpdateWatchdog> watchdog_;
    QMetaObject::Connection watchdogTick_;
    QString loadError_;
    bool ended_ = false;
    bool savedAtEnd_ = true;
};

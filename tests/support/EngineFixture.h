#pragma once

#include "RecordingEventSink.h"
#include "RecordingWindowLink.h"
#include "ScriptedPrompts.h"
#include "core/ConnectionStatus.h"
#include "core/PasswordKeeper.h"
#include "core/TDm.h"
#include "core/TableEventStore.h"
#include "core/TableFields.h"
#include "engine/EngineEnvironment.h"

#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVariant>

#include <functional>
#include <memory>

class MainThreadHandOver;
class VirtualClock;

// The engine's surroundings for tests: the real tables, opened and empty, the password keeper,
// a recording event sink and window link, scripted prompts, virtual time and the hand-over.
// Every post and row update of Connection is counted, as the settings file would be written.
class EngineFixture {
public:
    // Monday 2024-01-15 10:00:00 unless given.
    explicit EngineFixture(const QDateTime& start = DefaultStart());
    ~EngineFixture();
    EngineFixture(const EngineFixture&) = delete;
    EngineFixture& operator=(const EngineFixture&) = delete;

    static QDateTime DefaultStart();

    EngineEnvironment Environment(int numberAttempts = 3,
                                  const QString& registrationFile = QString());

    int AddReceiver(const QString& connectionString, const QString& table = "Stock_Balance",
                    const QString& keyField = "Partno", const QString& valueField = "Quantity");
    // type 1 is an SQL source; 2 to 6 a 1C infobase.
    int AddSource(int type, const QString& connectionString, const QString& sqlQuery = QString(),
                  const QString& dockingField = QString(), const QString& valueField = QString(),
                  const QString& customParameter = QString());
    // Works every day from 00:00:00 to 23:59:59 unless changed with SetConnectionValue.
    int AddConnection(const QString& name, int receiverId, int sourceId, int minutes = 30,
                      ConnectionStatus status = NotUpdating);
    void SetConnectionValue(int id, const QString& field, const QVariant& value);
    QVariant ConnectionValue(int id, const QString& field) const;
    ConnectionStatus Status(int id) const {
        return ConnectionStatus(ConnectionValue(id, Fields::Connection::Status).toInt());
    }
    // Rows of VremTable that mark a running cycle of the connection.
    int CycleMarks(int id) const;

    // The operator's unsaved change on the row of this connection, made current: period 0
    // typed into it, or a new row inserted there with only its defaults.
    void BeginOperatorsEdit(int id, bool insert);
    // The change is still pending on the current row, none of it stored.
    void VerifyOperatorsEditPending(int id, bool insert);

    // Runs the main thread's events until condition holds or timeoutMs of real time pass.
    static bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);
    // Runs the main thread's events while the worker threads settle into their next waits.
    bool WaitForSleepers(int count, int timeoutMs = 20000) const;

    TDm Dm;
    TableEventStore TableEvents;
    PasswordKeeper Passwords{Dm.VremTable, TableEvents};
    RecordingEventSink Events;
    ScriptedPrompts Prompts;
    RecordingWindowLink Window;
    std::shared_ptr<VirtualClock> Time;
    std::shared_ptr<MainThreadHandOver> HandOver;
    int ConnectionPosts = 0;

private:
    int nextId_ = 0;
};

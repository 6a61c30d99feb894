#include "EngineFixture.h"

#include "core/TableFields.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

EngineFixture::EngineFixture(const QDateTime& start)
    : Time(std::make_shared<VirtualClock>(start))
    , HandOver(std::make_shared<MainThreadHandOver>()) {
    for (RecordSet* table :
         {&Dm.Connection_Types, &Dm.Source, &Dm.Receiver, &Dm.Connection, &Dm.VremTable}) {
        table->Open();
        table->EmptyTable();
    }
    Dm.Connection.AfterPost = [this](RecordSet&) { ++ConnectionPosts; };
    Dm.Connection.AfterRowUpdate = [this](RecordSet&) { ++ConnectionPosts; };
}

EngineFixture::~EngineFixture() {
    Dm.Connection.AfterPost = nullptr;
    Dm.Connection.AfterRowUpdate = nullptr;
    HandOver->Close();
}

QDateTime EngineFixture::DefaultStart() {
    return {QDate(2024, 1, 15), QTime(10, 0)};
}

EngineEnvironment EngineFixture::Environment(int numberAttempts, const QString& registrationFile) {
    return {Dm,
            TableEvents,
            Passwords,
            Events,
            Prompts,
            Window,
            Time,
            HandOver,
            registrationFile,
            [numberAttempts] { return numberAttempts; }};
}

int EngineFixture::AddReceiver(const QString& connectionString, const QString& table,
                               const QString& keyField, const QString& valueField) {
    const int id = ++nextId_;
    RecordSet& receiver = Dm.Receiver;
    receiver.Append();
    receiver.FieldByName(Fields::Receiver::Id).SetAsInteger(id);
    receiver.FieldByName(Fields::Receiver::Name_Receiver)
        .SetAsString(QStringLiteral("Приемник %1").arg(id));
    receiver.FieldByName(Fields::Receiver::Connection_String).SetAsString(connectionString);
    receiver.FieldByName(Fields::Receiver::Id_Connection_Types).SetAsInteger(1);
    receiver.FieldByName(Fields::Receiver::Name_Table).SetAsString(table);
    receiver.FieldByName(Fields::Receiver::Key_Field).SetAsString(keyField);
    receiver.FieldByName(Fields::Receiver::Name_Updated_Field).SetAsString(valueField);
    receiver.Post();
    Passwords.HidePasswords(id, receiver, connectionString);
    return id;
}

int EngineFixture::AddSource(int type, const QString& connectionString, const QString& sqlQuery,
                             const QString& dockingField, const QString& valueField,
                             const QString& customParameter) {
    const int id = ++nextId_;
    RecordSet& source = Dm.Source;
    source.Append();
    source.FieldByName(Fields::Source::Id).SetAsInteger(id);
    source.FieldByName(Fields::Source::Name_Source)
        .SetAsString(QStringLiteral("Источник %1").arg(id));
    source.FieldByName(Fields::Source::Connection_String).SetAsString(connectionString);
    source.FieldByName(Fields::Source::Id_Connection_Types).SetAsInteger(type);
    source.FieldByName(Fields::Source::SQL_Query).SetAsString(sqlQuery);
    source.FieldByName(Fields::Source::Name_Docking_Field).SetAsString(dockingField);
    source.FieldByName(Fields::Source::Name_Updated_Field).SetAsString(valueField);
    source.FieldByName(Fields::Source::CustomParameter).SetAsString(customParameter);
    source.Post();
    Passwords.HidePasswords(id, source, connectionString);
    return id;
}

int EngineFixture::AddConnection(const QString& name, int receiverId, int sourceId, int minutes,
                                 ConnectionStatus status) {
    const int id = ++nextId_;
    RecordSet& connection = Dm.Connection;
    connection.Append();
    connection.FieldByName(Fields::Connection::Id).SetAsInteger(id);
    connection.FieldByName(Fields::Connection::Name_Connection).SetAsString(name);
    connection.FieldByName(Fields::Connection::Status).SetAsInteger(status);
    connection.FieldByName(Fields::Connection::Updated).SetAsInteger(0);
    connection.FieldByName(Fields::Connection::Id_Receiver).SetAsInteger(receiverId);
    connection.FieldByName(Fields::Connection::Id_Source).SetAsInteger(sourceId);
    connection.FieldByName(Fields::Connection::Time_Update).SetAsInteger(minutes);
    for (const QString& day : Fields::Connection::WeekDays)
        connection.FieldByName(day).SetAsInteger(1);
    connection.FieldByName(Fields::Connection::TimeStart).SetAsTime(QTime(0, 0));
    connection.FieldByName(Fields::Connection::TimeEnd).SetAsTime(QTime(23, 59, 59));
    connection.Post();
    return id;
}

void EngineFixture::SetConnectionValue(int id, const QString& field, const QVariant& value) {
    RecordSet& connection = Dm.Connection;
    if (!connection.Locate(Fields::Connection::Id, {id}))
        qFatal("no connection %d", id);
    connection.Edit();
    connection.FieldByName(field).SetValue(value);
    connection.Post();
}

QVariant EngineFixture::ConnectionValue(int id, const QString& field) const {
    const QVariantList values = Dm.Connection.Lookup(Fields::Connection::Id, {id}, field);
    return values.isEmpty() ? QVariant() : values.first();
}

int EngineFixture::CycleMarks(int id) const {
    int marks = 0;
    const RecordSet& vremTable = Dm.VremTable;
    const int idTable = vremTable.FieldIndex(Fields::VremTable::IdTable);
    const int nameTable = vremTable.FieldIndex(Fields::VremTable::NameTable);
    for (int row = 0; row < vremTable.RecordCount(); ++row)
        if (vremTable.ValueAt(row, idTable).toInt() == id &&
            vremTable.ValueAt(row, nameTable).toString() == QStringLiteral("Connection"))
            ++marks;
    return marks;
}

bool EngineFixture::WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

bool EngineFixture::WaitForSleepers(int count, int timeoutMs) const {
    return WaitUntil([&] { return Time->Sleepers() >= count; }, timeoutMs);
}

void EngineFixture::BeginOperatorsEdit(int id, bool insert) {
    RecordSet& connection = Dm.Connection;
    QVERIFY(connection.Locate(Fields::Connection::Id, {id}));
    if (insert) {
        connection.Insert();
        return;
    }
    connection.Edit();
    connection.FieldByName(Fields::Connection::Time_Update).SetAsInteger(0);
}

void EngineFixture::VerifyOperatorsEditPending(int id, bool insert) {
    RecordSet& connection = Dm.Connection;
    QCOMPARE(connection.State(), insert ? RecordSetState::Insert : RecordSetState::Edit);
    QCOMPARE(ConnectionValue(id, Fields::Connection::Time_Update).toInt(), 30);
    if (insert) {
        QVERIFY(connection.FieldByName(Fields::Connection::Id).IsNull());
        return;
    }
    QCOMPARE(connection.FieldByName(Fields::Connection::Id).AsInteger(), id);
    QCOMPARE(connection.FieldByName(Fields::Connection::Time_Update).AsInteger(), 0);
}

#include "EngineFixture.h"

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
    receiver.FieldByName("Id").SetAsInteger(id);
    receiver.FieldByName("Name_Receiver").SetAsString(QStringLiteral("Приемник %1").arg(id));
    receiver.FieldByName("Connection_String").SetAsString(connectionString);
    receiver.FieldByName("Id_Connection_Types").SetAsInteger(1);
    receiver.FieldByName("Name_Table").SetAsString(table);
    receiver.FieldByName("Key_Field").SetAsString(keyField);
    receiver.FieldByName("Name_Updated_Field").SetAsString(valueField);
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
    source.FieldByName("Id").SetAsInteger(id);
    source.FieldByName("Name_Source").SetAsString(QStringLiteral("Источник %1").arg(id));
    source.FieldByName("Connection_String").SetAsString(connectionString);
    source.FieldByName("Id_Connection_Types").SetAsInteger(type);
    source.FieldByName("SQL_Query").SetAsString(sqlQuery);
    source.FieldByName("Name_Docking_Field").SetAsString(dockingField);
    source.FieldByName("Name_Updated_Field").SetAsString(valueField);
    source.FieldByName("CustomParameter").SetAsString(customParameter);
    source.Post();
    Passwords.HidePasswords(id, source, connectionString);
    return id;
}

int EngineFixture::AddConnection(const QString& name, int receiverId, int sourceId, int minutes,
                                 ConnectionStatus status) {
    const int id = ++nextId_;
    RecordSet& connection = Dm.Connection;
    connection.Append();
    connection.FieldByName("Id").SetAsInteger(id);
    connection.FieldByName("Name_Connection").SetAsString(name);
    connection.FieldByName("Status").SetAsInteger(status);
    connection.FieldByName("Updated").SetAsInteger(0);
    connection.FieldByName("Id_Receiver").SetAsInteger(receiverId);
    connection.FieldByName("Id_Source").SetAsInteger(sourceId);
    connection.FieldByName("Time_Update").SetAsInteger(minutes);
    for (const char* day :
         {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"})
        connection.FieldByName(QString::fromLatin1(day)).SetAsInteger(1);
    connection.FieldByName("TimeStart").SetAsTime(QTime(0, 0));
    connection.FieldByName("TimeEnd").SetAsTime(QTime(23, 59, 59));
    connection.Post();
    return id;
}

void EngineFixture::SetConnectionValue(int id, const QString& field, const QVariant& value) {
    RecordSet& connection = Dm.Connection;
    if (!connection.Locate("Id", {id}))
        qFatal("no connection %d", id);
    connection.Edit();
    connection.FieldByName(field).SetValue(value);
    connection.Post();
}

QVariant EngineFixture::ConnectionValue(int id, const QString& field) const {
    const QVariantList values = Dm.Connection.Lookup("Id", {id}, field);
    return values.isEmpty() ? QVariant() : values.first();
}

int EngineFixture::CycleMarks(int id) const {
    int marks = 0;
    const RecordSet& vremTable = Dm.VremTable;
    const int idTable = vremTable.FieldIndex("IdTable");
    const int nameTable = vremTable.FieldIndex("NameTable");
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
    QVERIFY(connection.Locate("Id", {id}));
    if (insert) {
        connection.Insert();
        return;
    }
    connection.Edit();
    connection.FieldByName("Time_Update").SetAsInteger(0);
}

void EngineFixture::VerifyOperatorsEditPending(int id, bool insert) {
    RecordSet& connection = Dm.Connection;
    QCOMPARE(connection.State(), insert ? RecordSetState::Insert : RecordSetState::Edit);
    QCOMPARE(ConnectionValue(id, "Time_Update").toInt(), 30);
    if (insert) {
        QVERIFY(connection.FieldByName("Id").IsNull());
        return;
    }
    QCOMPARE(connection.FieldByName("Id").AsInteger(), id);
    QCOMPARE(connection.FieldByName("Time_Update").AsInteger(), 0);
}

#include "demo/ConfigurationRows.h"

#include "core/RecordSet.h"
#include "core/uDm.h"

#include <QTime>
#include <QVariant>

namespace {

void Set(RecordSet& table, const char* field, const QVariant& value) {
    table.FieldByName(QString::fromLatin1(field)).SetValue(value);
}

int CurrentId(RecordSet& table) {
    return table.FieldByName(QStringLiteral("Id")).AsInteger();
}

} // namespace

ConfigurationRows::ConfigurationRows(TDm& dm)
    : dm_(dm) {}

int ConfigurationRows::AddReceiver(const QString& name, const QString& connectionString) {
    RecordSet& receiver = dm_.Receiver;
    receiver.Append();
    const int id = CurrentId(receiver);
    Set(receiver, "Name_Receiver", name);
    Set(receiver, "Connection_String", connectionString);
    Set(receiver, "Id_Connection_Types", 1);
    Set(receiver, "Key_Field", QStringLiteral("Partno"));
    Set(receiver, "Name_Updated_Field", QStringLiteral("Quantity"));
    Set(receiver, "Name_Table", QStringLiteral("Stock_Balance"));
    receiver.Post();
    return id;
}

int ConfigurationRows::AddSqlSource(const QString& name, const QString& connectionString,
                                    const QString& query, const QString& quantityField) {
    const int id = AppendSource(name, 1, connectionString);
    Set(dm_.Source, "SQL_Query", query);
    Set(dm_.Source, "Name_Docking_Field", QStringLiteral("Code"));
    Set(dm_.Source, "Name_Updated_Field", quantityField);
    dm_.Source.Post();
    return id;
}

int ConfigurationRows::AddInfobaseSource(const QString& name, int type,
                                         const QString& commandLine) {
    const int id = AppendSource(name, type, commandLine);
    dm_.Source.Post();
    return id;
}

void ConfigurationRows::AddConnection(const QString& name, int receiverId, int sourceId,
                                      int periodMinutes) {
    RecordSet& connection = dm_.Connection;
    connection.Append();
    Set(connection, "Name_Connection", name);
    Set(connection, "Id_Receiver", receiverId);
    Set(connection, "Id_Source", sourceId);
    Set(connection, "Time_Update", periodMinutes);
    for (const char* day :
         {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"})
        Set(connection, day, 1);
    connection.FieldByName(QStringLiteral("TimeStart")).SetAsTime(QTime(0, 0, 0));
    connection.FieldByName(QStringLiteral("TimeEnd")).SetAsTime(QTime(23, 59, 59));
    connection.Post();
}

int ConfigurationRows::AppendSource(const QString& name, int type,
                                    const QString& connectionString) {
    RecordSet& source = dm_.Source;
    source.Append();
    const int id = CurrentId(source);
    Set(source, "Name_Source", name);
    Set(source, "Id_Connection_Types", type);
    Set(source, "Connection_String", connectionString);
    return id;
}

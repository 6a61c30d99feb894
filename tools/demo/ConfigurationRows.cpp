#include "demo/ConfigurationRows.h"

#include "core/RecordSet.h"
#include "core/TDm.h"
#include "core/TableFields.h"

#include <QTime>
#include <QVariant>

namespace {

void Set(RecordSet& table, const QString& field, const QVariant& value) {
    table.FieldByName(field).SetValue(value);
}

int CurrentId(RecordSet& table) {
    return table.FieldByName(Fields::Shared::Id).AsInteger();
}

} // namespace

ConfigurationRows::ConfigurationRows(TDm& dm)
    : dm_(dm) {}

int ConfigurationRows::AddReceiver(const QString& name, const QString& connectionString) {
    RecordSet& receiver = dm_.Receiver;
    receiver.Append();
    const int id = CurrentId(receiver);
    Set(receiver, Fields::Receiver::Name_Receiver, name);
    Set(receiver, Fields::Receiver::Connection_String, connectionString);
    Set(receiver, Fields::Receiver::Id_Connection_Types, 1);
    Set(receiver, Fields::Receiver::Key_Field, QStringLiteral("Partno"));
    Set(receiver, Fields::Receiver::Name_Updated_Field, QStringLiteral("Quantity"));
    Set(receiver, Fields::Receiver::Name_Table, QStringLiteral("Stock_Balance"));
    receiver.Post();
    return id;
}

int ConfigurationRows::AddSqlSource(const QString& name, const QString& connectionString,
                                    const QString& query, const QString& quantityField) {
    const int id = AppendSource(name, 1, connectionString);
    Set(dm_.Source, Fields::Source::SQL_Query, query);
    Set(dm_.Source, Fields::Source::Name_Docking_Field, QStringLiteral("Code"));
    Set(dm_.Source, Fields::Source::Name_Updated_Field, quantityField);
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
    Set(connection, Fields::Connection::Name_Connection, name);
    Set(connection, Fields::Connection::Id_Receiver, receiverId);
    Set(connection, Fields::Connection::Id_Source, sourceId);
    Set(connection, Fields::Connection::Time_Update, periodMinutes);
    for (const QString& day : Fields::Connection::WeekDays)
        Set(connection, day, 1);
    connection.FieldByName(Fields::Connection::TimeStart).SetAsTime(QTime(0, 0, 0));
    connection.FieldByName(Fields::Connection::TimeEnd).SetAsTime(QTime(23, 59, 59));
    connection.Post();
}

int ConfigurationRows::AppendSource(const QString& name, int type,
                                    const QString& connectionString) {
    RecordSet& source = dm_.Source;
    source.Append();
    const int id = CurrentId(source);
    Set(source, Fields::Source::Name_Source, name);
    Set(source, Fields::Source::Id_Connection_Types, type);
    Set(source, Fields::Source::Connection_String, connectionString);
    return id;
}

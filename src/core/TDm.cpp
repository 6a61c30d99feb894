#include "core/TDm.h"

#include "core/ConnectionStatus.h"
#include "core/TableFields.h"

namespace {

FieldDef Data(const QString& name, FieldType type) {
    FieldDef def;
    def.Name = name;
    def.Type = type;
    return def;
}

FieldDef Text(const QString& name, int size, bool kSingleLine) {
    FieldDef def = Data(name, FieldType::Text);
    def.Size = size;
    def.SingleLine = kSingleLine;
    return def;
}

FieldDef LookupText(const QString& name, const QString& keyField, const RecordSet& lookupSet,
                    const QString& lookupResultField) {
    FieldDef def = Text(name, 200, false);
    def.Kind = FieldKind::Lookup;
    def.KeyField = keyField;
    def.LookupSet = &lookupSet;
    def.LookupKeyField = Fields::Shared::Id;
    def.LookupResultField = lookupResultField;
    return def;
}

// Texts of the edited tables are written one row per line in the settings file.
constexpr bool kSingleLine = true;

} // namespace

TDm::TDm(QObject* parent)
    : QObject(parent) {
    const FieldType integer = FieldType::Integer;
    const FieldType smallInt = FieldType::SmallInt;

    Connection.AddField(Data(Fields::Connection::Id, integer));
    Connection.AddField(Text(Fields::Connection::Name_Connection, 200, kSingleLine));
    Connection.AddField(Data(Fields::Connection::Status, integer));
    Connection.AddField(Data(Fields::Connection::Update_Time, FieldType::DateTime));
    Connection.AddField(Data(Fields::Connection::Id_Receiver, integer));
    Connection.AddField(LookupText(Fields::Connection::Name_Receiver,
                                   Fields::Connection::Id_Receiver, Receiver,
                                   Fields::Receiver::Name_Receiver));
    Connection.AddField(Data(Fields::Connection::Id_Source, integer));
    Connection.AddField(LookupText(Fields::Connection::Name_Source, Fields::Connection::Id_Source,
                                   Source, Fields::Source::Name_Source));
    Connection.AddField(Data(Fields::Connection::Time_Update, integer));
    FieldDef calStatus = Text(Fields::Connection::CalStatus, 100, false);
    calStatus.Kind = FieldKind::Calculated;
    Connection.AddField(calStatus);
    Connection.AddField(Data(Fields::Connection::Updated, integer));
    for (const QString& day : Fields::Connection::WeekDays)
        Connection.AddField(Data(day, smallInt));
    Connection.AddField(Data(Fields::Connection::TimeStart, FieldType::Time));
    Connection.AddField(Data(Fields::Connection::TimeEnd, FieldType::Time));
    Connection.OnCalcFields = &TDm::ConnectionCalcFields;

    Receiver.AddField(Data(Fields::Receiver::Id, integer));
    Receiver.AddField(Text(Fields::Receiver::Name_Receiver, 200, kSingleLine));
    Receiver.AddField(Text(Fields::Receiver::Connection_String, 500, kSingleLine));
    Receiver.AddField(Data(Fields::Receiver::Id_Connection_Types, integer));
    Receiver.AddField(LookupText(Fields::Receiver::Name_Connection_Types,
                                 Fields::Receiver::Id_Connection_Types, Connection_Types,
                                 Fields::Connection_Types::Name));
    Receiver.AddField(Text(Fields::Receiver::Key_Field, 50, kSingleLine));
    Receiver.AddField(Text(Fields::Receiver::Name_Updated_Field, 50, kSingleLine));
    Receiver.AddField(Text(Fields::Receiver::Name_Table, 50, kSingleLine));

    Source.AddField(Data(Fields::Source::Id, integer));
    Source.AddField(Text(Fields::Source::Name_Source, 200, kSingleLine));
    Source.AddField(Text(Fields::Source::Connection_String, 500, kSingleLine));
    Source.AddField(Data(Fields::Source::Id_Connection_Types, integer));
    Source.AddField(LookupText(Fields::Source::Name_Connection_Types,
                               Fields::Source::Id_Connection_Types, Connection_Types,
                               Fields::Connection_Types::Name));
    Source.AddField(Text(Fields::Source::SQL_Query, 500, kSingleLine));
    Source.AddField(Text(Fields::Source::Name_Docking_Field, 200, kSingleLine));
    Source.AddField(Text(Fields::Source::Name_Updated_Field, 200, kSingleLine));
    Source.AddField(Text(Fields::Source::CustomParameter, 50, kSingleLine));

    Connection_Types.AddField(Data(Fields::Connection_Types::Id, integer));
    Connection_Types.AddField(Text(Fields::Connection_Types::Name, 200, false));

    VremTable.AddField(Data(Fields::VremTable::IdTable, integer));
    VremTable.AddField(Text(Fields::VremTable::NameTable, 20, false));
    // Wide enough for any password cut out of a connection string.
    VremTable.AddField(Text(Fields::VremTable::Password, 500, false));
    VremTable.AddField(Data(Fields::VremTable::StartUpdateTime, FieldType::DateTime));
    // The receiver a registered cycle writes to, still known once its connection is deleted.
    VremTable.AddField(Data(Fields::VremTable::IdReceiver, integer));

    TaskScheduler.setInterval(10000);
}

RecordSet* TDm::TableByName(const QString& name) {
    if (name == Connection.Name())
        return &Connection;
    if (name == Receiver.Name())
        return &Receiver;
    if (name == Source.Name())
        return &Source;
    return nullptr;
}

void TDm::ConnectionCalcFields(RecordSet& dataSet) {
    const QString caption = StatusCaption(dataSet.FieldByName(Fields::Connection::Status).Value());
    if (!caption.isEmpty())
        dataSet.FieldByName(Fields::Connection::CalStatus).SetAsString(caption);
}

#include "core/uDm.h"

#include "core/ConnectionStatus.h"

namespace {

FieldDef Data(const QString& name, FieldType type) {
    FieldDef def;
    def.Name = name;
    def.Type = type;
    return def;
}

FieldDef Text(const QString& name, int size, bool singleLine) {
    FieldDef def = Data(name, FieldType::Text);
    def.Size = size;
    def.SingleLine = singleLine;
    return def;
}

FieldDef LookupText(const QString& name, const QString& keyField, const RecordSet& lookupSet,
                    const QString& lookupResultField) {
    FieldDef def = Text(name, 200, false);
    def.Kind = FieldKind::Lookup;
    def.KeyField = keyField;
    def.LookupSet = &lookupSet;
    def.LookupKeyField = QStringLiteral("Id");
    def.LookupResultField = lookupResultField;
    return def;
}

// Texts of the edited tables are written one row per line in the settings file.
constexpr bool singleLine = true;

} // namespace

TDm::TDm(QObject* parent)
    : QObject(parent) {
    const FieldType integer = FieldType::Integer;
    const FieldType smallInt = FieldType::SmallInt;

    Connection.AddField(Data(QStringLiteral("Id"), integer));
    Connection.AddField(Text(QStringLiteral("Name_Connection"), 200, singleLine));
    Connection.AddField(Data(QStringLiteral("Status"), integer));
    Connection.AddField(Data(QStringLiteral("Update_Time"), FieldType::DateTime));
    Connection.AddField(Data(QStringLiteral("Id_Receiver"), integer));
    Connection.AddField(LookupText(QStringLiteral("Name_Receiver"), QStringLiteral("Id_Receiver"),
                                   Receiver, QStringLiteral("Name_Receiver")));
    Connection.AddField(Data(QStringLiteral("Id_Source"), integer));
    Connection.AddField(LookupText(QStringLiteral("Name_Source"), QStringLiteral("Id_Source"),
                                   Source, QStringLiteral("Name_Source")));
    Connection.AddField(Data(QStringLiteral("Time_Update"), integer));
    FieldDef calStatus = Text(QStringLiteral("CalStatus"), 100, false);
    calStatus.Kind = FieldKind::Calculated;
    Connection.AddField(calStatus);
    Connection.AddField(Data(QStringLiteral("Updated"), integer));
    for (const char* day :
         {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"}) {
        Connection.AddField(Data(QString::fromLatin1(day), smallInt));
    }
    Connection.AddField(Data(QStringLiteral("TimeStart"), FieldType::Time));
    Connection.AddField(Data(QStringLiteral("TimeEnd"), FieldType::Time));
    Connection.OnCalcFields = &TDm::ConnectionCalcFields;

    Receiver.AddField(Data(QStringLiteral("Id"), integer));
    Receiver.AddField(Text(QStringLiteral("Name_Receiver"), 200, singleLine));
    Receiver.AddField(Text(QStringLiteral("Connection_String"), 500, singleLine));
    Receiver.AddField(Data(QStringLiteral("Id_Connection_Types"), integer));
    Receiver.AddField(LookupText(QStringLiteral("Name_Connection_Types"),
                                 QStringLiteral("Id_Connection_Types"), Connection_Types,
                                 QStringLiteral("Name")));
    Receiver.AddField(Text(QStringLiteral("Key_Field"), 50, singleLine));
    Receiver.AddField(Text(QStringLiteral("Name_Updated_Field"), 50, singleLine));
    Receiver.AddField(Text(QStringLiteral("Name_Table"), 50, singleLine));

    Source.AddField(Data(QStringLiteral("Id"), integer));
    Source.AddField(Text(QStringLiteral("Name_Source"), 200, singleLine));
    Source.AddField(Text(QStringLiteral("Connection_String"), 500, singleLine));
    Source.AddField(Data(QStringLiteral("Id_Connection_Types"), integer));
    Source.AddField(LookupText(QStringLiteral("Name_Connection_Types"),
                               QStringLiteral("Id_Connection_Types"), Connection_Types,
                               QStringLiteral("Name")));
    Source.AddField(Text(QStringLiteral("SQL_Query"), 500, singleLine));
    Source.AddField(Text(QStringLiteral("Name_Docking_Field"), 200, singleLine));
    Source.AddField(Text(QStringLiteral("Name_Updated_Field"), 200, singleLine));
    Source.AddField(Text(QStringLiteral("CustomParameter"), 50, singleLine));

    Connection_Types.AddField(Data(QStringLiteral("Id"), integer));
    Connection_Types.AddField(Text(QStringLiteral("Name"), 200, false));

    VremTable.AddField(Data(QStringLiteral("IdTable"), integer));
    VremTable.AddField(Text(QStringLiteral("NameTable"), 20, false));
    // Wide enough for any password cut out of a connection string.
    VremTable.AddField(Text(QStringLiteral("Password"), 500, false));
    VremTable.AddField(Data(QStringLiteral("StartUpdateTime"), FieldType::DateTime));
    // The receiver a registered cycle writes to, still known once its connection is deleted.
    VremTable.AddField(Data(QStringLiteral("IdReceiver"), integer));

    TaskScheduler.setInterval(10000);
}

RecordSet* TDm::TableByName(const QString& name) {
    if (name == Connection.Name()) {
        return &Connection;
    }
    if (name == Receiver.Name()) {
        return &Receiver;
    }
    if (name == Source.Name()) {
        return &Source;
    }
    return nullptr;
}

void TDm::ConnectionCalcFields(RecordSet& dataSet) {
    const QString caption = StatusCaption(dataSet.FieldByName(QStringLiteral("Status")).Value());
    if (!caption.isEmpty()) {
        dataSet.FieldByName(QStringLiteral("CalStatus")).SetAsString(caption);
    }
}

#include "core/TDm.h"
#include "core/ConnectionStatus.h"
#include "core/TableFields.h"
#include "platform/Errors.h"

#include <QTest>

namespace {

QString TypeName(FieldType type) {
    switch (type) {
    case FieldType::Integer:
        return QStringLiteral("integer");
    case FieldType::SmallInt:
        return QStringLiteral("smallint");
    case FieldType::Text:
        return QStringLiteral("text");
    case FieldType::DateTime:
        return QStringLiteral("datetime");
    case FieldType::Time:
        return QStringLiteral("time");
    }
    return {};
}

// "Name:type(size)[:lookup|:calculated][:single]" for every field in declared order.
QStringList Layout(const RecordSet& set) {
    QStringList result;
    for (const FieldDef& def : set.FieldDefs()) {
        QString text = def.Name + u':' + TypeName(def.Type);
        if (def.Type == FieldType::Text)
            text += QStringLiteral("(%1)").arg(def.Size);
        if (def.Kind == FieldKind::Lookup) {
            text +=
                QStringLiteral(":lookup=%1.%2").arg(def.LookupSet->Name(), def.LookupResultField);
        } else if (def.Kind == FieldKind::Calculated) {
            text += QStringLiteral(":calculated");
        }
        if (def.SingleLine)
            text += QStringLiteral(":single");
        result << text;
    }
    return result;
}

void AddNamed(RecordSet& set, const QString& nameField, int id, const QString& name) {
    set.Append();
    set.FieldByName(Fields::Shared::Id).SetAsInteger(id);
    set.FieldByName(nameField).SetAsString(name);
    set.Post();
}

RecordSet* TableNamed(TDm& dm, const QString& name) {
    for (RecordSet* set :
         {&dm.Connection, &dm.Receiver, &dm.Source, &dm.Connection_Types, &dm.VremTable})
        if (set->Name() == name)
            return set;
    return nullptr;
}

} // namespace

class TDmTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void layout_data();
    void layout();
    void tablesStartClosed();
    void statusCaption_data();
    void statusCaption();
    void lookupsFollowRenames();
    void connectionTextsStayOnOneLine();
    void longPasswordKeptWhole();
    void tableByName();
    void sharedFieldsNameTheirTables_data();
    void sharedFieldsNameTheirTables();
};

void TDmTest::layout_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("ordered");

    QTest::newRow("Connection")
        << "Connection" << QStringList{"Id:integer",
                                       "Name_Connection:text(200):single",
                                       "Status:integer",
                                       "Update_Time:datetime",
                                       "Id_Receiver:integer",
                                       "Name_Receiver:text(200):lookup=Receiver.Name_Receiver",
                                       "Id_Source:integer",
                                       "Name_Source:text(200):lookup=Source.Name_Source",
                                       "Time_Update:integer",
                                       "CalStatus:text(100):calculated",
                                       "Updated:integer",
                                       "Monday:smallint",
                                       "Tuesday:smallint",
                                       "Wednesday:smallint",
                                       "Thursday:smallint",
                                       "Friday:smallint",
                                       "Saturday:smallint",
                                       "Sunday:smallint",
                                       "TimeStart:time",
                                       "TimeEnd:time"}
        << true;
    QTest::newRow("Receiver")
        << "Receiver"
        << QStringList{"Id:integer",
                       "Name_Receiver:text(200):single",
                       "Connection_String:text(500):single",
                       "Id_Connection_Types:integer",
                       "Name_Connection_Types:text(200):lookup=Connection_Types.Name",
                       "Key_Field:text(50):single",
                       "Name_Updated_Field:text(50):single",
                       "Name_Table:text(50):single"}
        << true;
    QTest::newRow("Source")
        << "Source"
        << QStringList{"Id:integer",
                       "Name_Source:text(200):single",
                       "Connection_String:text(500):single",
                       "Id_Connection_Types:integer",
                       "Name_Connection_Types:text(200):lookup=Connection_Types.Name",
                       "SQL_Query:text(500):single",
                       "Name_Docking_Field:text(200):single",
                       "Name_Updated_Field:text(200):single",
                       "CustomParameter:text(50):single"}
        << true;
    QTest::newRow("Connection_Types")
        << "Connection_Types" << QStringList{"Id:integer", "Name:text(200)"} << true;
    QTest::newRow("VremTable") << "VremTable"
                               << QStringList{"IdTable:integer", "NameTable:text(20)",
                                              "Password:text(500)", "StartUpdateTime:datetime",
                                              "IdReceiver:integer"}
                               << false;
}

void TDmTest::layout() {
    QFETCH(QString, table);
    QFETCH(QStringList, fields);
    QFETCH(bool, ordered);
    TDm dm;
    RecordSet* set = TableNamed(dm, table);
    QVERIFY(set != nullptr);
    QCOMPARE(Layout(*set), fields);

    // Rows posted with falling Ids show whether the table keeps them in Id order.
    const QString first = set->FieldDefs().first().Name;
    set->Open();
    for (int id : {2, 1}) {
        set->Append();
        set->FieldByName(first).SetAsInteger(id);
        set->Post();
    }
    QCOMPARE(set->ValueAt(0, 0).toInt(), ordered ? 1 : 2);
}

void TDmTest::tablesStartClosed() {
    TDm dm;
    for (RecordSet* set :
         {&dm.Connection, &dm.Receiver, &dm.Source, &dm.Connection_Types, &dm.VremTable})
        QVERIFY2(!set->Active(), qPrintable(set->Name()));
    QCOMPARE(dm.TaskScheduler.interval(), 10000);
    QVERIFY(!dm.TaskScheduler.isActive());
}

void TDmTest::statusCaption_data() {
    QTest::addColumn<QVariant>("status");
    QTest::addColumn<QString>("caption");
    QTest::newRow("NotUpdating") << QVariant(NotUpdating) << "Не обновляется";
    QTest::newRow("Updating") << QVariant(Updating) << "Обновляется";
    QTest::newRow("UpdateError") << QVariant(UpdateError) << "Ошибка при обновлении";
    QTest::newRow("Stopping") << QVariant(Stopping) << "Останавливается";
    QTest::newRow("ConnectError") << QVariant(ConnectError) << "Ошибка подключения";
    QTest::newRow("WaitingForPeriod") << QVariant(WaitingForPeriod) << "Ожидание рабочего периода";
    QTest::newRow("7") << QVariant(7) << "";
    QTest::newRow("-1") << QVariant(-1) << "";
    QTest::newRow("null") << QVariant() << "";
}

void TDmTest::statusCaption() {
    QFETCH(QVariant, status);
    QFETCH(QString, caption);
    QCOMPARE(StatusCaption(status), caption);

    TDm dm;
    dm.Connection.Open();
    dm.Connection.Append();
    dm.Connection.FieldByName(Fields::Connection::Id).SetAsInteger(1);
    dm.Connection.FieldByName(Fields::Connection::Status).SetValue(status);
    QCOMPARE(dm.Connection.FieldByName(Fields::Connection::CalStatus).AsString(), caption);
    dm.Connection.Post();
    const int calStatus = dm.Connection.FieldIndex(Fields::Connection::CalStatus);
    QCOMPARE(dm.Connection.ValueAt(0, calStatus).toString(), caption);
}

void TDmTest::lookupsFollowRenames() {
    TDm dm;
    for (RecordSet* set : {&dm.Connection, &dm.Receiver, &dm.Source, &dm.Connection_Types})
        set->Open();
    AddNamed(dm.Connection_Types, Fields::Connection_Types::Name, 1, QStringLiteral("База данных"));
    AddNamed(dm.Receiver, Fields::Receiver::Name_Receiver, 1, QStringLiteral("Склад"));
    AddNamed(dm.Source, Fields::Source::Name_Source, 1, QStringLiteral("Учёт"));
    dm.Receiver.Edit();
    dm.Receiver.FieldByName(Fields::Receiver::Id_Connection_Types).SetAsInteger(1);
    dm.Receiver.Post();
    for (int id : {1, 2}) {
        dm.Connection.Append();
        dm.Connection.FieldByName(Fields::Connection::Id).SetAsInteger(id);
        dm.Connection.FieldByName(Fields::Connection::Id_Receiver).SetAsInteger(1);
        dm.Connection.FieldByName(Fields::Connection::Id_Source).SetAsInteger(1);
        dm.Connection.Post();
    }
    const int nameReceiver = dm.Connection.FieldIndex(Fields::Connection::Name_Receiver);
    QCOMPARE(dm.Connection.FieldByName(Fields::Connection::Name_Source).AsString(),
             QStringLiteral("Учёт"));
    QCOMPARE(dm.Receiver.FieldByName(Fields::Receiver::Name_Connection_Types).AsString(),
             QStringLiteral("База данных"));

    dm.Receiver.Edit();
    dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString(QStringLiteral("Магазин"));
    dm.Receiver.Post();
    QCOMPARE(dm.Connection.ValueAt(0, nameReceiver).toString(), QStringLiteral("Магазин"));
    QCOMPARE(dm.Connection.ValueAt(1, nameReceiver).toString(), QStringLiteral("Магазин"));

    dm.Receiver.Delete();
    QCOMPARE(dm.Connection.FieldByName(Fields::Connection::Name_Receiver).AsString(), QString());
    QVERIFY(!dm.Connection.ValueAt(1, nameReceiver).isValid());
}

void TDmTest::connectionTextsStayOnOneLine() {
    TDm dm;
    dm.Receiver.Open();
    dm.Receiver.Append();
    try {
        dm.Receiver.FieldByName(Fields::Receiver::Connection_String)
            .SetAsString(QStringLiteral("Driver=X;\nPWD=***;"));
        QFAIL("a line break was stored");
    } catch (const Exception& error) {
        QCOMPARE(error.Message(), QStringLiteral("Поле \"Connection_String\" не может содержать "
                                                 "символ \"`\" и перевод строки."));
    }
}

void TDmTest::longPasswordKeptWhole() {
    TDm dm;
    dm.VremTable.Open();
    const QString password(300, u'p');
    dm.VremTable.Append();
    dm.VremTable.FieldByName(Fields::VremTable::Password).SetAsString(password);
    dm.VremTable.Post();
    QCOMPARE(dm.VremTable.FieldByName(Fields::VremTable::Password).AsString(), password);
}

void TDmTest::tableByName() {
    TDm dm;
    QCOMPARE(dm.TableByName(QStringLiteral("Connection")), &dm.Connection);
    QCOMPARE(dm.TableByName(QStringLiteral("Receiver")), &dm.Receiver);
    QCOMPARE(dm.TableByName(QStringLiteral("Source")), &dm.Source);
    QCOMPARE(dm.TableByName(QStringLiteral("VremTable")), nullptr);
    QCOMPARE(dm.TableByName(QStringLiteral("Connection_Types")), nullptr);
}

void TDmTest::sharedFieldsNameTheirTables_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("field");
    for (const char* table : {"Connection", "Receiver", "Source", "Connection_Types"})
        QTest::addRow("%s.Id", table) << table << Fields::Shared::Id;
    for (const char* table : {"Receiver", "Source"})
        for (const QString& field :
             {Fields::Shared::Connection_String, Fields::Shared::Id_Connection_Types,
              Fields::Shared::Name_Connection_Types})
            QTest::addRow("%s.%s", table, qPrintable(field)) << table << field;
}

// Letter case counts: the settings file keeps the names as they are spelled here.
void TDmTest::sharedFieldsNameTheirTables() {
    QFETCH(QString, table);
    QFETCH(QString, field);
    TDm dm;
    RecordSet* set = TableNamed(dm, table);
    QVERIFY(set != nullptr);
    const int index = set->FieldIndex(field);
    QVERIFY(index >= 0);
    QCOMPARE(set->FieldDefs().at(index).Name, field);
}

QTEST_GUILESS_MAIN(TDmTest)
#include "TDmTest.moc"

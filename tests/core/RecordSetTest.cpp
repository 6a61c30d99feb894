#include "core/RecordSet.h"
#include "platform/Errors.h"
#include "platform/RegionalSettings.h"

#include <QDateTime>
#include <QTest>

namespace {

FieldDef Def(const QString& name, FieldType type, int size = 0) {
    FieldDef def;
    def.Name = name;
    def.Type = type;
    def.Size = size;
    return def;
}

// A small ordered table with one field of each type.
void AddPeopleFields(RecordSet& set) {
    set.AddField(Def(QStringLiteral("Id"), FieldType::Integer));
    set.AddField(Def(QStringLiteral("Name"), FieldType::Text, 10));
    set.AddField(Def(QStringLiteral("Age"), FieldType::SmallInt));
    set.AddField(Def(QStringLiteral("Born"), FieldType::DateTime));
    set.AddField(Def(QStringLiteral("Alarm"), FieldType::Time));
}

void AddRow(RecordSet& set, int id, const QString& name) {
    set.Append();
    set.FieldByName(QStringLiteral("Id")).SetAsInteger(id);
    set.FieldByName(QStringLiteral("Name")).SetAsString(name);
    set.Post();
}

// "Id:Name" of every visible row, joined by ",".
QString Rows(const RecordSet& set) {
    QStringList rows;
    for (int i = 0; i < set.RecordCount(); ++i)
        rows << set.ValueAt(i, 0).toString() + u':' + set.ValueAt(i, 1).toString();
    return rows.join(u',');
}

void RecordEvents(RecordSet& set, QStringList& log) {
    const auto note = [&log](const char* name) {
        return [&log, name](RecordSet&) { log << QString::fromLatin1(name); };
    };
    set.OnNewRecord = note("OnNewRecord");
    set.AfterInsert = note("AfterInsert");
    set.AfterScroll = note("AfterScroll");
    set.AfterPost = note("AfterPost");
    set.AfterCancel = note("AfterCancel");
    set.AfterDelete = note("AfterDelete");
    set.AfterRowUpdate = note("AfterRowUpdate");
}

QString Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& error) {
        return error.Message();
    }
    return QStringLiteral("<no error>");
}

class ChangeRecorder : public RecordSetObserver {
public:
    void RecordSetChanged(RecordSet&, RecordSetChange change, int fieldIndex) override {
        static const char* const names[] = {"Layout", "Current", "State", "Field"};
        QString text = QString::fromLatin1(names[int(change)]);
        if (change == RecordSetChange::Field)
            text += u':' + QString::number(fieldIndex);
        Changes << text;
    }
    QStringList Changes;
};

} // namespace

class RecordSetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    }

    void stateTransitions_data();
    void stateTransitions();
    void deleteWalkEndsAtEof();
    void editOfEmptyTableInserts();
    void placementByOrder_data();
    void placementByOrder();
    void nullReadsAsZeroAndEmpty();
    void textIsCutToWidth_data();
    void textIsCutToWidth();
    void conversionErrors_data();
    void conversionErrors();
    void dateAndTimeText();
    void unknownField();
    void settingOutsideEditRefused();
    void lookupFieldFollowsKeyTable();
    void calculatedFields();
    void locateAndLookup_data();
    void locateAndLookup();
    void lookupByIdSkipsUnpostedRow();
    void storedRowsLeaveOutPendingChanges();
    void lookupFollowsEveryChange();
    void filterById();
    void observersPausedAndResumed();
    void singleLineRefusal_data();
    void singleLineRefusal();
};

void RecordSetTest::stateTransitions_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("recNo");

    const int browse = int(RecordSetState::Browse);
    const int insert = int(RecordSetState::Insert);
    const int edit = int(RecordSetState::Edit);
    QTest::newRow("insert at the cursor") << "next insert"
                                          << "AfterScroll OnNewRecord AfterInsert AfterScroll"
                                          << insert << "10:a,101:,20:b,30:c" << 1;
    QTest::newRow("posted insert goes to its Id")
        << "next insert name=x post"
        << "AfterScroll OnNewRecord AfterInsert AfterScroll AfterPost" << browse
        << "10:a,20:b,30:c,101:x" << 3;
    QTest::newRow("cancelled insert removes the row")
        << "next insert name=x cancel"
        << "AfterScroll OnNewRecord AfterInsert AfterScroll AfterCancel" << browse
        << "10:a,20:b,30:c" << 1;
    QTest::newRow("append placed by Id")
        << "append name=x id=15 post"
        << "OnNewRecord AfterInsert AfterScroll AfterPost" << browse << "10:a,15:x,20:b,30:c" << 1;
    QTest::newRow("edit and post") << "next edit name=y post"
                                   << "AfterScroll AfterPost" << browse << "10:a,20:y,30:c" << 1;
    QTest::newRow("edit and cancel") << "edit name=y cancel"
                                     << "AfterCancel" << browse << "10:a,20:b,30:c" << 0;
    QTest::newRow("edited Id moves the row") << "edit id=25 post"
                                             << "AfterPost" << browse << "20:b,25:a,30:c" << 1;
    QTest::newRow("edit buffer shown before post") << "edit name=y"
                                                   << "" << edit << "10:y,20:b,30:c" << 0;
    QTest::newRow("move posts a modified row")
        << "edit name=y next"
        << "AfterPost AfterScroll" << browse << "10:y,20:b,30:c" << 1;
    QTest::newRow("move cancels an unmodified edit")
        << "next edit last"
        << "AfterScroll AfterCancel AfterScroll" << browse << "10:a,20:b,30:c" << 2;
    QTest::newRow("move cancels a row with only its defaults")
        << "insert first"
        << "OnNewRecord AfterInsert AfterScroll AfterCancel AfterScroll" << browse
        << "10:a,20:b,30:c" << 0;
    QTest::newRow("locate posts a modified insert")
        << "insert name=z locate=30"
        << "OnNewRecord AfterInsert AfterScroll AfterPost AfterScroll" << browse
        << "10:a,20:b,30:c,101:z" << 2;
    QTest::newRow("delete") << "next delete"
                            << "AfterScroll AfterDelete AfterScroll" << browse << "10:a,30:c" << 1;
    QTest::newRow("delete of an insert cancels it")
        << "insert delete"
        << "OnNewRecord AfterInsert AfterScroll AfterCancel" << browse << "10:a,20:b,30:c" << 0;
    QTest::newRow("next past the end does not scroll")
        << "last next"
        << "AfterScroll" << browse << "10:a,20:b,30:c" << 2;
    QTest::newRow("prior before the start does not scroll")
        << "prior"
        << "" << browse << "10:a,20:b,30:c" << 0;
    QTest::newRow("a cancelled insert still took its Id")
        << "insert cancel append name=x post"
        << "OnNewRecord AfterInsert AfterScroll AfterCancel OnNewRecord AfterInsert AfterScroll "
           "AfterPost"
        << browse << "10:a,20:b,30:c,102:x" << 3;
    QTest::newRow("row update beside a modified edit")
        << "edit name=y update30=z"
        << "AfterRowUpdate" << edit << "10:y,20:b,30:z" << 0;
    QTest::newRow("row update beside a row with only its defaults")
        << "insert update20=z"
        << "OnNewRecord AfterInsert AfterScroll AfterRowUpdate" << insert << "101:,10:a,20:z,30:c"
        << 0;
    QTest::newRow("row update of the row under edit reaches the stored row too")
        << "next edit update20=z cancel"
        << "AfterScroll AfterRowUpdate AfterCancel" << browse << "10:a,20:z,30:c" << 1;
    QTest::newRow("row update of no row") << "update99=z"
                                          << "" << browse << "10:a,20:b,30:c" << 0;
}

void RecordSetTest::stateTransitions() {
    QFETCH(QString, script);
    QFETCH(QString, events);
    QFETCH(int, state);
    QFETCH(QString, rows);
    QFETCH(int, recNo);

    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    AddRow(set, 10, QStringLiteral("a"));
    AddRow(set, 20, QStringLiteral("b"));
    AddRow(set, 30, QStringLiteral("c"));
    set.First();
    int counter = 100;
    QStringList log;
    RecordEvents(set, log);
    const auto previous = set.OnNewRecord;
    set.OnNewRecord = [&](RecordSet& table) {
        previous(table);
        table.FieldByName(QStringLiteral("Id")).SetAsInteger(++counter);
    };

    for (const QString& step : script.split(u' ')) {
        const QString value = step.section(u'=', 1);
        if (step == u"insert") {
            set.Insert();
        } else if (step == u"append") {
            set.Append();
        } else if (step == u"edit") {
            set.Edit();
        } else if (step == u"post") {
            set.Post();
        } else if (step == u"cancel") {
            set.Cancel();
        } else if (step == u"delete") {
            set.Delete();
        } else if (step == u"first") {
            set.First();
        } else if (step == u"last") {
            set.Last();
        } else if (step == u"next") {
            set.Next();
        } else if (step == u"prior") {
            set.Prior();
        } else if (step.startsWith(u"name=")) {
            set.FieldByName(QStringLiteral("Name")).SetAsString(value);
        } else if (step.startsWith(u"id=")) {
            set.FieldByName(QStringLiteral("Id")).SetAsString(value);
        } else if (step.startsWith(u"update")) {
            set.UpdateRow(QStringLiteral("Id"), {step.mid(6).section(u'=', 0, 0).toInt()},
                          QStringLiteral("Name"), {value});
        } else if (step.startsWith(u"locate=")) {
            QVERIFY(set.Locate(QStringLiteral("Id"), {value.toInt()}));
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }

    QCOMPARE(log.join(u' '), events);
    QCOMPARE(int(set.State()), state);
    QCOMPARE(Rows(set), rows);
    QCOMPARE(set.RecNo(), recNo);
}

void RecordSetTest::deleteWalkEndsAtEof() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    for (int id = 1; id <= 6; ++id)
        AddRow(set, id, QString::number(id));
    set.First();
    QVERIFY(set.Bof());
    while (!set.Eof())
        if (set.FieldByName(QStringLiteral("Id")).AsInteger() % 2 == 0)
            set.Delete();
        else
            set.Next();
    QCOMPARE(Rows(set), QStringLiteral("1:1,3:3,5:5"));
    while (!set.IsEmpty())
        set.Delete();
    QVERIFY(set.Eof());
    QVERIFY(set.Bof());
    QCOMPARE(set.RecNo(), -1);
    QCOMPARE(Message([&] { set.Delete(); }),
             QStringLiteral("People: Cannot perform this operation on an empty dataset"));
}

void RecordSetTest::editOfEmptyTableInserts() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    set.Edit();
    QCOMPARE(set.State(), RecordSetState::Insert);
    QCOMPARE(set.RecordCount(), 1);
    set.Cancel();
    QVERIFY(set.IsEmpty());
}

void RecordSetTest::placementByOrder_data() {
    QTest::addColumn<bool>("ordered");
    QTest::addColumn<QString>("rows");
    QTest::newRow("ordered by Id") << true << "1:e,2:b,2:d,3:a,5:c";
    QTest::newRow("unordered keeps the order of posting") << false << "3:a,2:b,5:c,2:d,1:e";
}

void RecordSetTest::placementByOrder() {
    QFETCH(bool, ordered);
    QFETCH(QString, rows);
    RecordSet set(QStringLiteral("People"), ordered);
    AddPeopleFields(set);
    set.Open();
    AddRow(set, 3, QStringLiteral("a"));
    AddRow(set, 2, QStringLiteral("b"));
    AddRow(set, 5, QStringLiteral("c"));
    AddRow(set, 2, QStringLiteral("d"));
    AddRow(set, 1, QStringLiteral("e"));
    QCOMPARE(Rows(set), rows);
    // The cursor follows the posted row to its place.
    QCOMPARE(set.FieldByName(QStringLiteral("Name")).AsString(), QStringLiteral("e"));
}

void RecordSetTest::nullReadsAsZeroAndEmpty() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    set.Append();
    for (const QString& name : {QStringLiteral("Id"), QStringLiteral("Name"), QStringLiteral("Age"),
                                QStringLiteral("Born"), QStringLiteral("Alarm")}) {
        Field field = set.FieldByName(name);
        QVERIFY2(field.IsNull(), qPrintable(name));
        QCOMPARE(field.AsString(), QString());
        QVERIFY(!field.Value().isValid());
    }
    QCOMPARE(set.FieldByName(QStringLiteral("Age")).AsInteger(), 0);
    QCOMPARE(set.FieldByName(QStringLiteral("Name")).AsInteger(), 0);
    QVERIFY(!set.FieldByName(QStringLiteral("Born")).AsDateTime().isValid());
    QVERIFY(!set.FieldByName(QStringLiteral("Alarm")).AsTime().isValid());

    set.FieldByName(QStringLiteral("Age")).SetAsInteger(4);
    set.FieldByName(QStringLiteral("Age")).SetAsString(QString());
    QVERIFY(set.FieldByName(QStringLiteral("Age")).IsNull());
    set.Post();
    QVERIFY(!set.ValueAt(0, 2).isValid());
}

void RecordSetTest::textIsCutToWidth_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::newRow("longer") << "Пятнадцать знаков"
                            << "Пятнадцать";
    QTest::newRow("exact") << "0123456789"
                           << "0123456789";
    QTest::newRow("shorter") << "abc"
                             << "abc";
}

void RecordSetTest::textIsCutToWidth() {
    QFETCH(QString, text);
    QFETCH(QString, stored);
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    set.Append();
    set.FieldByName(QStringLiteral("Name")).SetAsString(text);
    QCOMPARE(set.FieldByName(QStringLiteral("Name")).AsString(), stored);
    set.FieldByName(QStringLiteral("Name")).SetValue(text);
    set.Post();
    QCOMPARE(set.ValueAt(0, 1).toString(), stored);
}

void RecordSetTest::conversionErrors_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("integer") << "Id"
                             << "12x"
                             << "'12x' is not a valid integer value";
    QTest::newRow("integer overflow") << "Id"
                                      << "3000000000"
                                      << "'3000000000' is not a valid integer value";
    QTest::newRow("smallint") << "Age"
                              << "abc"
                              << "'abc' is not a valid integer value";
    QTest::newRow("smallint range")
        << "Age"
        << "40000"
        << "40000 is not a valid value for field 'Age'. The allowed range is -32768 to 32767";
    QTest::newRow("date and time") << "Born"
                                   << "вчера"
                                   << "'вчера' is not a valid date and time";
    QTest::newRow("time") << "Alarm"
                          << "25:99:00"
                          << "'25:99:00' is not a valid time";
}

void RecordSetTest::conversionErrors() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    set.Append();
    QCOMPARE(Message([&] { set.FieldByName(field).SetAsString(text); }), message);
    QVERIFY(set.FieldByName(field).IsNull());
}

void RecordSetTest::dateAndTimeText() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    set.Append();
    Field born = set.FieldByName(QStringLiteral("Born"));
    Field alarm = set.FieldByName(QStringLiteral("Alarm"));
    born.SetAsString(QStringLiteral("5.3.2009 14:30:00"));
    QCOMPARE(born.AsDateTime(), QDateTime(QDate(2009, 3, 5), QTime(14, 30)));
    QCOMPARE(born.AsString(), QStringLiteral("05.03.2009 14:30:00"));
    born.SetAsDateTime(QDateTime(QDate(2009, 3, 5), QTime(0, 0)));
    QCOMPARE(born.AsString(), QStringLiteral("05.03.2009"));
    alarm.SetAsString(QStringLiteral("09:00:00"));
    QCOMPARE(alarm.AsTime(), QTime(9, 0));
    QCOMPARE(alarm.AsString(), QStringLiteral("9:00:00"));
}

void RecordSetTest::unknownField() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    QCOMPARE(set.FieldByName(QStringLiteral("nAmE")).Name(), QStringLiteral("Name"));
    QCOMPARE(set.FieldIndex(QStringLiteral("Nope")), -1);
    QCOMPARE(Message([&] { set.FieldByName(QStringLiteral("Nope")); }),
             QStringLiteral("People: Field 'Nope' not found"));
    QCOMPARE(Message([&] {
                 set.Locate(QStringLiteral("Id;Nope"), {1, 2});
             }),
             QStringLiteral("People: Field 'Nope' not found"));
}

void RecordSetTest::settingOutsideEditRefused() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    FieldDef label = Def(QStringLiteral("Label"), FieldType::Text, 20);
    label.Kind = FieldKind::Calculated;
    set.AddField(label);
    set.Open();
    AddRow(set, 1, QStringLiteral("a"));
    QCOMPARE(Message([&] { set.FieldByName(QStringLiteral("Name")).SetAsString("b"); }),
             QStringLiteral("People: Dataset not in edit or insert mode"));
    set.Edit();
    QCOMPARE(Message([&] { set.FieldByName(QStringLiteral("Label")).SetAsString("b"); }),
             QStringLiteral("People: Calculated field 'Label' can be set only while calculated "
                            "fields are filled"));
    QCOMPARE(set.FieldByName(QStringLiteral("Name")).AsString(), QStringLiteral("a"));
}

void RecordSetTest::lookupFieldFollowsKeyTable() {
    RecordSet owners(QStringLiteral("Owners"));
    owners.AddField(Def(QStringLiteral("Id"), FieldType::Integer));
    owners.AddField(Def(QStringLiteral("Name"), FieldType::Text, 20));
    RecordSet pets(QStringLiteral("Pets"));
    pets.AddField(Def(QStringLiteral("Id"), FieldType::Integer));
    pets.AddField(Def(QStringLiteral("Id_Owner"), FieldType::Integer));
    FieldDef ownerName = Def(QStringLiteral("Owner"), FieldType::Text, 20);
    ownerName.Kind = FieldKind::Lookup;
    ownerName.KeyField = QStringLiteral("Id_Owner");
    ownerName.LookupSet = &owners;
    ownerName.LookupKeyField = QStringLiteral("Id");
    ownerName.LookupResultField = QStringLiteral("Name");
    pets.AddField(ownerName);
    owners.Open();
    pets.Open();
    AddRow(owners, 1, QStringLiteral("Анна"));
    AddRow(owners, 2, QStringLiteral("Борис"));
    for (int id : {1, 2}) {
        pets.Append();
        pets.FieldByName(QStringLiteral("Id")).SetAsInteger(id);
        pets.FieldByName(QStringLiteral("Id_Owner")).SetAsInteger(2);
        pets.Post();
    }
    pets.First();
    QCOMPARE(pets.FieldByName(QStringLiteral("Owner")).AsString(), QStringLiteral("Борис"));

    owners.Locate(QStringLiteral("Id"), {2});
    owners.Edit();
    owners.FieldByName(QStringLiteral("Name")).SetAsString(QStringLiteral("Вера"));
    owners.Post();
    QCOMPARE(pets.FieldByName(QStringLiteral("Owner")).AsString(), QStringLiteral("Вера"));
    QCOMPARE(pets.ValueAt(1, 2).toString(), QStringLiteral("Вера"));
    QCOMPARE(Message([&] { pets.FieldByName(QStringLiteral("Owner")).SetAsString("x"); }),
             QStringLiteral("Pets: Lookup field 'Owner' cannot be modified"));

    owners.Delete();
    QVERIFY(pets.FieldByName(QStringLiteral("Owner")).IsNull());
    QCOMPARE(pets.FieldByName(QStringLiteral("Owner")).AsString(), QString());
}

void RecordSetTest::calculatedFields() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    FieldDef label = Def(QStringLiteral("Label"), FieldType::Text, 8);
    label.Kind = FieldKind::Calculated;
    set.AddField(label);
    set.OnCalcFields = [](RecordSet& table) {
        table.FieldByName(QStringLiteral("Label"))
            .SetAsString(table.FieldByName(QStringLiteral("Name")).AsString() + u'#' +
                         table.FieldByName(QStringLiteral("Id")).AsString());
    };
    set.Open();
    AddRow(set, 1, QStringLiteral("ab"));
    AddRow(set, 2, QStringLiteral("cd"));
    set.First();
    QCOMPARE(set.FieldByName(QStringLiteral("Label")).AsString(), QStringLiteral("ab#1"));
    QCOMPARE(set.ValueAt(1, 5).toString(), QStringLiteral("cd#2"));
    set.Edit();
    set.FieldByName(QStringLiteral("Name")).SetAsString(QStringLiteral("long name"));
    // Read from the edit buffer, and cut to its own width.
    QCOMPARE(set.FieldByName(QStringLiteral("Label")).AsString(), QStringLiteral("long nam"));
    QCOMPARE(set.ValueAt(0, 5).toString(), QStringLiteral("long nam"));
}

void RecordSetTest::locateAndLookup_data() {
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::addColumn<int>("foundId"); // 0: no row

    QTest::newRow("two fields") << "IdTable;NameTable" << QVariantList{2, "Source"} << false << 4;
    QTest::newRow("two fields, other text")
        << "IdTable;NameTable" << QVariantList{2, "Receiver"} << false << 2;
    QTest::newRow("letter case matters")
        << "IdTable;NameTable" << QVariantList{2, "source"} << false << 0;
    QTest::newRow("letter case ignored")
        << "IdTable;NameTable" << QVariantList{2, "source"} << true << 4;
    QTest::newRow("no match") << "IdTable;NameTable" << QVariantList{9, "Source"} << true << 0;
    QTest::newRow("null value matches null")
        << "IdTable;NameTable" << QVariantList{QVariant(), "Connection"} << false << 5;
    QTest::newRow("by Id") << "Id" << QVariantList{3} << false << 3;
    QTest::newRow("by Id, missing") << "Id" << QVariantList{7} << false << 0;
    QTest::newRow("by Id as text") << "Id" << QVariantList{"4"} << false << 4;
}

void RecordSetTest::locateAndLookup() {
    QFETCH(QString, fields);
    QFETCH(QVariantList, values);
    QFETCH(bool, caseInsensitive);
    QFETCH(int, foundId);

    RecordSet set(QStringLiteral("Marks"));
    set.AddField(Def(QStringLiteral("Id"), FieldType::Integer));
    set.AddField(Def(QStringLiteral("IdTable"), FieldType::Integer));
    set.AddField(Def(QStringLiteral("NameTable"), FieldType::Text, 20));
    set.Open();
    const QList<QVariantList> rows = {{1, 1, "Receiver"},
                                      {2, 2, "Receiver"},
                                      {3, 1, "Source"},
                                      {4, 2, "Source"},
                                      {5, QVariant(), "Connection"}};
    for (const QVariantList& row : rows) {
        set.Append();
        for (int i = 0; i < row.size(); ++i)
            Field(set, i).SetValue(row[i]);
        set.Post();
    }
    set.First();
    QStringList log;
    RecordEvents(set, log);

    if (!caseInsensitive) {
        // Lookup compares text exactly and leaves the cursor where it is.
        const QVariantList found = set.Lookup(fields, values, QStringLiteral("Id;NameTable"));
        if (foundId == 0) {
            QVERIFY(found.isEmpty());
        } else {
            QCOMPARE(found.size(), 2);
            QCOMPARE(found[0].toInt(), foundId);
        }
        QCOMPARE(set.RecNo(), 0);
        QVERIFY(log.isEmpty());
    }

    const bool located =
        set.Locate(fields, values, caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive);
    QCOMPARE(located, foundId != 0);
    QCOMPARE(set.FieldByName(QStringLiteral("Id")).AsInteger(), located ? foundId : 1);
    QCOMPARE(log.join(u' '), located ? QStringLiteral("AfterScroll") : QString());
}

// Searches go through an index that must never answer from rows as they were.
void RecordSetTest::lookupFollowsEveryChange() {
    RecordSet set(QStringLiteral("Marks"), false);
    set.AddField(Def(QStringLiteral("IdTable"), FieldType::Integer));
    set.AddField(Def(QStringLiteral("NameTable"), FieldType::Text, 20));
    set.AddField(Def(QStringLiteral("Password"), FieldType::Text, 20));
    set.Open();
    const auto add = [&set](int id, const char* table, const char* password) {
        set.Append();
        set.FieldByName(QStringLiteral("IdTable")).SetAsInteger(id);
        set.FieldByName(QStringLiteral("NameTable")).SetAsString(QString::fromLatin1(table));
        set.FieldByName(QStringLiteral("Password")).SetAsString(QString::fromLatin1(password));
        set.Post();
    };
    const auto held = [&set](int id, const char* table) {
        const QVariantList found =
            set.Lookup(QStringLiteral("IdTable;NameTable"), {id, QString::fromLatin1(table)},
                       QStringLiteral("Password"));
        return found.isEmpty() ? QStringLiteral("-") : found[0].toString();
    };
    add(1, "Receiver", "a");
    add(1, "Source", "b");
    QCOMPARE(held(1, "Receiver"), QStringLiteral("a"));
    QCOMPARE(held(2, "Receiver"), QStringLiteral("-"));

    add(2, "Receiver", "c");
    QCOMPARE(held(2, "Receiver"), QStringLiteral("c"));

    QVERIFY(set.Locate(QStringLiteral("IdTable;NameTable"), {1, QStringLiteral("Receiver")}));
    set.Edit();
    set.FieldByName(QStringLiteral("IdTable")).SetAsInteger(3);
    QCOMPARE(held(1, "Receiver"), QStringLiteral("a")); // not posted yet
    set.Post();
    QCOMPARE(held(1, "Receiver"), QStringLiteral("-"));
    QCOMPARE(held(3, "Receiver"), QStringLiteral("a"));

    set.Append();
    set.FieldByName(QStringLiteral("IdTable")).SetAsInteger(4);
    set.FieldByName(QStringLiteral("NameTable")).SetAsString(QStringLiteral("Source"));
    QCOMPARE(held(4, "Source"), QStringLiteral("-")); // the row being inserted is not found
    set.Cancel();
    QCOMPARE(held(2, "Receiver"), QStringLiteral("c"));

    QVERIFY(set.Locate(QStringLiteral("IdTable;NameTable"), {2, QStringLiteral("Receiver")}));
    set.Delete();
    QCOMPARE(held(2, "Receiver"), QStringLiteral("-"));
    QCOMPARE(held(1, "Source"), QStringLiteral("b"));

    add(1, "Source", "d"); // the first of two equal keys wins
    QCOMPARE(held(1, "Source"), QStringLiteral("b"));
    set.EmptyTable();
    QCOMPARE(held(1, "Source"), QStringLiteral("-"));
}

void RecordSetTest::lookupByIdSkipsUnpostedRow() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    for (int id = 1; id <= 50; ++id)
        AddRow(set, id * 2, QString::number(id));
    set.MoveTo(10);
    set.Insert();
    set.FieldByName(QStringLiteral("Id")).SetAsInteger(1);
    for (int id = 1; id <= 50; ++id) {
        QCOMPARE(set.Lookup(QStringLiteral("Id"), {id * 2}, QStringLiteral("Name")),
                 QVariantList{QString::number(id)});
    }
    QVERIFY(set.Lookup(QStringLiteral("Id"), {1}, QStringLiteral("Name")).isEmpty());
    QCOMPARE(set.State(), RecordSetState::Insert);
    set.Post();
    QCOMPARE(set.RecNo(), 0);
    QCOMPARE(set.Lookup(QStringLiteral("Id"), {1}, QStringLiteral("Id")), QVariantList{1});
}

void RecordSetTest::storedRowsLeaveOutPendingChanges() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    AddRow(set, 10, QStringLiteral("a"));
    AddRow(set, 20, QStringLiteral("b"));
    const auto names = [&set] {
        QStringList stored;
        for (const QVariantList& row : set.StoredRows())
            stored << row[0].toString() + u':' + row[1].toString();
        return stored.join(u',');
    };
    set.First();
    set.Edit();
    set.FieldByName(QStringLiteral("Name")).SetAsString(QStringLiteral("typed"));
    QCOMPARE(names(), QStringLiteral("10:a,20:b"));
    set.Post();
    set.Insert();
    set.FieldByName(QStringLiteral("Id")).SetAsInteger(5);
    QCOMPARE(names(), QStringLiteral("10:typed,20:b"));
    QCOMPARE(set.State(), RecordSetState::Insert);
}

void RecordSetTest::filterById() {
    RecordSet types(QStringLiteral("Connection_Types"));
    types.AddField(Def(QStringLiteral("Id"), FieldType::Integer));
    types.AddField(Def(QStringLiteral("Name"), FieldType::Text, 200));
    types.Open();
    for (int id = 1; id <= 4; ++id)
        AddRow(types, id, QStringLiteral("type %1").arg(id));
    types.Last();
    types.SetFilter(QStringLiteral("Id = 1"));
    QCOMPARE(types.RecordCount(), 4);
    types.SetFiltered(true);
    QCOMPARE(types.RecordCount(), 1);
    QCOMPARE(Rows(types), QStringLiteral("1:type 1"));
    QCOMPARE(types.FieldByName(QStringLiteral("Name")).AsString(), QStringLiteral("type 1"));
    types.First();
    types.Next();
    QVERIFY(types.Eof());
    QVERIFY(!types.Locate(QStringLiteral("Id"), {3}));
    QVERIFY(types.Lookup(QStringLiteral("Name"), {QStringLiteral("type 3")}, QStringLiteral("Id"))
                .isEmpty());
    types.SetFilter(QStringLiteral("Id=3"));
    QCOMPARE(Rows(types), QStringLiteral("3:type 3"));
    types.SetFiltered(false);
    QCOMPARE(types.RecordCount(), 4);
    QCOMPARE(types.FieldByName(QStringLiteral("Id")).AsInteger(), 3);
    QCOMPARE(Message([&] { types.SetFilter(QStringLiteral("Name = 'x'")); }),
             QStringLiteral("Connection_Types: Filter expression 'Name = 'x'' is not supported"));
}

void RecordSetTest::observersPausedAndResumed() {
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    set.Open();
    AddRow(set, 1, QStringLiteral("a"));
    AddRow(set, 2, QStringLiteral("b"));
    ChangeRecorder recorder;
    set.AddObserver(&recorder);

    set.First();
    set.Edit();
    set.FieldByName(QStringLiteral("Name")).SetAsString(QStringLiteral("c"));
    set.Post();
    QCOMPARE(recorder.Changes.join(u' '), QStringLiteral("Current State Field:1 State Layout"));

    recorder.Changes.clear();
    set.DisableControls();
    set.DisableControls();
    QVERIFY(set.ControlsDisabled());
    set.Append();
    set.FieldByName(QStringLiteral("Id")).SetAsInteger(3);
    set.Post();
    set.First();
    set.EnableControls();
    QVERIFY(recorder.Changes.isEmpty());
    set.EnableControls();
    QVERIFY(!set.ControlsDisabled());
    QCOMPARE(recorder.Changes, QStringList{QStringLiteral("Layout")});

    recorder.Changes.clear();
    set.RemoveObserver(&recorder);
    set.Next();
    QVERIFY(recorder.Changes.isEmpty());
}

void RecordSetTest::singleLineRefusal_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    QTest::newRow("backquote") << "a`b" << true;
    QTest::newRow("line feed") << "a\nb" << true;
    QTest::newRow("carriage return") << "a\rb" << true;
    QTest::newRow("plain") << "a;b=c \"d\"" << false;
}

void RecordSetTest::singleLineRefusal() {
    QFETCH(QString, text);
    QFETCH(bool, refused);
    RecordSet set(QStringLiteral("People"));
    AddPeopleFields(set);
    FieldDef note = Def(QStringLiteral("Note"), FieldType::Text, 50);
    note.SingleLine = true;
    set.AddField(note);
    set.Open();
    set.Append();
    set.FieldByName(QStringLiteral("Note")).SetAsString(QStringLiteral("before"));
    const QString message =
        Message([&] { set.FieldByName(QStringLiteral("Note")).SetAsString(text); });
    if (refused) {
        QCOMPARE(message,
                 QStringLiteral("Поле \"Note\" не может содержать символ \"`\" и перевод строки."));
        QCOMPARE(set.FieldByName(QStringLiteral("Note")).AsString(), QStringLiteral("before"));
    } else {
        QCOMPARE(message, QStringLiteral("<no error>"));
        QCOMPARE(set.FieldByName(QStringLiteral("Note")).AsString(), text);
    }
    // A field without the flag takes any text.
    set.FieldByName(QStringLiteral("Name")).SetAsString(text);
    QCOMPARE(set.FieldByName(QStringLiteral("Name")).AsString(), text);
}

QTEST_GUILESS_MAIN(RecordSetTest)
#include "RecordSetTest.moc"

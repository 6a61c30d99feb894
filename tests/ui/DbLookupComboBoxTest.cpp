#include "ui/widgets/DbLookupComboBox.h"
#include "WidgetFixture.h"
#include "core/TableFields.h"

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kTypeKey = Fields::Receiver::Id_Connection_Types;

// The receiver's type box as the main window builds it.
void BindTypeBox(DbLookupComboBox& box, WidgetFixture& fixture) {
    box.DataLink().Bind(&fixture.receiver, kTypeKey);
    box.SetListSource(&fixture.connectionTypes, Fields::Connection_Types::Id,
                      Fields::Connection_Types::Name);
}

QStringList Items(const DbLookupComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

} // namespace

// Lookup boxes over real tables: the name shown, the key stored, the list opened by typing and
// filtered while open, the list read again when its table changes.
class DbLookupComboBoxTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture_ = std::make_unique<WidgetFixture>(); }
    void cleanup() { fixture_.reset(); }

    void showsNameOfKeyAndFollowsCursor();
    void typingOpensListAndChoiceStoresKey();
    void escapeClosesListWithoutChoice();
    void listFilteredWhileDroppedDown();
    void rereadsListWhenListTableChanges();
    void keyValueWritesBoundField();
    void readOnlyBoxDoesNotOpen();

private:
    std::unique_ptr<WidgetFixture> fixture_;
};

void DbLookupComboBoxTest::showsNameOfKeyAndFollowsCursor() {
    RecordSet& receiver = fixture_->dm.Receiver;
    DbLookupComboBox box;
    BindTypeBox(box, *fixture_);
    QCOMPARE(Items(box), (QStringList{"База данных", "1С:Предприятие", "1С сервер"}));
    QCOMPARE(box.currentText(), QStringLiteral("1С:Предприятие"));
    QCOMPARE(box.KeyValue(), QVariant(2));
    receiver.Next();
    // No type yet: nothing shown.
    QCOMPARE(box.currentIndex(), -1);
    QCOMPARE(box.currentText(), QString());
    QVERIFY(!box.KeyValue().isValid());
}

void DbLookupComboBoxTest::typingOpensListAndChoiceStoresKey() {
    RecordSet& connection = fixture_->dm.Connection;
    DbLookupComboBox box;
    box.DataLink().Bind(&fixture_->connection, Fields::Connection::Id_Receiver);
    box.SetListSource(&fixture_->receiver, Fields::Receiver::Id, Fields::Receiver::Name_Receiver);
    box.show();
    QCOMPARE(box.currentText(), QStringLiteral("Склад"));
    QSignalSpy dropDown(&box, &DbLookupComboBox::DropDown);
    QSignalSpy closeUp(&box, &DbLookupComboBox::CloseUp);
    WidgetFixture::Type(&box, QStringLiteral("Маг"));
    QVERIFY(box.ListVisible());
    QVERIFY(box.view()->isVisible());
    QCOMPARE(dropDown.size(), 1);
    QCOMPARE(box.view()->currentIndex().data().toString(), QStringLiteral("Магазин"));
    // Nothing is stored before the choice.
    QCOMPARE(connection.State(), RecordSetState::Browse);

    QTest::keyClick(box.view(), Qt::Key_Return);
    QVERIFY(!box.ListVisible());
    QCOMPARE(connection.State(), RecordSetState::Edit);
    QCOMPARE(connection.FieldByName(Fields::Connection::Id_Receiver).Value(), QVariant(2));
    QCOMPARE(connection.FieldByName(Fields::Connection::Name_Receiver).AsString(),
             QStringLiteral("Магазин"));
    QCOMPARE(box.currentText(), QStringLiteral("Магазин"));
    QTRY_COMPARE(closeUp.size(), 1);
    connection.Cancel();
    QCOMPARE(box.currentText(), QStringLiteral("Склад"));
}

void DbLookupComboBoxTest::escapeClosesListWithoutChoice() {
    RecordSet& receiver = fixture_->dm.Receiver;
    DbLookupComboBox box;
    BindTypeBox(box, *fixture_);
    box.show();
    QSignalSpy closeUp(&box, &DbLookupComboBox::CloseUp);
    WidgetFixture::Type(&box, QStringLiteral("1С с"));
    QVERIFY(box.ListVisible());
    QCOMPARE(box.view()->currentIndex().data().toString(), QStringLiteral("1С сервер"));
    QTest::keyClick(box.view(), Qt::Key_Escape);
    QVERIFY(!box.ListVisible());
    QTRY_COMPARE(closeUp.size(), 1);
    QCOMPARE(receiver.State(), RecordSetState::Browse);
    QCOMPARE(box.currentText(), QStringLiteral("1С:Предприятие"));
}

void DbLookupComboBoxTest::listFilteredWhileDroppedDown() {
    RecordSet& types = fixture_->dm.Connection_Types;
    RecordSet& receiver = fixture_->dm.Receiver;
    DbLookupComboBox box;
    BindTypeBox(box, *fixture_);
    // The window's handlers: only type 1 for a receiver while the list is open.
    connect(
        &box, &DbLookupComboBox::DropDown, &box,
        [&types] {
            types.SetFilter(QStringLiteral("Id = 1"));
            types.SetFiltered(true);
        });
    connect(&box, &DbLookupComboBox::CloseUp, &box, [&types] { types.SetFiltered(false); });
    box.show();
    box.showPopup();
    QVERIFY(box.ListVisible());
    QCOMPARE(Items(box), QStringList{"База данных"});
    QCOMPARE(box.view()->model()->rowCount(), 1);

    // The choice is stored before the list closes up and the filter goes.
    QTest::keyClick(box.view(), Qt::Key_Down);
    QTest::keyClick(box.view(), Qt::Key_Return);
    QCOMPARE(receiver.FieldByName(kTypeKey).Value(), QVariant(1));
    QTRY_VERIFY(!types.Filtered());
    QCOMPARE(box.count(), 3);
    QCOMPARE(box.currentText(), QStringLiteral("База данных"));
    QCOMPARE(receiver.FieldByName(kTypeKey).Value(), QVariant(1));

    // A list that closes without a choice drops the filter too.
    box.showPopup();
    QVERIFY(types.Filtered());
    box.hidePopup();
    QTRY_VERIFY(!types.Filtered());
    QCOMPARE(box.count(), 3);
}

void DbLookupComboBoxTest::rereadsListWhenListTableChanges() {
    RecordSet& types = fixture_->dm.Connection_Types;
    DbLookupComboBox box;
    BindTypeBox(box, *fixture_);
    types.Next();
    types.Edit();
    types.FieldByName(Fields::Connection_Types::Name).SetAsString(QStringLiteral("1С:Торговля"));
    QCOMPARE(box.currentText(), QStringLiteral("1С:Торговля"));
    types.Post();
    WidgetFixture::AddNamed(types, Fields::Connection_Types::Name, 4,
                            QStringLiteral("1С локально"));
    QCOMPARE(Items(box), (QStringList{"База данных", "1С:Торговля", "1С сервер", "1С локально"}));
    QCOMPARE(box.currentText(), QStringLiteral("1С:Торговля"));
    types.First();
    types.Next();
    types.Delete();
    QCOMPARE(box.count(), 3);
    // The stale key shows an empty name.
    QCOMPARE(box.currentText(), QString());
    QCOMPARE(box.KeyValue(), QVariant(2));
}

void DbLookupComboBoxTest::keyValueWritesBoundField() {
    RecordSet& connection = fixture_->dm.Connection;
    DbLookupComboBox box;
    box.DataLink().Bind(&fixture_->connection, Fields::Connection::Id_Receiver);
    box.SetListSource(&fixture_->receiver, Fields::Receiver::Id, Fields::Receiver::Name_Receiver);
    box.SetKeyValue(-1);
    QCOMPARE(connection.State(), RecordSetState::Edit);
    QCOMPARE(box.currentText(), QString());
    QCOMPARE(connection.FieldByName(Fields::Connection::Id_Receiver).Value(), QVariant(-1));
    box.SetKeyValue(1);
    QCOMPARE(box.currentText(), QStringLiteral("Склад"));
    connection.Post();
    QCOMPARE(connection.FieldByName(Fields::Connection::Id_Receiver).Value(), QVariant(1));
}

void DbLookupComboBoxTest::readOnlyBoxDoesNotOpen() {
    RecordSet& receiver = fixture_->dm.Receiver;
    DbLookupComboBox box;
    BindTypeBox(box, *fixture_);
    box.DataLink().SetReadOnly(true);
    box.show();
    QSignalSpy dropDown(&box, &DbLookupComboBox::DropDown);
    WidgetFixture::Type(&box, QStringLiteral("Б"));
    QTest::keyClick(&box, Qt::Key_Down);
    QTest::mouseClick(&box, Qt::LeftButton);
    box.showPopup();
    QVERIFY(!box.ListVisible());
    QCOMPARE(dropDown.size(), 0);
    QCOMPARE(receiver.State(), RecordSetState::Browse);
    QCOMPARE(box.currentText(), QStringLiteral("1С:Предприятие"));
}

QTEST_MAIN(DbLookupComboBoxTest)
#include "DbLookupComboBoxTest.moc"

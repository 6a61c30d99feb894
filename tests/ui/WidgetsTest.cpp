#include "WidgetFixture.h"
#include "core/TableFields.h"
#include "ui/widgets/DbCheckBox.h"
#include "ui/widgets/DbEdit.h"
#include "ui/widgets/DbNumberEdit.h"
#include "ui/widgets/DbTimeEdit.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <functional>

namespace {

const QString kName = Fields::Receiver::Name_Receiver;

QString Stored(RecordSet& set, const QString& field) {
    return set.FieldByName(field).AsString();
}

} // namespace

// The editors on a real data module: they follow the cursor, enter edit when typed into and
// store what was typed, refuse what the field would not keep.
class WidgetsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture_ = std::make_unique<WidgetFixture>(); }
    void cleanup() { fixture_.reset(); }

    void editFollowsCursor();
    void typingEntersEditAndStores();
    void cancelShowsStoredValue();
    void pausedControlsCatchUpOnResume();
    void refusesWhatFieldWouldNotKeep_data();
    void refusesWhatFieldWouldNotKeep();
    void readOnlyEditorsRefuseTyping_data();
    void readOnlyEditorsRefuseTyping();
    void colourPaintsEditingArea();
    void numberEditStoresInteger();
    void timeEditShowsEmptyAsBlankMask();
    void timeEditStoresTypedTimeAndNullWhenCleared();
    void timeEditStepsSectionUnderCursor();
    void checkBoxStoresOneAndZero();

private:
    std::unique_ptr<WidgetFixture> fixture_;
};

void WidgetsTest::editFollowsCursor() {
    DbEdit edit;
    edit.DataLink().Bind(&fixture_->receiver, kName);
    QCOMPARE(edit.text(), QStringLiteral("Склад"));
    fixture_->dm.Receiver.Next();
    QCOMPARE(edit.text(), QStringLiteral("Магазин"));
    fixture_->dm.Receiver.EmptyTable();
    QCOMPARE(edit.text(), QString());
}

void WidgetsTest::typingEntersEditAndStores() {
    RecordSet& receiver = fixture_->dm.Receiver;
    DbEdit edit;
    DbEdit second;
    edit.DataLink().Bind(&fixture_->receiver, kName);
    second.DataLink().Bind(&fixture_->receiver, kName);
    edit.show();
    edit.setCursorPosition(2);
    WidgetFixture::Type(&edit, QStringLiteral("ё"));
    QCOMPARE(receiver.State(), RecordSetState::Edit);
    QCOMPARE(Stored(receiver, kName), QStringLiteral("Скёлад"));
    // Half-typed text is not overwritten by the row's own change events.
    QCOMPARE(edit.text(), QStringLiteral("Скёлад"));
    QCOMPARE(edit.cursorPosition(), 3);
    QCOMPARE(second.text(), QStringLiteral("Скёлад"));
    receiver.Post();
    QCOMPARE(receiver.ValueAt(0, receiver.FieldIndex(kName)).toString(), QStringLiteral("Скёлад"));
}

void WidgetsTest::cancelShowsStoredValue() {
    RecordSet& receiver = fixture_->dm.Receiver;
    DbEdit edit;
    edit.DataLink().Bind(&fixture_->receiver, kName);
    edit.show();
    edit.selectAll();
    WidgetFixture::Type(&edit, QStringLiteral("Новое"));
    QCOMPARE(Stored(receiver, kName), QStringLiteral("Новое"));
    receiver.Cancel();
    QCOMPARE(receiver.State(), RecordSetState::Browse);
    QCOMPARE(edit.text(), QStringLiteral("Склад"));
}

void WidgetsTest::pausedControlsCatchUpOnResume() {
    RecordSet& receiver = fixture_->dm.Receiver;
    DbEdit edit;
    edit.DataLink().Bind(&fixture_->receiver, kName);
    receiver.DisableControls();
    receiver.Edit();
    receiver.FieldByName(kName).SetAsString(QStringLiteral("Пауза"));
    receiver.Post();
    receiver.Next();
    QCOMPARE(edit.text(), QStringLiteral("Склад"));
    receiver.EnableControls();
    QCOMPARE(edit.text(), QStringLiteral("Магазин"));
}

void WidgetsTest::refusesWhatFieldWouldNotKeep_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("message");
    const QString backquote =
        QStringLiteral("Поле \"Name_Table\" не может содержать символ \"`\" и перевод строки.");
    QTest::newRow("backquote typed")
        << Fields::Receiver::Name_Table << "ab`c" << false << "abc" << backquote;
    QTest::newRow("line break pasted")
        << Fields::Receiver::Name_Table << "a\nb" << true << "" << backquote;
    QTest::newRow("carriage return pasted")
        << Fields::Receiver::Name_Table << "a\rb" << true << "" << backquote;
    QTest::newRow("one past the width")
        << Fields::Receiver::Name_Table << QString(51, u'x') << false << QString(50, u'x')
        << "Поле \"Name_Table\" не может быть длиннее 50 символов.";
    QTest::newRow("paste past the width")
        << Fields::Receiver::Key_Field << QString(60, u'y') << true << ""
        << "Поле \"Key_Field\" не может быть длиннее 50 символов.";
}

void WidgetsTest::refusesWhatFieldWouldNotKeep() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, kept);
    QFETCH(QString, message);
    RecordSet& receiver = fixture_->dm.Receiver;
    DbEdit edit;
    edit.DataLink().Bind(&fixture_->receiver, field);
    edit.show();
    QSignalSpy refused(&edit, &DbEdit::InputRefused);
    if (pasted)
        edit.insert(typed);
    else
        WidgetFixture::Type(&edit, typed);
    QCOMPARE(edit.text(), kept);
    QCOMPARE(Stored(receiver, field), kept);
    QVERIFY(!refused.isEmpty());
    QCOMPARE(refused.last().first().toString(), message);
    QCOMPARE(QToolTip::text(), message);
}

void WidgetsTest::readOnlyEditorsRefuseTyping_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("edit") << "edit";
    QTest::newRow("number") << "number";
    QTest::newRow("time") << "time";
    QTest::newRow("check box") << "check";
}

void WidgetsTest::readOnlyEditorsRefuseTyping() {
    QFETCH(QString, kind);
    RecordSet& connection = fixture_->dm.Connection;
    std::unique_ptr<QWidget> widget;
    FieldDataLink* link = nullptr;
    QString field;
    if (kind == u"edit") {
        auto* edit = new DbEdit;
        widget.reset(edit);
        link = &edit->DataLink();
        field = Fields::Connection::Name_Connection;
    } else if (kind == u"number") {
        auto* edit = new DbNumberEdit;
        widget.reset(edit);
        link = &edit->DataLink();
        field = Fields::Connection::Time_Update;
    } else if (kind == u"time") {
        auto* edit = new DbTimeEdit;
        widget.reset(edit);
        link = &edit->DataLink();
        field = Fields::Connection::TimeStart;
    } else {
        auto* box = new DbCheckBox;
        widget.reset(box);
        link = &box->DataLink();
        field = Fields::Connection::Monday;
    }
    link->Bind(&fixture_->connection, field);
    link->SetReadOnly(true);
    widget->show();
    const QString before = Stored(connection, field);
    if (kind == u"check") {
        QTest::mouseClick(widget.get(), Qt::LeftButton);
    } else {
        WidgetFixture::Type(widget.get(), QStringLiteral("12"));
        QTest::keyClick(widget.get(), Qt::Key_Up);
    }
    QCOMPARE(connection.State(), RecordSetState::Browse);
    QCOMPARE(Stored(connection, field), before);
    QCOMPARE(link->Text(), before);

    // Unlocked, the same input goes through.
    link->SetReadOnly(false);
    if (kind == u"check")
        QTest::mouseClick(widget.get(), Qt::LeftButton);
    else
        WidgetFixture::Type(widget.get(), QStringLiteral("12"));
    QCOMPARE(connection.State(), RecordSetState::Edit);
}

void WidgetsTest::colourPaintsEditingArea() {
    DbEdit edit;
    edit.DataLink().SetColor(Qt::lightGray);
    QCOMPARE(edit.palette().color(QPalette::Base), QColor(Qt::lightGray));
    edit.DataLink().SetColor(Qt::white);
    QCOMPARE(edit.palette().color(QPalette::Base), QColor(Qt::white));
}

void WidgetsTest::numberEditStoresInteger() {
    RecordSet& connection = fixture_->dm.Connection;
    DbNumberEdit edit;
    edit.DataLink().Bind(&fixture_->connection, Fields::Connection::Time_Update);
    edit.show();
    QCOMPARE(edit.value(), 10);
    connection.Next();
    QCOMPARE(edit.value(), 20);
    edit.selectAll();
    WidgetFixture::Type(&edit, QStringLiteral("45"));
    QCOMPARE(connection.State(), RecordSetState::Edit);
    QCOMPARE(connection.FieldByName(Fields::Connection::Time_Update).AsInteger(), 45);
    QTest::keyClick(&edit, Qt::Key_Up);
    QCOMPARE(connection.FieldByName(Fields::Connection::Time_Update).AsInteger(), 46);
    edit.selectAll();
    WidgetFixture::Type(&edit, QStringLiteral("0"));
    // The window's own check refuses a period below one minute, so 0 must reach the field.
    QCOMPARE(connection.FieldByName(Fields::Connection::Time_Update).AsInteger(), 0);
    connection.Cancel();
    QCOMPARE(edit.value(), 20);
}

void WidgetsTest::timeEditShowsEmptyAsBlankMask() {
    RecordSet& connection = fixture_->dm.Connection;
    DbTimeEdit edit;
    edit.DataLink().Bind(&fixture_->connection, Fields::Connection::TimeStart);
    QCOMPARE(edit.text(), QStringLiteral("09:00:00"));
    QCOMPARE(edit.Time(), QTime(9, 0));
    connection.Next();
    QCOMPARE(edit.text(), QStringLiteral("  :  :  "));
    QVERIFY(!edit.Time().isValid());
    connection.Next();
    QCOMPARE(edit.text(), QStringLiteral("07:15:30"));
}

void WidgetsTest::timeEditStoresTypedTimeAndNullWhenCleared() {
    RecordSet& connection = fixture_->dm.Connection;
    const QString field = Fields::Connection::TimeStart;
    DbTimeEdit edit;
    edit.DataLink().Bind(&fixture_->connection, field);
    edit.show();
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Delete);
    QCOMPARE(connection.State(), RecordSetState::Edit);
    QVERIFY(connection.FieldByName(field).IsNull());
    QCOMPARE(edit.text(), QStringLiteral("  :  :  "));

    // Half-typed: the row is in edit, the field not yet changed.
    WidgetFixture::Type(&edit, QStringLiteral("1030"));
    QCOMPARE(edit.text(), QStringLiteral("10:30:  "));
    QVERIFY(connection.FieldByName(field).IsNull());
    WidgetFixture::Type(&edit, QStringLiteral("15"));
    QCOMPARE(connection.FieldByName(field).AsTime(), QTime(10, 30, 15));

    // Hours past 23 are refused as typed.
    edit.selectAll();
    WidgetFixture::Type(&edit, QStringLiteral("25"));
    QCOMPARE(edit.text().left(2), QStringLiteral("2 "));
    connection.Post();
    QCOMPARE(connection.FieldByName(field).AsTime(), QTime(10, 30, 15));
    // Leaving a half-typed editor shows the stored time again.
    Q_EMIT edit.editingFinished();
    QCOMPARE(edit.text(), QStringLiteral("10:30:15"));
}

void WidgetsTest::timeEditStepsSectionUnderCursor() {
    RecordSet& connection = fixture_->dm.Connection;
    const QString field = Fields::Connection::TimeStart;
    DbTimeEdit edit;
    edit.DataLink().Bind(&fixture_->connection, field);
    edit.show();
    edit.setFocus();
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Up);
    QCOMPARE(connection.FieldByName(field).AsTime(), QTime(10, 0));
    QCOMPARE(edit.text(), QStringLiteral("10:00:00"));
    QTest::keyClick(&edit, Qt::Key_End);
    QTest::keyClick(&edit, Qt::Key_Down);
    QCOMPARE(connection.FieldByName(field).AsTime(), QTime(9, 59, 59));
    // From empty, stepping starts at midnight.
    connection.Post();
    connection.Next();
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Up);
    QCOMPARE(connection.FieldByName(field).AsTime(), QTime(1, 0));
}

void WidgetsTest::checkBoxStoresOneAndZero() {
    RecordSet& connection = fixture_->dm.Connection;
    const QString field = Fields::Connection::Monday;
    DbCheckBox box;
    box.DataLink().Bind(&fixture_->connection, field);
    box.show();
    QVERIFY(box.isChecked());
    QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(connection.State(), RecordSetState::Edit);
    QCOMPARE(connection.FieldByName(field).Value(), QVariant(0));
    QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(connection.FieldByName(field).Value(), QVariant(1));
    connection.Post();
    connection.Next();
    QVERIFY(!box.isChecked());
    // A null day shows unticked.
    connection.Edit();
    connection.FieldByName(field).Clear();
    QVERIFY(!box.isChecked());
    QTest::keyClick(&box, Qt::Key_Space);
    QCOMPARE(connection.FieldByName(field).Value(), QVariant(1));
}

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"

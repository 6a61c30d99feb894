#include "PastedText.h"
#include "core/TableFields.h"
#include "support/DatabaseFixtures.h"
#include "support/ResponsivenessProbe.h"
#include "support/SettingsServiceFixture.h"
#include "support/SilentServer.h"
#include "ui/DropDownComboBox.h"
#include "ui/HintLineEdit.h"
#include "ui/ReceiverSettingsCommand.h"
#include "ui/TfrmAdSetReceiver.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
const QString kTable = Fields::Receiver::Name_Table;
const QString kKey = Fields::Receiver::Key_Field;
const QString kValue = Fields::Receiver::Name_Updated_Field;
} // namespace

class ReceiverDialogTest : public QObject {
    Q_OBJECT

private:
    DatabaseFixtures databases_;
    QString receiverString_;
    std::unique_ptr<SettingsServiceFixture> fixture_;

    RecordSet& Receiver() { return fixture_->Dm.Receiver; }

    // A posted receiver row, its password held and masked as the main window shows it.
    void AddReceiver(const QString& connectionString, const QString& table = QString(),
                     const QString& key = QString(), const QString& value = QString()) {
        Receiver().Insert();
        Receiver().FieldByName(Fields::Receiver::Name_Receiver).SetAsString("Склад");
        Receiver().FieldByName(Fields::Receiver::Connection_String).SetAsString(connectionString);
        Receiver().FieldByName(Fields::Receiver::Id_Connection_Types).SetAsInteger(1);
        Receiver().FieldByName(kTable).SetAsString(table);
        Receiver().FieldByName(kKey).SetAsString(key);
        Receiver().FieldByName(kValue).SetAsString(value);
        Receiver().Post();
    }
    QString Shown(const QString& field) { return Receiver().FieldByName(field).AsString(); }

    // Runs the command on the current row; drive works on the shown dialog, once the database
    // has answered unless told otherwise, and gives its result.
    void RunCommand(const std::function<int(TfrmAdSetReceiver&)>& drive, bool locked = false,
                    const QString& typeText = QStringLiteral("База данных"),
                    bool waitForDatabase = true) {
        ReceiverSettingsCommand command(&fixture_->Owner, Receiver(), fixture_->Service,
                                        fixture_->Prompts, [&](SettingsDialog& dialog) {
                                            dialog.show();
                                            if (waitForDatabase)
                                                Settle(&dialog);
                                            return drive(static_cast<TfrmAdSetReceiver&>(dialog));
                                        });
        command.Execute(locked, typeText, Shown(Fields::Receiver::Connection_String));
    }
    // The dialog's database answers come through the event loop.
    static void Settle(QWidget* inDialog) {
        auto* dialog = qobject_cast<TfrmAdSetReceiver*>(inDialog->window());
        Q_ASSERT(dialog);
        QVERIFY(QTest::qWaitFor([dialog] { return !dialog->Waiting(); }, 20000));
    }

    static DropDownComboBox* Box(QDialog& dialog, const char* name) {
        auto* box = dialog.findChild<DropDownComboBox*>(QString::fromLatin1(name));
        Q_ASSERT(box);
        return box;
    }
    static QStringList DroppedList(DropDownComboBox* box) {
        box->showPopup();
        Settle(box);
        const QStringList items = box->Items();
        box->hidePopup();
        return items;
    }
    static void ChooseFromList(DropDownComboBox* box, const QString& entry) {
        box->showPopup();
        Settle(box);
        const int row = box->findText(entry);
        QVERIFY2(row >= 0, qPrintable(entry));
        box->view()->setCurrentIndex(box->model()->index(row, 0));
        QTest::keyClick(box->view(), Qt::Key_Return);
        Settle(box);
    }
    // Types like the operator; true when the list opened by itself with entries.
    static bool TypeInto(DropDownComboBox* box, const QString& text) {
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), text);
        QCompleter* completer = box->completer();
        if (!completer)
            return false;
        const bool opened = completer->popup()->isVisible() && box->count() > 0;
        completer->popup()->hide();
        return opened;
    }
    static int Accept(TfrmAdSetReceiver& dialog) {
        dialog.OkButton()->click();
        return dialog.result();
    }

private Q_SLOTS:
    void initTestCase() {
        receiverString_ = databases_.CreateFirebirdEmbedded(QStringLiteral("receiver"));
        DatabaseFixtures::Run(
            receiverString_,
            {QStringLiteral("CREATE TABLE PARTS (PARTNO INTEGER, CODE INTEGER, NAME VARCHAR(100))"),
             QStringLiteral("CREATE TABLE STOCK_BALANCE (PARTNO INTEGER, QUANTITY NUMERIC(15,3), "
                            "PLACE VARCHAR(20))"),
             QStringLiteral("CREATE TABLE \"Q'TAB\" (\"IT'EM\" INTEGER, QUANTITY INTEGER)")});
    }
    void init() { fixture_ = std::make_unique<SettingsServiceFixture>(); }
    void cleanup() { fixture_.reset(); }

    void textNoFieldKeepsIsRefusedInTheDialog_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::newRow("table, backquote") << "dbName_Table"
                                          << "Название таблицы"
                                          << "Stock`";
        QTest::newRow("key field, line feed") << "dbKey_Field"
                                              << "Ключевое поле"
                                              << "Part\nno";
        QTest::newRow("value field, backquote") << "dbName_Updated_Field"
                                                << "Поле с данными"
                                                << "`Quantity";
    }
    void textNoFieldKeepsIsRefusedInTheDialog() {
        QFETCH(QString, box);
        QFETCH(QString, caption);
        QFETCH(QString, text);
        AddReceiver(QStringLiteral("Dbname=/nonexistent/r.fdb"), "Stock_Balance", "Partno",
                    "Quantity");
        fixture_->RemoveSettings();
        PastedText pasted;
        RunCommand([&](TfrmAdSetReceiver& dialog) {
            return pasted.ConfirmIn(dialog, *Box(dialog, qPrintable(box))->lineEdit(), text);
        });
        QCOMPARE(fixture_->Prompts.Texts(), PastedText::Refusal(caption));
        QCOMPARE(fixture_->Prompts.Messages().first().Kind, DialogKind::Warning);
        QVERIFY(pasted.StayedOpen);
        QCOMPARE(pasted.Kept, text);
        QCOMPARE(Receiver().State(), RecordSetState::Browse);
        QCOMPARE(Shown(kTable), QStringLiteral("Stock_Balance"));
        QVERIFY(!fixture_->SettingsWritten());
    }

    void formatsNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("formatted");
        QTest::newRow("table") << "STOCK_BALANCE"
                               << "Stock_Balance";
        QTest::newRow("one word") << "PARTNO"
                                  << "Partno";
        QTest::newRow("underscores in a row") << "A__B_"
                                              << "A__B_";
        QTest::newRow("leading underscore and digits") << "_1ST_X2"
                                                       << "_1st_X2";
        QTest::newRow("dollar") << "MON$STATE"
                                << "Mon$state";
        QTest::newRow("cyrillic stays lower") << "ОСТАТКИ_СКЛАДА"
                                              << "остатки_склада";
        QTest::newRow("empty") << ""
                               << "";
    }
    void formatsNames() {
        QFETCH(QString, name);
        QFETCH(QString, formatted);
        QCOMPARE(TfrmAdSetReceiver::FormatFieldName(name), formatted);
    }

    void buildsFieldListStatement_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("statement");
        QTest::newRow("no table") << ""
                                  << ""
                                  << "Select Distinct Trim(rdb$field_name) As Name From "
                                     "rdb$relation_fields Where (not rdb$relation_name Like "
                                     "'RDB$%') Order By rdb$field_name";
        QTest::newRow("table") << " stock_balance "
                               << ""
                               << "Select Trim(rdb$field_name) As Name From rdb$relation_fields "
                                  "Where (not rdb$relation_name Like 'RDB$%') and "
                                  "(Upper(Trim(rdb$relation_name)) = 'STOCK_BALANCE') Order By "
                                  "rdb$field_name";
        QTest::newRow("table and other choice")
            << "Stock_Balance"
            << "Quantity"
            << "Select Trim(rdb$field_name) As Name From rdb$relation_fields Where (not "
               "rdb$relation_name Like 'RDB$%') and (Upper(Trim(rdb$relation_name)) = "
               "'STOCK_BALANCE') and (Upper(Trim(rdb$field_name)) <> 'QUANTITY') Order By "
               "rdb$field_name";
        QTest::newRow("other choice only")
            << ""
            << "Partno"
            << "Select Distinct Trim(rdb$field_name) As Name From rdb$relation_fields Where (not "
               "rdb$relation_name Like 'RDB$%') and (Upper(Trim(rdb$field_name)) <> 'PARTNO') "
               "Order By rdb$field_name";
        QTest::newRow("quotes doubled")
            << "q'tab"
            << "it'em"
            << "Select Trim(rdb$field_name) As Name From rdb$relation_fields Where (not "
               "rdb$relation_name Like 'RDB$%') and (Upper(Trim(rdb$relation_name)) = "
               "'Q''TAB') and (Upper(Trim(rdb$field_name)) <> 'IT''EM') Order By rdb$field_name";
    }
    void buildsFieldListStatement() {
        QFETCH(QString, table);
        QFETCH(QString, other);
        QFETCH(QString, statement);
        QCOMPARE(TfrmAdSetReceiver::FieldListStatement(table, other), statement);
    }

    void showsTheDialogAsBuilt() {
        TfrmAdSetReceiver dialog(&fixture_->Owner, fixture_->Prompts);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Дополнительные настройки приемника"));
        const QList<QPair<const char*, QString>> labels = {
            {"labReceiver_Name_Table", "Название таблицы"},
            {"labReceiver_Key_Field", "Ключевое поле"},
            {"labReceiver_Name_Updated_Field", "Поле с данными"}};
        for (const auto& [name, caption] : labels) {
            auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
            QVERIFY2(label, name);
            QCOMPARE(label->text(), caption);
        }
        for (const char* name : {"dbName_Table", "dbKey_Field", "dbName_Updated_Field"})
            QVERIFY2(Box(dialog, name)->isEditable(), name);
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("BitBtnOk"));
        auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("BitBtnCancel"));
        QVERIFY(ok && cancel);
        QCOMPARE(ok->text(), QStringLiteral("Сохранить"));
        QCOMPARE(cancel->text(), QStringLiteral("Отменить"));
        QVERIFY(!ok->icon().isNull());
        QVERIFY(!cancel->icon().isNull());
        QVERIFY(ok->isDefault());
        QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
        dialog.show();
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    }

    void listsTablesCapitalised_data() {
        QTest::addColumn<bool>("lowerCaseDriver");
        QTest::newRow("driver as written") << false;
        QTest::newRow("driver in lower case") << true;
    }
    void listsTablesCapitalised() {
        QFETCH(bool, lowerCaseDriver);
        QString connectionString = receiverString_;
        if (lowerCaseDriver)
            connectionString.replace(QStringLiteral("Driver=Firebird/InterBase(r) driver"),
                                     QStringLiteral("driver=firebird/interbase(r) driver"));
        AddReceiver(connectionString, "Stock_Balance", "Partno", "Quantity");
        RunCommand([](TfrmAdSetReceiver& dialog) {
            DropDownComboBox* table = Box(dialog, "dbName_Table");
            [&] {
                QCOMPARE(table->Items(), QStringList({"Parts", "Q'tab", "Stock_Balance"}));
                QCOMPARE(table->Text(), QStringLiteral("Stock_Balance"));
                QCOMPARE(Box(dialog, "dbKey_Field")->Text(), QStringLiteral("Partno"));
                QCOMPARE(Box(dialog, "dbName_Updated_Field")->Text(), QStringLiteral("Quantity"));
                for (const char* name : {"dbName_Table", "dbKey_Field", "dbName_Updated_Field"})
                    QVERIFY2(Box(dialog, name)->DropDownEnabled(), name);
            }();
            return int(QDialog::Rejected);
        });
        QVERIFY(!QTest::currentTestFailed());
    }

    void keyAndValueListsExcludeEachOther() {
        AddReceiver(receiverString_, "Stock_Balance", "Partno", "Quantity");
        QStringList keyList, valueList, keyListWithoutValue;
        RunCommand([&](TfrmAdSetReceiver& dialog) {
            keyList = DroppedList(Box(dialog, "dbKey_Field"));
            valueList = DroppedList(Box(dialog, "dbName_Updated_Field"));
            Box(dialog, "dbName_Updated_Field")->SetText(QString());
            keyListWithoutValue = DroppedList(Box(dialog, "dbKey_Field"));
            return int(QDialog::Rejected);
        });
        QCOMPARE(keyList, QStringList({"Partno", "Place"}));
        QCOMPARE(valueList, QStringList({"Place", "Quantity"}));
        QCOMPARE(keyListWithoutValue, QStringList({"Partno", "Place", "Quantity"}));
    }

    void emptyTableOffersEachFieldOnce() {
        AddReceiver(receiverString_);
        QStringList keyList;
        RunCommand([&](TfrmAdSetReceiver& dialog) {
            keyList = DroppedList(Box(dialog, "dbKey_Field"));
            return int(QDialog::Rejected);
        });
        for (const char* field : {"Code", "It'em", "Name", "Partno", "Place", "Quantity"})
            QVERIFY2(keyList.count(QString::fromLatin1(field)) == 1, field);
        QCOMPARE(keyList.removeDuplicates(), 0);
    }

    void choosingTableKeepsOnlyItsFields_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("startKey");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("key missing, value kept") << "Stock_Balance"
                                                 << "Code"
                                                 << ""
                                                 << "Quantity";
        QTest::newRow("value missing, key kept") << "Parts"
                                                 << "Code"
                                                 << "Code"
                                                 << "";
        QTest::newRow("empty key stays empty") << "Q'tab"
                                               << ""
                                               << ""
                                               << "Quantity";
    }
    void choosingTableKeepsOnlyItsFields() {
        QFETCH(QString, chosen);
        QFETCH(QString, startKey);
        QFETCH(QString, key);
        QFETCH(QString, value);
        AddReceiver(receiverString_, "Parts", startKey, "Quantity");
        RunCommand([&](TfrmAdSetReceiver& dialog) {
            ChooseFromList(Box(dialog, "dbName_Table"), chosen);
            return Accept(dialog);
        });
        QCOMPARE(Shown(kTable), chosen);
        QCOMPARE(Shown(kKey), key);
        QCOMPARE(Shown(kValue), value);
    }

    void typingTableLeavesBoxesAlone() {
        AddReceiver(receiverString_, "Stock_Balance", "Partno", "Quantity");
        QStringList keyList;
        bool listOpened = false;
        RunCommand([&](TfrmAdSetReceiver& dialog) {
            listOpened = TypeInto(Box(dialog, "dbName_Table"), QStringLiteral("Parts"));
            keyList = DroppedList(Box(dialog, "dbKey_Field"));
            return Accept(dialog);
        });
        QVERIFY(listOpened);
        QCOMPARE(Shown(kTable), QStringLiteral("Parts"));
        QCOMPARE(Shown(kKey), QStringLiteral("Partno"));
        QCOMPARE(Shown(kValue), QStringLiteral("Quantity"));
        QCOMPARE(keyList, QStringList({"Code", "Name", "Partno"}));
    }

    void quotesInTypedNamesStayLiterals_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("valueList");
        QTest::newRow("table with a quote") << "q'tab" << QStringList({"It'em", "Quantity"});
        QTest::newRow("injection") << "Stock_Balance') Or ('1'='1" << QStringList();
        QTest::newRow("lone quote") << "'" << QStringList();
    }
    void quotesInTypedNamesStayLiterals() {
        QFETCH(QString, typed);
        QFETCH(QStringList, valueList);
        AddReceiver(receiverString_, QString(), "x'y", QString());
        QStringList dropped;
        RunCommand([&](TfrmAdSetReceiver& dialog) {
            TypeInto(Box(dialog, "dbName_Table"), typed);
            dropped = DroppedList(Box(dialog, "dbName_Updated_Field"));
            return int(QDialog::Rejected);
        });
        QCOMPARE(dropped, valueList);
    }

    void unreachableOrForeignStringsHideLists_data() {
        QTest::addColumn<QString>("connectionString");
        QTest::newRow("SQLite through ODBC")
            << databases_.CreateSqlite(QStringLiteral("not-firebird"));
        QTest::newRow("missing Firebird file")
            << QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;UID=SYSDBA;PWD=x")
                   .arg(databases_.Folder() + QStringLiteral("/missing.fdb"));
        QTest::newRow("no server on the port")
            << QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=127.0.0.1/1:/x.fdb;"
                              "UID=SYSDBA;PWD=x");
    }
    void unreachableOrForeignStringsHideLists() {
        QFETCH(QString, connectionString);
        AddReceiver(connectionString, "Old_Table", "Old_Key", "Old_Value");
        fixture_->RemoveSettings();
        QList<bool> dropDowns;
        RunCommand([&](TfrmAdSetReceiver& dialog) {
            for (const char* name : {"dbName_Table", "dbKey_Field", "dbName_Updated_Field"}) {
                DropDownComboBox* box = Box(dialog, name);
                dropDowns.append(box->DropDownEnabled());
                box->showPopup();
                dropDowns.append(box->view()->isVisible());
            }
            dropDowns.append(TypeInto(Box(dialog, "dbName_Table"), QStringLiteral("Balances")));
            dropDowns.append(TypeInto(Box(dialog, "dbKey_Field"), QStringLiteral("Item")));
            dropDowns.append(
                TypeInto(Box(dialog, "dbName_Updated_Field"), QStringLiteral("Amount")));
            return Accept(dialog);
        });
        QCOMPARE(dropDowns, QList<bool>(9, false));
        QVERIFY(fixture_->Prompts.Messages().isEmpty());
        QCOMPARE(Shown(kTable), QStringLiteral("Balances"));
        QCOMPARE(Shown(kKey), QStringLiteral("Item"));
        QCOMPARE(Shown(kValue), QStringLiteral("Amount"));
        QVERIFY(fixture_->ReadSettings().contains("Balances"));
    }

    void boxesWithoutListsDrawNoButton() {
        AddReceiver(QStringLiteral("Dbname=/nonexistent/r.fdb"));
        QStringList drawnButtons;
        RunCommand([&](TfrmAdSetReceiver& dialog) {
            for (const char* name : {"dbName_Table", "dbKey_Field", "dbName_Updated_Field"}) {
                DropDownComboBox* box = Box(dialog, name);
                const QImage image = box->grab().toImage();
                const QColor field = box->lineEdit()->palette().color(QPalette::Base);
                // Where the button would be, the empty text field goes on.
                for (int x = image.width() - 24; x < image.width() - 6; ++x) {
                    if (image.pixelColor(x, image.height() / 2) != field) {
                        drawnButtons.append(name);
                        break;
                    }
                }
            }
            return int(QDialog::Rejected);
        });
        QCOMPARE(drawnButtons, QStringList());
    }

    void waitingOnTheDatabaseLeavesTheDialogLive_data() {
        QTest::addColumn<bool>("closeWhileWaiting");
        QTest::newRow("closed while the connect waits") << true;
        QTest::newRow("the connect fails later") << false;
    }
    void waitingOnTheDatabaseLeavesTheDialogLive() {
        QFETCH(bool, closeWhileWaiting);
        SilentServer silent(std::chrono::seconds(20));
        AddReceiver(silent.FirebirdConnectionString(), "Old_Table", "Old_Key", "Old_Value");
        ResponsivenessProbe probe;
        probe.Start();
        QElapsedTimer clock;
        clock.start();
        QList<bool> busy;
        QList<bool> dropDowns;
        qint64 closedAt = 0;
        RunCommand(
            [&](TfrmAdSetReceiver& dialog) {
                QTest::qWait(1000);
                busy.append(dialog.cursor().shape() == Qt::BusyCursor);
                for (const char* name : {"dbName_Table", "dbKey_Field", "dbName_Updated_Field"})
                    dropDowns.append(Box(dialog, name)->DropDownEnabled());
                if (!closeWhileWaiting) {
                    silent.Release();
                    Settle(&dialog);
                    busy.append(dialog.cursor().shape() == Qt::BusyCursor);
                    for (const char* name : {"dbName_Table", "dbKey_Field", "dbName_Updated_Field"})
                        dropDowns.append(Box(dialog, name)->DropDownEnabled());
                }
                TypeInto(Box(dialog, "dbName_Table"), QStringLiteral("Balances"));
                closedAt = clock.elapsed();
                return Accept(dialog);
            },
            false, QStringLiteral("База данных"), false);
        probe.Stop();
        const qint64 closingTook = clock.elapsed() - closedAt;
        QVERIFY2(probe.WorstLateness() <= 50, qPrintable(QString::number(probe.WorstLateness())));
        QCOMPARE(busy, (closeWhileWaiting ? QList<bool>{true} : QList<bool>{true, false}));
        QCOMPARE(dropDowns, QList<bool>(closeWhileWaiting ? 3 : 6, false));
        QVERIFY2(closingTook < 1000, qPrintable(QString::number(closingTook)));
        QCOMPARE(Shown(kTable), QStringLiteral("Balances"));
        QVERIFY(fixture_->Prompts.Messages().isEmpty());
        // A connect still under way ends with nobody left to tell.
        silent.Release();
        QTest::qWait(100);
    }

    void okOnBrowsingRowPostsAndSaves() {
        AddReceiver(receiverString_, "Stock_Balance", "Partno", "Quantity");
        fixture_->RemoveSettings();
        RunCommand(&ReceiverDialogTest::Accept);
        QCOMPARE(Receiver().State(), RecordSetState::Browse);
        const QByteArray settings = fixture_->ReadSettings();
        QVERIFY(settings.contains("Stock_Balance"));
        QVERIFY(settings.contains("Quantity"));
        // The post masked the password again.
        QVERIFY(!Shown(Fields::Receiver::Connection_String)
                     .contains(DatabaseFixtures::SysdbaPassword()));
    }

    void editedRowReceivesValuesWithoutPost_data() {
        QTest::addColumn<bool>("inserting");
        QTest::newRow("row being edited") << false;
        QTest::newRow("new row") << true;
    }
    void editedRowReceivesValuesWithoutPost() {
        QFETCH(bool, inserting);
        AddReceiver(receiverString_, "Parts", "Partno", "Code");
        if (inserting) {
            Receiver().Insert();
            Receiver()
                .FieldByName(Fields::Receiver::Connection_String)
                .SetAsString(receiverString_);
        } else {
            Receiver().Edit();
        }
        fixture_->RemoveSettings();
        RunCommand([](TfrmAdSetReceiver& dialog) {
            ChooseFromList(Box(dialog, "dbName_Table"), QStringLiteral("Stock_Balance"));
            Box(dialog, "dbName_Updated_Field")->SetText(QStringLiteral("Quantity"));
            return Accept(dialog);
        });
        QCOMPARE(Receiver().State(), inserting ? RecordSetState::Insert : RecordSetState::Edit);
        QCOMPARE(Shown(kTable), QStringLiteral("Stock_Balance"));
        QCOMPARE(Shown(kKey), inserting ? QString() : QStringLiteral("Partno"));
        QCOMPARE(Shown(kValue), QStringLiteral("Quantity"));
        QVERIFY(!fixture_->SettingsWritten());
    }

    void lockedOpeningShowsValuesOnly() {
        AddReceiver(receiverString_, "Stock_Balance", "Partno", "Quantity");
        fixture_->RemoveSettings();
        QStringList tables, keyList;
        QList<bool> readOnly;
        bool okEnabled = true;
        RunCommand(
            [&](TfrmAdSetReceiver& dialog) {
                for (const char* name : {"dbName_Table", "dbKey_Field", "dbName_Updated_Field"}) {
                    HintLineEdit* editor = Box(dialog, name)->Editor();
                    readOnly.append(editor->isReadOnly());
                    readOnly.append(editor->palette().color(QPalette::Base) ==
                                    editor->palette().color(QPalette::Button));
                }
                okEnabled = dialog.OkButton()->isEnabled();
                tables = Box(dialog, "dbName_Table")->Items();
                ChooseFromList(Box(dialog, "dbName_Table"), QStringLiteral("Parts"));
                keyList = DroppedList(Box(dialog, "dbKey_Field"));
                QTest::keyClick(&dialog, Qt::Key_Return);
                return dialog.result();
            },
            true);
        QCOMPARE(readOnly, QList<bool>(6, true));
        QVERIFY(!okEnabled);
        QCOMPARE(tables, QStringList({"Parts", "Q'tab", "Stock_Balance"}));
        QCOMPARE(keyList, QStringList({"Partno", "Place"}));
        QCOMPARE(Shown(kTable), QStringLiteral("Stock_Balance"));
        QVERIFY(!fixture_->SettingsWritten());
    }

    void emptyTypeOpensNothing() {
        AddReceiver(receiverString_, "Stock_Balance", "Partno", "Quantity");
        bool ran = false;
        RunCommand(
            [&](TfrmAdSetReceiver&) {
                ran = true;
                return int(QDialog::Rejected);
            },
            false, QString());
        QVERIFY(!ran);
        QCOMPARE(fixture_->Prompts.Messages().size(), 1);
        const ScriptedPrompts::Shown& shown = fixture_->Prompts.Messages().first();
        QCOMPARE(shown.Text, QStringLiteral("Для отображения данных настроек сначала заполните "
                                            "поле \"Тип подключения\"."));
        QCOMPARE(shown.Kind, DialogKind::Information);
        QCOMPARE(shown.Buttons, DialogButtons({DialogButton::Ok}));
        QVERIFY(!shown.SystemBox);
    }

    void modalDialogAnswersEnterAndEscape_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("Enter saves") << int(Qt::Key_Return) << "Place";
        QTest::newRow("Escape cancels") << int(Qt::Key_Escape) << "Quantity";
    }
    void modalDialogAnswersEnterAndEscape() {
        QFETCH(int, key);
        QFETCH(QString, stored);
        AddReceiver(receiverString_, "Stock_Balance", "Partno", "Quantity");
        QTimer::singleShot(0, this, [key] {
            auto* dialog = qobject_cast<TfrmAdSetReceiver*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            Box(*dialog, "dbName_Updated_Field")->SetText(QStringLiteral("Place"));
            QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key(key));
        });
        ReceiverSettingsCommand(&fixture_->Owner, Receiver(), fixture_->Service, fixture_->Prompts)
            .Execute(false, QStringLiteral("База данных"),
                     Shown(Fields::Receiver::Connection_String));
        QCOMPARE(Shown(kValue), stored);
        QVERIFY(fixture_->Owner.findChildren<QDialog*>().isEmpty());
    }
};

QTEST_MAIN(ReceiverDialogTest)
#include "ReceiverDialogTest.moc"

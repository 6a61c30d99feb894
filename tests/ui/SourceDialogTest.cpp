#include "PastedText.h"
#include "core/TableFields.h"
#include "support/SettingsServiceFixture.h"
#include "ui/HintLineEdit.h"
#include "ui/SourceSettingsCommand.h"
#include "ui/TfrmAdSetSource1C.h"
#include "ui/TfrmAdSetSourceSql.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
const QString kQuery = Fields::Source::SQL_Query;
const QString kDocking = Fields::Source::Name_Docking_Field;
const QString kUpdated = Fields::Source::Name_Updated_Field;
const QString kParameter = Fields::Source::CustomParameter;
const QString kTypeText = QStringLiteral("SQL");
} // namespace

class SourceDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SettingsServiceFixture> fixture_;

    RecordSet& Source() { return fixture_->Dm.Source; }
    QString Shown(const QString& field) { return Source().FieldByName(field).AsString(); }

    // A posted source row with settings of both kinds.
    void AddSource(int type) {
        Source().Insert();
        Source().FieldByName(Fields::Source::Name_Source).SetAsString("Склад");
        Source().FieldByName(Fields::Source::Id_Connection_Types).SetAsInteger(type);
        Source().FieldByName(Fields::Source::Connection_String).SetAsString("Driver=SQLite3");
        Source().FieldByName(kQuery).SetAsString("select Code, Qty from Stock");
        Source().FieldByName(kDocking).SetAsString("Code");
        Source().FieldByName(kUpdated).SetAsString("Qty");
        Source().FieldByName(kParameter).SetAsString("Main");
        Source().Post();
    }
    // Runs the command; drive works on the shown dialog and gives its result.
    void RunCommand(int type, const std::function<int(SettingsDialog&)>& drive, bool locked = false,
                    const QString& typeText = kTypeText) {
        SourceSettingsCommand command(&fixture_->Owner, Source(), fixture_->Prompts,
                                      [&](SettingsDialog& dialog) {
                                          dialog.show();
                                          return drive(dialog);
                                      });
        command.Execute(locked, typeText, type);
    }
    static HintLineEdit* Editor(QDialog& dialog, const char* name) {
        auto* editor = dialog.findChild<HintLineEdit*>(QString::fromLatin1(name));
        Q_ASSERT(editor);
        return editor;
    }
    // Key by key, also letters that have no key of their own on a Latin keyboard.
    static void Type(QDialog& dialog, const char* name, const QString& text) {
        HintLineEdit* editor = Editor(dialog, name);
        editor->clear();
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    static int Accept(SettingsDialog& dialog) {
        dialog.OkButton()->click();
        return dialog.result();
    }

private Q_SLOTS:
    void init() { fixture_ = std::make_unique<SettingsServiceFixture>(); }
    void cleanup() { fixture_.reset(); }

    void typeChoosesTheDialog_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("sql");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("values");
        const QStringList sqlLabels = {"labSource_SQL_Query", "labdbedtSource_Name_Docking_Field",
                                       "labSource_Name_Updated_Field"};
        const QStringList sqlCaptions = {"SQL запрос", "Ключевое поле", "Поле с данными"};
        const QStringList sqlValues = {"select Code, Qty from Stock", "Code", "Qty"};
        QTest::newRow("type 1: SQL") << 1 << true << sqlLabels << sqlCaptions << sqlValues;
        for (int type : {3, 2, 6, 0})
            QTest::addRow("type %d: 1C", type)
                << type << false << QStringList({"labSource_CustomParameter"})
                << QStringList({"Пользов. параметр"}) << QStringList({"Main"});
    }
    void typeChoosesTheDialog() {
        QFETCH(int, type);
        QFETCH(bool, sql);
        QFETCH(QStringList, labels);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, values);
        AddSource(type);
        bool rightKind = false;
        QString title;
        QStringList shownCaptions, shownValues, buttons;
        RunCommand(type, [&](SettingsDialog& dialog) {
            rightKind = sql ? qobject_cast<TfrmAdSetSourceSql*>(&dialog) != nullptr
                            : qobject_cast<TfrmAdSetSource1C*>(&dialog) != nullptr;
            title = dialog.windowTitle();
            for (const QString& name : labels) {
                auto* label = dialog.findChild<QLabel*>(name);
                shownCaptions.append(label ? label->text() : QStringLiteral("<missing>"));
                shownValues.append(label ? qobject_cast<QLineEdit*>(label->buddy())->text()
                                         : QString());
            }
            for (const char* name : {"BitBtnOk", "BitBtnCancel"})
                buttons.append(dialog.findChild<QPushButton*>(QString::fromLatin1(name))->text());
            return int(QDialog::Rejected);
        });
        QVERIFY(rightKind);
        QCOMPARE(title, QStringLiteral("Дополнительные настройки источника"));
        QCOMPARE(shownCaptions, captions);
        QCOMPARE(shownValues, values);
        QCOMPARE(buttons, QStringList({"Сохранить", "Отменить"}));
        QCOMPARE(Shown(kQuery), QStringLiteral("select Code, Qty from Stock"));
        QCOMPARE(Shown(kParameter), QStringLiteral("Main"));
    }

    void sqlDialogStoresWhatWasTyped_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("semicolons") << "select a;b from t where c = ';';"
                                    << "a;b"
                                    << "q;";
        QTest::newRow("empty values") << ""
                                      << ""
                                      << "";
        QTest::newRow("blanks kept") << " select 1 "
                                     << " Code"
                                     << "Qty ";
    }
    void sqlDialogStoresWhatWasTyped() {
        QFETCH(QString, query);
        QFETCH(QString, key);
        QFETCH(QString, value);
        AddSource(1);
        fixture_->RemoveSettings();
        RunCommand(1, [&](SettingsDialog& dialog) {
            Type(dialog, "dbedtSQL_Query", query);
            Type(dialog, "dbedtName_Docking_Field", key);
            Type(dialog, "dbedtName_Updated_Field", value);
            return Accept(dialog);
        });
        QCOMPARE(Source().State(), RecordSetState::Browse);
        QCOMPARE(Shown(kQuery), query);
        QCOMPARE(Shown(kDocking), key);
        QCOMPARE(Shown(kUpdated), value);
        QCOMPARE(Shown(kParameter), QString());
        QVERIFY(fixture_->SettingsWritten());
    }

    void oneCDialogEmptiesTheSqlSettings() {
        AddSource(3);
        fixture_->RemoveSettings();
        RunCommand(3, [](SettingsDialog& dialog) {
            Type(dialog, "dbedtCustomParameter", QStringLiteral("Склад №2"));
            return Accept(dialog);
        });
        QCOMPARE(Shown(kParameter), QStringLiteral("Склад №2"));
        for (const QString& field : {kQuery, kDocking, kUpdated})
            QCOMPARE(Shown(field), QString());
        QVERIFY(fixture_->ReadSettings().contains(QStringLiteral("Склад №2").toUtf8()));
    }

    void longTextIsCutOnlyWhenStored_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("user parameter") << 3 << "dbedtCustomParameter" << kParameter << 60 << 50;
        QTest::newRow("query") << 1 << "dbedtSQL_Query" << kQuery << 600 << 500;
        QTest::newRow("key field") << 1 << "dbedtName_Docking_Field" << kDocking << 250 << 200;
    }
    void longTextIsCutOnlyWhenStored() {
        QFETCH(int, type);
        QFETCH(QString, editor);
        QFETCH(QString, field);
        QFETCH(int, typed);
        QFETCH(int, stored);
        AddSource(type);
        QString text;
        for (int i = 0; text.size() < typed; ++i)
            text += QString::number(i % 10);
        qsizetype held = 0;
        QString toolTip;
        RunCommand(type, [&](SettingsDialog& dialog) {
            HintLineEdit* box = Editor(dialog, qPrintable(editor));
            box->clear();
            QTest::keyClicks(box, text);
            held = box->text().size();
            toolTip = box->toolTip();
            return Accept(dialog);
        });
        QCOMPARE(held, qsizetype(typed));
        QCOMPARE(toolTip, text);
        QCOMPARE(Shown(field), text.left(stored));
    }

    void toolTipOnlyWhenTextDoesNotFit() {
        TfrmAdSetSourceSql dialog(&fixture_->Owner, fixture_->Prompts);
        dialog.show();
        HintLineEdit* editor = Editor(dialog, "dbedtSQL_Query");
        editor->setText(QStringLiteral("select 1"));
        QVERIFY(editor->TextFits());
        QCOMPARE(editor->toolTip(), QString());
        const QString longQuery = QStringLiteral("select Code, Qty from Stock where ").repeated(5);
        editor->setText(longQuery);
        QVERIFY(!editor->TextFits());
        QCOMPARE(editor->toolTip(), longQuery);
    }

    void editedRowReceivesValuesWithoutPost_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("inserting");
        QTest::newRow("SQL, new row") << 1 << true;
        QTest::newRow("SQL, row being edited") << 1 << false;
        QTest::newRow("1C, new row") << 4 << true;
        QTest::newRow("1C, row being edited") << 4 << false;
    }
    void editedRowReceivesValuesWithoutPost() {
        QFETCH(int, type);
        QFETCH(bool, inserting);
        AddSource(type);
        if (inserting)
            Source().Insert();
        else
            Source().Edit();
        fixture_->RemoveSettings();
        RunCommand(type, [&](SettingsDialog& dialog) {
            Type(dialog, type == 1 ? "dbedtName_Updated_Field" : "dbedtCustomParameter",
                 QStringLiteral("Typed"));
            return Accept(dialog);
        });
        QCOMPARE(Source().State(), inserting ? RecordSetState::Insert : RecordSetState::Edit);
        QCOMPARE(Shown(type == 1 ? kUpdated : kParameter), QStringLiteral("Typed"));
        QCOMPARE(Shown(type == 1 ? kParameter : kUpdated), QString());
        QVERIFY(!fixture_->SettingsWritten());
    }

    void okWithUnchangedValuesSavesAgain_data() {
        QTest::addColumn<int>("type");
        QTest::newRow("SQL") << 1;
        QTest::newRow("1C") << 5;
    }
    void okWithUnchangedValuesSavesAgain() {
        QFETCH(int, type);
        AddSource(type);
        fixture_->RemoveSettings();
        RunCommand(type, &SourceDialogTest::Accept);
        QCOMPARE(Source().State(), RecordSetState::Browse);
        QVERIFY(fixture_->SettingsWritten());
    }

    void lockedOpeningShowsValuesOnly_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("editors");
        QTest::newRow("SQL") << 1 << 3;
        QTest::newRow("1C") << 2 << 1;
    }
    void lockedOpeningShowsValuesOnly() {
        QFETCH(int, type);
        QFETCH(int, editors);
        AddSource(type);
        fixture_->RemoveSettings();
        QList<bool> locked;
        bool okEnabled = true;
        RunCommand(
            type,
            [&](SettingsDialog& dialog) {
                for (HintLineEdit* editor : dialog.findChildren<HintLineEdit*>()) {
                    locked.append(editor->isReadOnly());
                    locked.append(editor->palette().color(QPalette::Base) ==
                                  editor->palette().color(QPalette::Button));
                    QTest::keyClicks(editor, QStringLiteral("x"));
                }
                okEnabled = dialog.OkButton()->isEnabled();
                QTest::keyClick(&dialog, Qt::Key_Return);
                return dialog.result();
            },
            true);
        QCOMPARE(locked, QList<bool>(2 * editors, true));
        QVERIFY(!okEnabled);
        QCOMPARE(Shown(kQuery), QStringLiteral("select Code, Qty from Stock"));
        QCOMPARE(Shown(kParameter), QStringLiteral("Main"));
        QVERIFY(!fixture_->SettingsWritten());
    }

    void textNoFieldKeepsIsRefusedInTheDialog_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::newRow("query, backquote") << 1 << "dbedtSQL_Query"
                                          << "SQL запрос"
                                          << "select `Code`, Qty from Stock";
        QTest::newRow("key field, line feed") << 1 << "dbedtName_Docking_Field"
                                              << "Ключевое поле"
                                              << "Co\nde";
        QTest::newRow("value field, carriage return") << 1 << "dbedtName_Updated_Field"
                                                      << "Поле с данными"
                                                      << "Qty\r";
        QTest::newRow("user parameter, backquote") << 3 << "dbedtCustomParameter"
                                                   << "Пользов. параметр"
                                                   << "Main`";
    }
    void textNoFieldKeepsIsRefusedInTheDialog() {
        QFETCH(int, type);
        QFETCH(QString, editor);
        QFETCH(QString, caption);
        QFETCH(QString, text);
        AddSource(type);
        fixture_->RemoveSettings();
        PastedText pasted;
        RunCommand(type, [&](SettingsDialog& dialog) {
            return pasted.ConfirmIn(dialog, *Editor(dialog, qPrintable(editor)), text);
        });
        QCOMPARE(fixture_->Prompts.Texts(), PastedText::Refusal(caption));
        QCOMPARE(fixture_->Prompts.Messages().first().Kind, DialogKind::Warning);
        QVERIFY(pasted.StayedOpen);
        QCOMPARE(pasted.Kept, text);
        QCOMPARE(Source().State(), RecordSetState::Browse);
        QCOMPARE(Shown(kQuery), QStringLiteral("select Code, Qty from Stock"));
        QVERIFY(!fixture_->SettingsWritten());
    }

    void emptyTypeOpensNothing() {
        AddSource(1);
        bool ran = false;
        RunCommand(
            1,
            [&](SettingsDialog&) {
                ran = true;
                return int(QDialog::Accepted);
            },
            false, QString());
        QVERIFY(!ran);
        QCOMPARE(fixture_->Prompts.Texts(),
                 QStringList({"Для отображения данных настроек сначала заполните поле \"Тип "
                              "подключения\"."}));
        QCOMPARE(fixture_->Prompts.Messages().first().Kind, DialogKind::Information);
        QCOMPARE(fixture_->Prompts.Messages().first().Buttons, DialogButtons({DialogButton::Ok}));
    }

    void modalDialogAnswersEnterAndEscape_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("Enter saves") << int(Qt::Key_Return) << "Other";
        QTest::newRow("Escape cancels") << int(Qt::Key_Escape) << "Main";
    }
    void modalDialogAnswersEnterAndEscape() {
        QFETCH(int, key);
        QFETCH(QString, stored);
        AddSource(3);
        QTimer::singleShot(0, this, [key] {
            auto* dialog = qobject_cast<TfrmAdSetSource1C*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            Type(*dialog, "dbedtCustomParameter", QStringLiteral("Other"));
            QTest::keyClick(Editor(*dialog, "dbedtCustomParameter"), Qt::Key(key));
        });
        SourceSettingsCommand(&fixture_->Owner, Source(), fixture_->Prompts)
            .Execute(false, QStringLiteral("1С"), 3);
        QCOMPARE(Shown(kParameter), stored);
        QVERIFY(fixture_->Owner.findChildren<QDialog*>().isEmpty());
    }
};

QTEST_MAIN(SourceDialogTest)
#include "SourceDialogTest.moc"

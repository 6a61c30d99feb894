#include "ui/WidgetPrompts.h"
#include "ui/QtTranslations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(DialogKind)
Q_DECLARE_METATYPE(DialogButtons)
Q_DECLARE_METATYPE(DialogButton)

namespace {

QStringList Captions(const QMessageBox& box) {
    QStringList captions;
    for (QAbstractButton* button : box.buttons())
        captions << button->text();
    // The style lays the buttons out by their roles.
    captions.sort();
    return captions;
}

QString Caption(const QAbstractButton* button) {
    return button != nullptr ? button->text() : QString();
}

// Answers the next modal box by clicking its button with the given caption, or by Escape.
void AnswerNextBox(const QString& caption) {
    QTimer::singleShot(
        0,
        [caption] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            if (caption.isEmpty()) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == caption) {
                    button->click();
                    return;
                }
            }
            QFAIL("no such button");
        });
}

} // namespace

// The message boxes the operator sees: titles, icons, buttons and texts, and the answers.
class WidgetPromptsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void messageDlgBox_data();
    void messageDlgBox();
    void systemMessageBoxHasCaptionAndNoIcon();
    void carriageReturnsBreakLines();
    void textIsShownAsWritten();
    void answersAreTheClickedButtons_data();
    void answersAreTheClickedButtons();
    void buttonsFollowTheSystemLanguage();
};

void WidgetPromptsTest::messageDlgBox_data() {
    QTest::addColumn<DialogKind>("kind");
    QTest::addColumn<DialogButtons>("buttons");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QString>("defaultCaption");
    QTest::addColumn<QString>("escapeCaption");
    QTest::newRow("warning with Yes")
        << DialogKind::Warning << DialogButtons{DialogButton::Yes} << "Warning"
        << int(QMessageBox::Warning) << QStringList{"&Yes"} << "&Yes"
        << "&Yes";
    QTest::newRow("information with Yes")
        << DialogKind::Information << DialogButtons{DialogButton::Yes} << "Information"
        << int(QMessageBox::Information) << QStringList{"&Yes"} << "&Yes"
        << "&Yes";
    QTest::newRow("confirmation with Yes and No")
        << DialogKind::Confirmation << DialogButtons{DialogButton::Yes, DialogButton::No}
        << "Confirm" << int(QMessageBox::Question) << QStringList{"&No", "&Yes"} << "&Yes"
        << "&No";
    QTest::newRow("error with OK")
        << DialogKind::Error << DialogButtons{DialogButton::Ok} << "Error"
        << int(QMessageBox::Critical) << QStringList{"OK"} << "OK"
        << "OK";
    QTest::newRow("confirmation with OK and Cancel")
        << DialogKind::Confirmation << DialogButtons{DialogButton::Ok, DialogButton::Cancel}
        << "Confirm" << int(QMessageBox::Question) << QStringList{"Cancel", "OK"} << "OK"
        << "Cancel";
}

void WidgetPromptsTest::messageDlgBox() {
    QFETCH(DialogKind, kind);
    QFETCH(DialogButtons, buttons);
    QFETCH(QString, title);
    QFETCH(int, icon);
    QFETCH(QStringList, captions);
    QFETCH(QString, defaultCaption);
    QFETCH(QString, escapeCaption);
    const std::unique_ptr<QMessageBox> box =
        WidgetPrompts::BuildMessageDlg(QStringLiteral("Удалить приемник?"), kind, buttons);
    QCOMPARE(box->windowTitle(), title);
    QCOMPARE(int(box->icon()), icon);
    QCOMPARE(box->text(), QStringLiteral("Удалить приемник?"));
    QCOMPARE(Captions(*box), captions);
    QCOMPARE(Caption(box->defaultButton()), defaultCaption);
    QCOMPARE(Caption(box->escapeButton()), escapeCaption);
}

void WidgetPromptsTest::systemMessageBoxHasCaptionAndNoIcon() {
    const std::unique_ptr<QMessageBox> box = WidgetPrompts::BuildSystemMessageBox(
        QStringLiteral("Вы подтверждаете сохранение измененных данных?"),
        {DialogButton::Yes, DialogButton::No, DialogButton::Cancel});
    QCOMPARE(box->windowTitle(), QStringLiteral("Сервис синхронизаций"));
    QCOMPARE(box->icon(), QMessageBox::NoIcon);
    QCOMPARE(box->text(), QStringLiteral("Вы подтверждаете сохранение измененных данных?"));
    QCOMPARE(Captions(*box), (QStringList{"&No", "&Yes", "Cancel"}));
    QCOMPARE(Caption(box->defaultButton()), QStringLiteral("&Yes"));
    QCOMPARE(Caption(box->escapeButton()), QStringLiteral("Cancel"));
}

void WidgetPromptsTest::carriageReturnsBreakLines() {
    const std::unique_ptr<QMessageBox> box = WidgetPrompts::BuildMessageDlg(
        QStringLiteral("Первая\rвторая\r\nтретья"), DialogKind::Information, {DialogButton::Yes});
    QCOMPARE(box->text(), QStringLiteral("Первая\nвторая\nтретья"));
}

void WidgetPromptsTest::textIsShownAsWritten() {
    const QString text = QStringLiteral("<b>Driver=Firebird</b> & \"x\"");
    const std::unique_ptr<QMessageBox> box =
        WidgetPrompts::BuildMessageDlg(text, DialogKind::Error, {DialogButton::Ok});
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(box->text(), text);
}

void WidgetPromptsTest::answersAreTheClickedButtons_data() {
    QTest::addColumn<bool>("system");
    QTest::addColumn<DialogButtons>("buttons");
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<DialogButton>("answer");
    const DialogButtons yesNo{DialogButton::Yes, DialogButton::No};
    const DialogButtons yesNoCancel{DialogButton::Yes, DialogButton::No, DialogButton::Cancel};
    QTest::newRow("confirmation Yes") << false << yesNo << "&Yes" << DialogButton::Yes;
    QTest::newRow("confirmation No") << false << yesNo << "&No" << DialogButton::No;
    QTest::newRow("confirmation Escape") << false << yesNo << "" << DialogButton::No;
    QTest::newRow("warning Escape")
        << false << DialogButtons{DialogButton::Yes} << "" << DialogButton::Yes;
    QTest::newRow("system Cancel") << true << yesNoCancel << "Cancel" << DialogButton::Cancel;
    QTest::newRow("system No") << true << yesNoCancel << "&No" << DialogButton::No;
    QTest::newRow("system Escape") << true << yesNoCancel << "" << DialogButton::Cancel;
}

void WidgetPromptsTest::answersAreTheClickedButtons() {
    QFETCH(bool, system);
    QFETCH(DialogButtons, buttons);
    QFETCH(QString, clicked);
    QFETCH(DialogButton, answer);
    WidgetPrompts prompts;
    AnswerNextBox(clicked);
    const DialogButton given =
        system ? prompts.SystemMessageBox(QStringLiteral("Вопрос?"), buttons)
               : prompts.MessageDlg(QStringLiteral("Вопрос?"), DialogKind::Confirmation, buttons);
    QCOMPARE(given, answer);
}

void WidgetPromptsTest::buttonsFollowTheSystemLanguage() {
    const QtTranslations russian(QLocale(QLocale::Russian, QLocale::Russia));
    QVERIFY(russian.Loaded());
    const std::unique_ptr<QMessageBox> box = WidgetPrompts::BuildSystemMessageBox(
        QStringLiteral("Вы подтверждаете сохранение измененных данных?"),
        {DialogButton::Yes, DialogButton::No, DialogButton::Cancel});
    QCOMPARE(Captions(*box), (QStringList{"&Да", "&Нет", "Отмена"}));
    QCOMPARE(box->windowTitle(), QStringLiteral("Сервис синхронизаций"));
    const std::unique_ptr<QMessageBox> error = WidgetPrompts::BuildMessageDlg(
        QStringLiteral("Ошибка"), DialogKind::Error, {DialogButton::Ok});
    QCOMPARE(error->windowTitle(), QStringLiteral("Error"));
}

QTEST_MAIN(WidgetPromptsTest)
#include "WidgetPromptsTest.moc"

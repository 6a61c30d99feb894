#include "ui/WidgetPrompts.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

const char* const kButtonProperty = "dialogButton";

// Qt's own captions of the standard buttons, in the system language once Qt's translations
// are loaded.
QString ButtonCaption(DialogButton button) {
    switch (button) {
    case DialogButton::Yes:
        return QCoreApplication::translate("QPlatformTheme", "&Yes");
    case DialogButton::No:
        return QCoreApplication::translate("QPlatformTheme", "&No");
    case DialogButton::Ok:
        return QCoreApplication::translate("QPlatformTheme", "OK");
    case DialogButton::Cancel:
        return QCoreApplication::translate("QPlatformTheme", "Cancel");
    }
    return {};
}

QMessageBox::ButtonRole ButtonRole(DialogButton button) {
    switch (button) {
    case DialogButton::Yes:
        return QMessageBox::YesRole;
    case DialogButton::No:
        return QMessageBox::NoRole;
    case DialogButton::Ok:
        return QMessageBox::AcceptRole;
    case DialogButton::Cancel:
        return QMessageBox::RejectRole;
    }
    return QMessageBox::InvalidRole;
}

QMessageBox::Icon KindIcon(DialogKind kind) {
    switch (kind) {
    case DialogKind::Warning:
        return QMessageBox::Warning;
    case DialogKind::Information:
        return QMessageBox::Information;
    case DialogKind::Confirmation:
        return QMessageBox::Question;
    case DialogKind::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The first present of the wanted buttons, nullptr when none is.
QPushButton* FirstOf(const QMap<DialogButton, QPushButton*>& present,
                     std::initializer_list<DialogButton> wanted) {
    for (DialogButton button : wanted)
        if (QPushButton* found = present.value(button))
            return found;
    return nullptr;
}

std::unique_ptr<QMessageBox> BuildBox(const QString& title, QMessageBox::Icon icon,
                                      const QString& text, const DialogButtons& buttons,
                                      QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(title);
    box->setIcon(icon);
    box->setTextFormat(Qt::PlainText);
    // Lines of a message are separated by carriage returns.
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    box->setText(lines);
    QMap<DialogButton, QPushButton*> present;
    for (DialogButton button : buttons) {
        if (!present.contains(button)) {
            QPushButton* added = box->addButton(ButtonCaption(button), ButtonRole(button));
            added->setProperty(kButtonProperty, int(button));
            present.insert(button, added);
        }
    }
    QPushButton* fallback = buttons.isEmpty() ? nullptr : present.value(buttons.first());
    if (QPushButton* byDefault = FirstOf(present, {DialogButton::Ok, DialogButton::Yes}))
        box->setDefaultButton(byDefault);
    else if (fallback != nullptr)
        box->setDefaultButton(fallback);
    QPushButton* escape = FirstOf(present, {DialogButton::Cancel, DialogButton::No});
    if (escape == nullptr && present.size() == 1)
        escape = fallback;
    if (escape != nullptr)
        box->setEscapeButton(escape);
    return box;
}

} // namespace

WidgetPrompts::WidgetPrompts(QWidget* parent)
    : parent_(parent) {}

std::unique_ptr<QMessageBox> WidgetPrompts::BuildMessageDlg(const QString& text, DialogKind kind,
                                                            const DialogButtons& buttons,
                                                            QWidget* parent) {
    return BuildBox(DialogTitle(kind), KindIcon(kind), text, buttons, parent);
}

std::unique_ptr<QMessageBox> WidgetPrompts::BuildSystemMessageBox(const QString& text,
                                                                  const DialogButtons& buttons,
                                                                  QWidget* parent) {
    return BuildBox(QStringLiteral("Сервис синхронизаций"), QMessageBox::NoIcon, text, buttons,
                    parent);
}

DialogButton WidgetPrompts::AnswerOf(const QMessageBox& box) {
    const QAbstractButton* answer =
        box.clickedButton() != nullptr ? box.clickedButton() : box.escapeButton();
    if (answer == nullptr)
        answer = box.defaultButton();
    return answer != nullptr ? DialogButton(answer->property(kButtonProperty).toInt())
                             : DialogButton::Cancel;
}

DialogButton WidgetPrompts::MessageDlg(const QString& text, DialogKind kind,
                                       const DialogButtons& buttons) {
    const std::unique_ptr<QMessageBox> box = BuildMessageDlg(text, kind, buttons, parent_);
    box->exec();
    return AnswerOf(*box);
}

DialogButton WidgetPrompts::SystemMessageBox(const QString& text, const DialogButtons& buttons) {
    const std::unique_ptr<QMessageBox> box = BuildSystemMessageBox(text, buttons, parent_);
    box->exec();
    return AnswerOf(*box);
}

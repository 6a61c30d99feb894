#include "ui/SettingsDialog.h"

#include "platform/Prompts.h"
#include "ui/HintLineEdit.h"
#include "ui/widgets/FieldTextValidator.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr int kEditorWidth = 420;
} // namespace

SettingsDialog::SettingsDialog(QWidget* owner, Prompts& prompts)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint)
    , prompts_(prompts)
    , rows_(new QGridLayout)
    , bitBtnOk_(new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                                QStringLiteral("Сохранить"), this))
    , bitBtnCancel_(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                    QStringLiteral("Отменить"), this)) {
    bitBtnOk_->setObjectName(QStringLiteral("BitBtnOk"));
    bitBtnCancel_->setObjectName(QStringLiteral("BitBtnCancel"));
    bitBtnOk_->setDefault(true);
    bitBtnCancel_->setAutoDefault(false);
    connect(bitBtnOk_, &QPushButton::clicked, this, [this] {
        if (!TextsAcceptable())
            return;
        BitBtnOkClick();
        accept();
    });
    connect(bitBtnCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

int SettingsDialog::ShowModal(SettingsDialog& dialog) {
    return dialog.exec();
}

bool SettingsDialog::ConnectionTypeChosen(const QString& typeText, Prompts& prompts) {
    if (!typeText.isEmpty())
        return true;
    prompts.MessageDlg(QStringLiteral("Для отображения данных настроек сначала заполните поле "
                                      "\"Тип подключения\"."),
                       DialogKind::Information, {DialogButton::Ok});
    return false;
}

void SettingsDialog::LockEditing() {
    for (HintLineEdit* editor : findChildren<HintLineEdit*>())
        editor->SetReadOnlyLook();
    bitBtnOk_->setEnabled(false);
    locked_ = true;
}

void SettingsDialog::AddRow(const QString& labelName, const QString& caption, QWidget* editor) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(labelName);
    label->setBuddy(editor);
    editor->setFixedWidth(kEditorWidth);
    auto* text = qobject_cast<HintLineEdit*>(editor);
    if (text == nullptr)
        text = editor->findChild<HintLineEdit*>();
    if (text != nullptr)
        texts_.append({caption, text});
    const int row = rows_->rowCount();
    rows_->addWidget(label, row, 0);
    rows_->addWidget(editor, row, 1);
}

bool SettingsDialog::TextsAcceptable() {
    for (const TextRow& row : std::as_const(texts_)) {
        if (!FieldTextValidator::BreaksLine(row.Editor->text()))
            continue;
        prompts_.MessageDlg(
            QStringLiteral("Поле \"%1\" не может содержать символ \"`\" или перевод строки.")
                .arg(row.Caption),
            DialogKind::Warning, {DialogButton::Yes});
        row.Editor->setFocus();
        return false;
    }
    return true;
}

void SettingsDialog::FinishLayout() {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bitBtnOk_);
    buttons->addWidget(bitBtnCancel_);
    auto* whole = new QVBoxLayout(this);
    whole->addLayout(rows_);
    whole->addLayout(buttons);
    whole->setSizeConstraint(QLayout::SetFixedSize);
}

void SettingsDialog::showEvent(QShowEvent* event) {
    if (!shown_) {
        shown_ = true;
        FormShow();
        if (const QScreen* where = screen())
            move(where->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

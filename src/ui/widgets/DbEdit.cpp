#include "ui/widgets/DbEdit.h"

#include <QToolTip>

DbEdit::DbEdit(QWidget* parent)
    : QLineEdit(parent)
    , link_(*this) {
    setValidator(&validator_);
    connect(&link_, &FieldDataLink::DataChanged, this, &DbEdit::ReadValue);
    connect(&link_, &FieldDataLink::ReadOnlyChanged, this, &QLineEdit::setReadOnly);
    connect(this, &QLineEdit::textEdited, this, &DbEdit::StoreText);
    connect(&validator_, &FieldTextValidator::Refused, this, &DbEdit::ShowRefusal);
}

void DbEdit::ReadValue() {
    if (const FieldDef* def = link_.Def())
        validator_.SetField(*def);
    else
        validator_.ClearField();
    const QString text = link_.Text();
    if (text != this->text()) {
        setText(text);
        // A long connection string shows where it begins, not where it ends.
        setCursorPosition(0);
    }
}

void DbEdit::StoreText(const QString& text) {
    if (!link_.Modify(text))
        ReadValue();
}

void DbEdit::ShowRefusal(const QString& message) {
    QToolTip::showText(mapToGlobal(QPoint(0, height())), message, this);
    Q_EMIT InputRefused(message);
}

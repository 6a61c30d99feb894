#include "ui/widgets/DbNumberEdit.h"

#include <QSignalBlocker>

#include <limits>

DbNumberEdit::DbNumberEdit(QWidget* parent)
    : QSpinBox(parent)
    , link_(*this) {
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    connect(&link_, &FieldDataLink::DataChanged, this, &DbNumberEdit::ReadValue);
    connect(&link_, &FieldDataLink::ReadOnlyChanged, this, &QAbstractSpinBox::setReadOnly);
    connect(this, &QSpinBox::valueChanged, this, &DbNumberEdit::StoreValue);
}

void DbNumberEdit::ReadValue() {
    const QSignalBlocker blocker(this);
    const FieldDef* def = link_.Def();
    if (def != nullptr && def->Type == FieldType::SmallInt)
        setRange(std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max());
    else
        setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    setValue(link_.Value().toInt());
}

void DbNumberEdit::StoreValue(int value) {
    if (!link_.Modify(value))
        ReadValue();
}

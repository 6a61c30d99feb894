#include "ui/widgets/DbCheckBox.h"

#include <QSignalBlocker>

DbCheckBox::DbCheckBox(QWidget* parent)
    : QCheckBox(parent)
    , link_(*this) {
    connect(&link_, &FieldDataLink::DataChanged, this, &DbCheckBox::ReadValue);
    connect(this, &QAbstractButton::clicked, this, &DbCheckBox::StoreState);
}

void DbCheckBox::ReadValue() {
    const QSignalBlocker blocker(this);
    setChecked(link_.Value().toInt() != 0);
}

void DbCheckBox::StoreState(bool checked) {
    if (!link_.Modify(checked ? 1 : 0))
        ReadValue();
}

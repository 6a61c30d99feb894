#include "ui/widgets/FieldDataLink.h"

#include "ui/widgets/DataSource.h"

#include <QComboBox>
#include <QPalette>
#include <QScopedValueRollback>
#include <QWidget>

FieldDataLink::FieldDataLink(QWidget& control)
    : control_(&control) {}

void FieldDataLink::Bind(DataSource* source, const QString& fieldName) {
    disconnect(connection_);
    source_ = source;
    fieldName_ = fieldName;
    if (source_ != nullptr)
        connection_ = connect(source_, &DataSource::Changed, this, &FieldDataLink::SourceChanged);
    Q_EMIT DataChanged();
}

RecordSet* FieldDataLink::DataSet() const {
    return source_ != nullptr ? &source_->DataSet() : nullptr;
}

int FieldDataLink::FieldIndex() const {
    const RecordSet* set = DataSet();
    return set != nullptr ? set->FieldIndex(fieldName_) : -1;
}

const FieldDef* FieldDataLink::Def() const {
    const int index = FieldIndex();
    return index >= 0 ? &DataSet()->FieldDefs()[index] : nullptr;
}

QVariant FieldDataLink::Value() const {
    const int index = FieldIndex();
    return index >= 0 ? Field(*DataSet(), index).Value() : QVariant();
}

QString FieldDataLink::Text() const {
    const int index = FieldIndex();
    return index >= 0 ? Field(*DataSet(), index).AsString() : QString();
}

void FieldDataLink::SetReadOnly(bool readOnly) {
    if (readOnly_ != readOnly) {
        readOnly_ = readOnly;
        Q_EMIT ReadOnlyChanged(readOnly_);
    }
}

void FieldDataLink::SetColor(const QColor& color) {
    QPalette palette = control_->palette();
    palette.setColor(QPalette::Base, color);
    // A closed list box without a text field paints its face as a button.
    if (const auto* box = qobject_cast<const QComboBox*>(control_); box && !box->isEditable())
        palette.setColor(QPalette::Button, color);
    control_->setPalette(palette);
}

bool FieldDataLink::CanModify() const {
    const FieldDef* def = Def();
    return !readOnly_ && def != nullptr && def->Kind == FieldKind::Data && DataSet()->Active();
}

bool FieldDataLink::Edit() {
    if (!CanModify())
        return false;
    RecordSet& set = *DataSet();
    if (!set.IsEditing()) {
        const QScopedValueRollback<bool> guard(modifying_, true);
        set.Edit();
    }
    return true;
}

bool FieldDataLink::Modify(const QVariant& value) {
    if (!Edit())
        return false;
    const QScopedValueRollback<bool> guard(modifying_, true);
    Field(*DataSet(), FieldIndex()).SetValue(value);
    return true;
}

void FieldDataLink::SourceChanged(RecordSetChange change, int fieldIndex) {
    if (modifying_)
        return;
    if (change != RecordSetChange::Field || fieldIndex == FieldIndex() || Def() == nullptr ||
        Def()->Kind != FieldKind::Data)
        Q_EMIT DataChanged();
}

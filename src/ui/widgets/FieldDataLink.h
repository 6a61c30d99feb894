#pragma once

#include "core/RecordSet.h"
#include "ui/widgets/DataSource.h"

#include <QColor>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QVariant>

class QWidget;

// The binding of one control to one field of its data source's current row: reads the value,
// puts the row into edit and stores what the operator changed. Each control owns one.
class FieldDataLink : public QObject {
    Q_OBJECT
public:
    // control: the widget whose colour SetColor paints.
    explicit FieldDataLink(QWidget& control);

    void Bind(DataSource* source, const QString& fieldName);
    DataSource* Source() const { return source_; }
    const QString& FieldName() const { return fieldName_; }
    // The table, nullptr while unbound.
    RecordSet* DataSet() const;
    // The bound field's layout, nullptr while unbound or when the table has no such field.
    const FieldDef* Def() const;

    // The current row's value (the edit buffer while editing); invalid when null or unbound.
    QVariant Value() const;
    // The same as text, dates and times by the regional settings; empty when null or unbound.
    QString Text() const;

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    // Paints the control's editing area, as a locked editor shows the button-face colour;
    // the face of a closed list box is its editing area.
    void SetColor(const QColor& color);

    // Whether the operator may change the field now: bound to a data field of an open table
    // and not read-only.
    bool CanModify() const;
    // Puts the current row into edit (an empty table gets a new row); false when the field may
    // not be changed. The control is not told to re-read meanwhile, so half-typed text stays.
    bool Edit();
    // Edit, then store the value (invalid stores null); false when the field may not be changed.
    bool Modify(const QVariant& value);

Q_SIGNALS:
    // The control must show the value again: the row, the state or this field changed.
    void DataChanged();
    void ReadOnlyChanged(bool readOnly);

private:
    void SourceChanged(RecordSetChange change, int fieldIndex);
    int FieldIndex() const;

    QWidget* control_;
    QPointer<DataSource> source_;
    QString fieldName_;
    QMetaObject::Connection connection_;
    bool readOnly_ = false;
    // Set while this link itself changes the table, so its own control is not overwritten.
    bool modifying_ = false;
};

#pragma once

#include "ui/widgets/FieldDataLink.h"

#include <QComboBox>
#include <QPointer>

#include <functional>

// A lookup box: shows the name of the list table's row whose key equals the bound field and
// stores the key of the row the operator picks. Typing opens the list and searches it by name.
class DbLookupComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit DbLookupComboBox(QWidget* parent = nullptr);

    // The bound field (DataLink) holds keys of the list table's keyField; listField is shown.
    FieldDataLink& DataLink() { return link_; }
    void SetListSource(DataSource* list, const QString& keyField, const QString& listField);

    // The key shown, invalid when none. Setting it writes it into the bound field.
    QVariant KeyValue() const;
    void SetKeyValue(const QVariant& key);

    // Limits what the operator can choose, whichever way: list, keys or wheel on the closed
    // box. A refused choice leaves the field as it was.
    using ChoiceLimit = std::function<bool(const QVariant& key)>;
    void SetChoiceLimit(ChoiceLimit allowed);

    // Whether the list is dropped down.
    bool ListVisible() const { return listVisible_; }

    void showPopup() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

Q_SIGNALS:
    // Before the list opens, so that the list table may still be filtered.
    void DropDown();
    // After the list closed, with or without a choice; the choice is already stored.
    void CloseUp();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void ReadList();
    void ReadValue();
    void Choose(int index);
    void ListChanged(RecordSetChange change, int fieldIndex);
    void ListClosed();

    FieldDataLink link_;
    QPointer<DataSource> list_;
    QString keyField_;
    QString listField_;
    QMetaObject::Connection listConnection_;
    ChoiceLimit choiceLimit_;
    bool listVisible_ = false;
};

#include "ui/widgets/DbLookupComboBox.h"

#include "ui/widgets/DataSource.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QSignalBlocker>

DbLookupComboBox::DbLookupComboBox(QWidget* parent)
    : QComboBox(parent)
    , link_(*this) {
    connect(&link_, &FieldDataLink::DataChanged, this, &DbLookupComboBox::ReadValue);
    connect(this, &QComboBox::activated, this, &DbLookupComboBox::Choose);
    // The list's own window tells when it closes, also when a click elsewhere closed it.
    view()->window()->installEventFilter(this);
}

void DbLookupComboBox::SetListSource(DataSource* list, const QString& keyField,
                                     const QString& listField) {
    disconnect(listConnection_);
    list_ = list;
    keyField_ = keyField;
    listField_ = listField;
    if (list_ != nullptr) {
        listConnection_ =
            connect(list_, &DataSource::Changed, this, &DbLookupComboBox::ListChanged);
    }
    ReadList();
}

QVariant DbLookupComboBox::KeyValue() const {
    return link_.Value();
}

void DbLookupComboBox::SetKeyValue(const QVariant& key) {
    link_.Modify(key);
    ReadValue();
}

void DbLookupComboBox::ListChanged(RecordSetChange change, int fieldIndex) {
    const bool shownFieldChanged = change == RecordSetChange::Field && list_ != nullptr &&
                                   (fieldIndex == list_->DataSet().FieldIndex(listField_) ||
                                    fieldIndex == list_->DataSet().FieldIndex(keyField_));
    if (change == RecordSetChange::Layout || shownFieldChanged)
        ReadList();
}

void DbLookupComboBox::ReadList() {
    {
        const QSignalBlocker blocker(this);
        clear();
        if (list_ != nullptr) {
            const RecordSet& set = list_->DataSet();
            const int keyIndex = set.FieldIndex(keyField_);
            const int nameIndex = set.FieldIndex(listField_);
            for (int row = 0; row < set.RecordCount(); ++row)
                addItem(set.ValueAt(row, nameIndex).toString(), set.ValueAt(row, keyIndex));
        }
    }
    ReadValue();
}

void DbLookupComboBox::ReadValue() {
    const QVariant key = link_.Value();
    int index = -1;
    if (key.isValid()) {
        for (int i = 0; i < count(); ++i) {
            if (itemData(i).toInt() == key.toInt()) {
                index = i;
                break;
            }
        }
    }
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
}

void DbLookupComboBox::SetChoiceLimit(ChoiceLimit allowed) {
    choiceLimit_ = std::move(allowed);
}

void DbLookupComboBox::Choose(int index) {
    const QVariant key = itemData(index);
    if ((choiceLimit_ && !choiceLimit_(key)) || !link_.Modify(key))
        ReadValue();
}

void DbLookupComboBox::showPopup() {
    if (!link_.CanModify())
        return;
    Q_EMIT DropDown();
    QComboBox::showPopup();
    listVisible_ = view()->isVisible();
    if (!listVisible_)
        ListClosed();
}

bool DbLookupComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide && watched == view()->window() && listVisible_) {
        listVisible_ = false;
        ListClosed();
    }
    return QComboBox::eventFilter(watched, event);
}

void DbLookupComboBox::ListClosed() {
    // The list hides before the combo box takes the choice: tell once that is stored.
    QMetaObject::invokeMethod(this, &DbLookupComboBox::CloseUp, Qt::QueuedConnection);
}

void DbLookupComboBox::keyPressEvent(QKeyEvent* event) {
    if (!link_.CanModify()) {
        event->ignore();
        return;
    }
    const QString text = event->text();
    if (text.isEmpty() || !text.at(0).isPrint()) {
        QComboBox::keyPressEvent(event);
        return;
    }
    if (!listVisible_)
        showPopup();
    // While the list is open the typed text searches it by name.
    if (listVisible_)
        QCoreApplication::sendEvent(view(), event);
}

void DbLookupComboBox::mousePressEvent(QMouseEvent* event) {
    if (!link_.CanModify()) {
        event->ignore();
        return;
    }
    QComboBox::mousePressEvent(event);
}

void DbLookupComboBox::wheelEvent(QWheelEvent* event) {
    if (!link_.CanModify()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

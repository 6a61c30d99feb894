#include "ui/DropDownComboBox.h"

#include "ui/HintLineEdit.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QPainter>
#include <QResizeEvent>
#include <QStyleOptionFrame>
#include <QTimer>

DropDownComboBox::DropDownComboBox(QWidget* parent)
    : QComboBox(parent)
    , editor_(new HintLineEdit(this))
    , completer_(new QCompleter(this)) {
    setEditable(true);
    setLineEdit(editor_);
    setInsertPolicy(QComboBox::NoInsert);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // The completer's popup is the list that opens while the operator types.
    completer_->setModel(model());
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    setCompleter(completer_);
    // The list is refilled before the completer shows it, since textEdited comes first.
    connect(editor_, &QLineEdit::textEdited, this, &DropDownComboBox::TextEdited);
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
            &DropDownComboBox::EntryAccepted);
    connect(this, &QComboBox::textActivated, this, [this](const QString& entry) {
        if (closing_)
            EntryAccepted(entry);
    });
}

QString DropDownComboBox::Text() const {
    return editor_->text();
}

void DropDownComboBox::SetText(const QString& text) {
    editor_->setText(text);
}

void DropDownComboBox::SetItems(const QStringList& items) {
    const QString text = editor_->text();
    const int cursor = editor_->cursorPosition();
    const QSignalBlocker blocker(this);
    clear();
    addItems(items);
    setCurrentIndex(-1);
    editor_->setText(text);
    editor_->setCursorPosition(cursor);
}

QStringList DropDownComboBox::Items() const {
    QStringList items;
    for (int row = 0; row < count(); ++row)
        items.append(itemText(row));
    return items;
}

void DropDownComboBox::SetDropDownEnabled(bool enabled) {
    dropDownEnabled_ = enabled;
    setCompleter(enabled ? completer_ : nullptr);
    // The combo box puts its text field back beside the button when it is resized.
    QResizeEvent resize(size(), size());
    resizeEvent(&resize);
    update();
}

int DropDownComboBox::FrameWidth() const {
    return style()->pixelMetric(QStyle::PM_ComboBoxFrameWidth, nullptr, this);
}

void DropDownComboBox::FitEditorToBox() {
    const int frame = FrameWidth();
    editor_->setGeometry(rect().adjusted(frame, frame, -frame, -frame));
}

void DropDownComboBox::resizeEvent(QResizeEvent* event) {
    QComboBox::resizeEvent(event);
    if (!dropDownEnabled_)
        FitEditorToBox();
}

void DropDownComboBox::paintEvent(QPaintEvent* event) {
    if (dropDownEnabled_) {
        QComboBox::paintEvent(event);
        return;
    }
    // Without its list the box is a plain text field: no button is drawn at all.
    QPainter painter(this);
    QStyleOptionFrame panel;
    panel.initFrom(this);
    panel.lineWidth = FrameWidth();
    panel.midLineWidth = 0;
    panel.state |= QStyle::State_Sunken;
    if (editor_->isReadOnly())
        panel.state |= QStyle::State_ReadOnly;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
}

void DropDownComboBox::showPopup() {
    if (!dropDownEnabled_)
        return;
    textBeforeList_ = editor_->text();
    Q_EMIT DropDown();
    QComboBox::showPopup();
}

void DropDownComboBox::hidePopup() {
    QComboBox::hidePopup();
    // The chosen entry arrives after the list is hidden.
    closing_ = true;
    QTimer::singleShot(0, this, [this] { closing_ = false; });
}

void DropDownComboBox::TextEdited() {
    if (dropDownEnabled_)
        Q_EMIT DropDown();
}

void DropDownComboBox::EntryAccepted(const QString& entry) {
    closing_ = false;
    if (editor_->isReadOnly()) {
        // A locked box shows its list for viewing only.
        editor_->setText(textBeforeList_);
        return;
    }
    editor_->setText(entry);
    Q_EMIT CloseUp();
}

#include "ui/widgets/DbTimeEdit.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

#include <algorithm>
#include <array>

namespace {

const QString kTimeFormat = QStringLiteral("hh:mm:ss");

// The hours, minutes and seconds typed so far; each part holds zero to two digits.
QStringList Parts(const QString& input) {
    QString digits = input;
    digits.remove(u' ');
    return digits.split(u':');
}

bool IsEmpty(const QStringList& parts) {
    return std::all_of(
        parts.begin(), parts.end(), [](const QString& part) { return part.isEmpty(); });
}

QTime TimeOf(const QStringList& parts) {
    if (parts.size() != 3)
        return {};
    for (const QString& part : parts)
        if (part.size() != 2)
            return {};
    return QTime(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
}

} // namespace

DbTimeEdit::DbTimeEdit(QWidget* parent)
    : QAbstractSpinBox(parent)
    , link_(*this) {
    lineEdit()->setInputMask(QStringLiteral("99:99:99"));
    connect(&link_, &FieldDataLink::DataChanged, this, &DbTimeEdit::ReadValue);
    connect(&link_, &FieldDataLink::ReadOnlyChanged, this, &QAbstractSpinBox::setReadOnly);
    connect(lineEdit(), &QLineEdit::textEdited, this, &DbTimeEdit::StoreText);
    // Half-typed text is not kept once the operator leaves the editor.
    connect(this, &QAbstractSpinBox::editingFinished, this, &DbTimeEdit::ReadValue);
}

QTime DbTimeEdit::Time() const {
    return TimeOf(Parts(text()));
}

QValidator::State DbTimeEdit::validate(QString& input, int& /*pos*/) const {
    const QStringList parts = Parts(input);
    if (parts.size() != 3)
        return QValidator::Invalid;
    const std::array<int, 3> limits = {23, 59, 59};
    for (int i = 0; i < 3; ++i)
        if (parts[i].size() == 2 && parts[i].toInt() > limits[i])
            return QValidator::Invalid;
    return IsEmpty(parts) || TimeOf(parts).isValid() ? QValidator::Acceptable
                                                     : QValidator::Intermediate;
}

void DbTimeEdit::stepBy(int steps) {
    const int position = lineEdit()->cursorPosition();
    const int unit = position < 3 ? 3600 : (position < 6 ? 60 : 1);
    const QTime shown = Time();
    const QTime time = (shown.isValid() ? shown : QTime(0, 0)).addSecs(steps * unit);
    if (!link_.Modify(time)) {
        ReadValue();
        return;
    }
    ShowTime(time);
    lineEdit()->setCursorPosition(position);
}

QAbstractSpinBox::StepEnabled DbTimeEdit::stepEnabled() const {
    return isReadOnly() ? StepNone : (StepUpEnabled | StepDownEnabled);
}

QSize DbTimeEdit::sizeHint() const {
    ensurePolished();
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize text(fontMetrics().horizontalAdvance(QStringLiteral("00:00:00 ")) + 4,
                     lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, text, this);
}

QSize DbTimeEdit::minimumSizeHint() const {
    return sizeHint();
}

void DbTimeEdit::ReadValue() {
    ShowTime(link_.Value().toTime());
}

void DbTimeEdit::ShowTime(const QTime& time) {
    const QString text = time.isValid() ? time.toString(kTimeFormat) : QString();
    if (Parts(text) != Parts(lineEdit()->text()))
        lineEdit()->setText(text);
}

void DbTimeEdit::StoreText() {
    const QStringList parts = Parts(text());
    const bool empty = IsEmpty(parts);
    const QTime time = TimeOf(parts);
    const bool stored = empty || time.isValid()
                            ? link_.Modify(time.isValid() ? QVariant(time) : QVariant())
                            : link_.Edit();
    if (!stored)
        ReadValue();
}

#include "ui/HintLineEdit.h"

#include <QStyle>
#include <QStyleOptionFrame>

#include <limits>

namespace {
// QLineEdit keeps this much room on each side of its text inside the contents rectangle.
constexpr int kInnerMargin = 2;
} // namespace

HintLineEdit::HintLineEdit(QWidget* parent)
    : QLineEdit(parent) {
    setMaxLength(std::numeric_limits<int>::max());
    connect(this, &QLineEdit::textChanged, this, &HintLineEdit::UpdateToolTip);
}

void HintLineEdit::SetReadOnlyLook() {
    setReadOnly(true);
    QPalette look = palette();
    look.setColor(QPalette::Base, look.color(QPalette::Button));
    setPalette(look);
}

bool HintLineEdit::TextFits() const {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QMargins margins = textMargins();
    const int room = contents.width() - margins.left() - margins.right() - 2 * kInnerMargin;
    return fontMetrics().horizontalAdvance(text()) <= room;
}

void HintLineEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    UpdateToolTip();
}

void HintLineEdit::UpdateToolTip() {
    setToolTip(TextFits() ? QString() : text());
}

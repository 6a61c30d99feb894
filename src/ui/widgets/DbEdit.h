#pragma once

#include "ui/widgets/FieldDataLink.h"
#include "ui/widgets/FieldTextValidator.h"

#include <QLineEdit>

// A one-line editor of a field of the current row. Typing puts the row into edit and stores
// the text as typed; text the field would not keep is refused where it is typed.
class DbEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DbEdit(QWidget* parent = nullptr);

    FieldDataLink& DataLink() { return link_; }

Q_SIGNALS:
    // A keystroke or paste was refused; the message is also shown as a tooltip at the editor.
    void InputRefused(const QString& message);

private:
    void ReadValue();
    void StoreText(const QString& text);
    void ShowRefusal(const QString& message);

    FieldDataLink link_;
    FieldTextValidator validator_;
};

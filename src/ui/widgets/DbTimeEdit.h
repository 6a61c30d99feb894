#pragma once

#include "ui/widgets/FieldDataLink.h"

#include <QAbstractSpinBox>
#include <QTime>

// A time-of-day editor (hours:minutes:seconds, up/down buttons) on a field of the current row.
// An empty editor shows and returns the text "  :  :  " and stores null; a time is stored as
// soon as all six digits are typed.
class DbTimeEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit DbTimeEdit(QWidget* parent = nullptr);

    FieldDataLink& DataLink() { return link_; }

    // The time shown; invalid while the editor is empty or half typed.
    QTime Time() const;

    // Steps the section under the cursor: hours, minutes or seconds.
    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    void ReadValue();
    void StoreText();
    void ShowTime(const QTime& time);

    FieldDataLink link_;
};

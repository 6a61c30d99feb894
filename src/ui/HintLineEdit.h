#pragma once

#include <QLineEdit>

// A one-line editor without a length limit that shows its whole text as a tooltip when the
// text does not fit.
class HintLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit HintLineEdit(QWidget* parent = nullptr);

    // Read-only in the button-face colour, as a locked row is shown.
    void SetReadOnlyLook();
    bool TextFits() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateToolTip();
};

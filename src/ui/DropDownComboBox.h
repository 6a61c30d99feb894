#pragma once

#include <QComboBox>
#include <QStringList>

class HintLineEdit;
class QCompleter;

// A free text box with a list: the list opens by itself as soon as the operator types, is
// filled by whoever listens to DropDown just before it opens, and can be switched off
// together with its button.
class DropDownComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit DropDownComboBox(QWidget* parent = nullptr);

    HintLineEdit* Editor() const { return editor_; }
    QString Text() const;
    void SetText(const QString& text);

    // Replaces the list and leaves the typed text alone.
    void SetItems(const QStringList& items);
    QStringList Items() const;

    void SetDropDownEnabled(bool enabled);
    bool DropDownEnabled() const { return dropDownEnabled_; }

    void showPopup() override;
    void hidePopup() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

Q_SIGNALS:
    // The list is about to open.
    void DropDown();
    // An entry of the list was accepted (not sent for typed text).
    void CloseUp();

private:
    int FrameWidth() const;
    // Without a list the text field takes the room of the button too.
    void FitEditorToBox();
    void TextEdited();
    void EntryAccepted(const QString& entry);

    HintLineEdit* editor_;
    QCompleter* completer_;
    bool dropDownEnabled_ = true;
    // Set while the list closes, so that only a choice made in it counts as accepted.
    bool closing_ = false;
    QString textBeforeList_;
};

#pragma once

#include <QDialog>

#include <functional>

class HintLineEdit;
class Prompts;
class QGridLayout;
class QPushButton;
class SettingsDialog;

// Shows a dialog modally and gives its result; tests drive the dialog in its place.
using DialogRunner = std::function<int(SettingsDialog&)>;

// The frame the settings dialogs share: labelled editors above the buttons "Сохранить" (OK,
// default) and "Отменить" (Cancel, Escape); fixed size, close button only, centred on the
// screen. The handed-in values go into the editors when the dialog is first shown. OK refuses
// text the settings file cannot keep on one line and leaves the dialog open with it.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    QPushButton* OkButton() const { return bitBtnOk_; }

    static int ShowModal(SettingsDialog& dialog);
    // False, after telling the operator, while the row has no connection type to go by.
    static bool ConnectionTypeChosen(const QString& typeText, Prompts& prompts);

    // The read-only opening for a row in use: the editors keep their values, OK is disabled.
    void LockEditing();
    bool EditingLocked() const { return locked_; }

protected:
    SettingsDialog(QWidget* owner, Prompts& prompts);

    // editor is a text editor or a box holding one.
    void AddRow(const QString& labelName, const QString& caption, QWidget* editor);
    // Ends the rows; the buttons follow.
    void FinishLayout();

    virtual void FormShow() = 0;
    // Copies the editors into the values before the dialog closes with OK.
    virtual void BitBtnOkClick() = 0;

    void showEvent(QShowEvent* event) override;

private:
    // False, after telling the operator which field, when an editor holds what no field keeps.
    bool TextsAcceptable();

    struct TextRow {
        QString Caption;
        HintLineEdit* Editor;
    };

    Prompts& prompts_;
    QList<TextRow> texts_;
    QGridLayout* rows_;
    QPushButton* bitBtnOk_;
    QPushButton* bitBtnCancel_;
    bool shown_ = false;
    bool locked_ = false;
};

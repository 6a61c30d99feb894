#pragma once

#include "ui/SettingsDialog.h"

#include <QString>

class HintLineEdit;
class Prompts;

// A 1C source's user parameter, the warehouse filter handed to the infobase.
class TfrmAdSetSource1C : public SettingsDialog {
    Q_OBJECT
public:
    TfrmAdSetSource1C(QWidget* owner, Prompts& prompts);

    QString CustomParameter() const { return customParameter_; }
    void SetCustomParameter(const QString& value) { customParameter_ = value; }

protected:
    void FormShow() override;
    void BitBtnOkClick() override;

private:
    HintLineEdit* dbedtCustomParameter_;
    QString customParameter_;
};

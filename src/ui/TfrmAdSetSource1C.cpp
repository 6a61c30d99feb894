#include "ui/TfrmAdSetSource1C.h"

#include "ui/HintLineEdit.h"

TfrmAdSetSource1C::TfrmAdSetSource1C(QWidget* owner, Prompts& prompts)
    : SettingsDialog(owner, prompts)
    , dbedtCustomParameter_(new HintLineEdit(this)) {
    setWindowTitle(QStringLiteral("Дополнительные настройки источника"));
    dbedtCustomParameter_->setObjectName(QStringLiteral("dbedtCustomParameter"));
    AddRow(QStringLiteral("labSource_CustomParameter"), QStringLiteral("Пользов. параметр"),
           dbedtCustomParameter_);
    FinishLayout();
}

void TfrmAdSetSource1C::FormShow() {
    dbedtCustomParameter_->setText(customParameter_);
}

void TfrmAdSetSource1C::BitBtnOkClick() {
    customParameter_ = dbedtCustomParameter_->text();
}

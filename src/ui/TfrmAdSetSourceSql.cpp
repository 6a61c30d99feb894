#include "ui/TfrmAdSetSourceSql.h"

#include "ui/HintLineEdit.h"

TfrmAdSetSourceSql::TfrmAdSetSourceSql(QWidget* owner, Prompts& prompts)
    : SettingsDialog(owner, prompts)
    , dbedtSQL_Query_(new HintLineEdit(this))
    , dbedtName_Docking_Field_(new HintLineEdit(this))
    , dbedtName_Updated_Field_(new HintLineEdit(this)) {
    setWindowTitle(QStringLiteral("Дополнительные настройки источника"));
    dbedtSQL_Query_->setObjectName(QStringLiteral("dbedtSQL_Query"));
    dbedtName_Docking_Field_->setObjectName(QStringLiteral("dbedtName_Docking_Field"));
    dbedtName_Updated_Field_->setObjectName(QStringLiteral("dbedtName_Updated_Field"));
    AddRow(QStringLiteral("labSource_SQL_Query"), QStringLiteral("SQL запрос"), dbedtSQL_Query_);
    AddRow(QStringLiteral("labdbedtSource_Name_Docking_Field"), QStringLiteral("Ключевое поле"),
           dbedtName_Docking_Field_);
    AddRow(QStringLiteral("labSource_Name_Updated_Field"), QStringLiteral("Поле с данными"),
           dbedtName_Updated_Field_);
    FinishLayout();
}

void TfrmAdSetSourceSql::FormShow() {
    dbedtSQL_Query_->setText(sqlQuery_);
    dbedtName_Docking_Field_->setText(dockingField_);
    dbedtName_Updated_Field_->setText(updatedField_);
}

void TfrmAdSetSourceSql::BitBtnOkClick() {
    sqlQuery_ = dbedtSQL_Query_->text();
    dockingField_ = dbedtName_Docking_Field_->text();
    updatedField_ = dbedtName_Updated_Field_->text();
}

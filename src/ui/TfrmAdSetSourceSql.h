#pragma once

#include "ui/SettingsDialog.h"

#include <QString>

class HintLineEdit;
class Prompts;

// An SQL source's query, the result column with the item key and the one with the quantity.
class TfrmAdSetSourceSql : public SettingsDialog {
    Q_OBJECT
public:
    TfrmAdSetSourceSql(QWidget* owner, Prompts& prompts);

    QString SqlQuery() const { return sqlQuery_; }
    void SetSqlQuery(const QString& value) { sqlQuery_ = value; }
    QString DockingField() const { return dockingField_; }
    void SetDockingField(const QString& value) { dockingField_ = value; }
    QString UpdatedField() const { return updatedField_; }
    void SetUpdatedField(const QString& value) { updatedField_ = value; }

protected:
    void FormShow() override;
    void BitBtnOkClick() override;

private:
    HintLineEdit* dbedtSQL_Query_;
    HintLineEdit* dbedtName_Docking_Field_;
    HintLineEdit* dbedtName_Updated_Field_;
    QString sqlQuery_;
    QString dockingField_;
    QString updatedField_;
};

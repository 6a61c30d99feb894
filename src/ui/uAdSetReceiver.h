#pragma once

#include "ui/SettingsDialog.h"

#include <QString>

#include <memory>

class DbConnection;
class DropDownComboBox;
class Prompts;

// The receiver's table, key field and value field. For a Firebird receiver the dialog
// connects to the database and offers the names read from its system tables; otherwise, or
// when the database cannot be reached, the names are typed.
class TfrmAdSetReceiver : public SettingsDialog {
    Q_OBJECT
public:
    TfrmAdSetReceiver(QWidget* owner, Prompts& prompts);
    ~TfrmAdSetReceiver() override;

    QString TableName() const { return tableName_; }
    void SetTableName(const QString& value) { tableName_ = value; }
    QString KeyField() const { return keyField_; }
    void SetKeyField(const QString& value) { keyField_ = value; }
    QString ValueField() const { return valueField_; }
    void SetValueField(const QString& value) { valueField_ = value; }
    // The real string, passwords restored.
    void SetConnectionString(const QString& value) { connectionString_ = value; }

    void LoadTableList();
    bool ConnectReceiver();
    void DisconnectReceiver();
    // "STOCK_BALANCE" becomes "Stock_Balance".
    static QString FormatFieldName(const QString& name);
    // The statement that lists the field names of tableName, or of every non-system table
    // when it is empty, without otherChoice.
    static QString FieldListStatement(const QString& tableName, const QString& otherChoice);
    void CheckFieldChoices();
    void FillFieldList(const QString& otherChoice, DropDownComboBox& box);

protected:
    void FormShow() override;
    void BitBtnOkClick() override;

private:
    void dbName_TableCloseUp();
    void dbKey_FieldDropDown();
    void dbName_Updated_FieldDropDown();
    // The "Name" column of every row, in the order returned.
    QStringList SelectNames(const QString& sql);
    bool Connected() const;

    DropDownComboBox* dbName_Table_;
    DropDownComboBox* dbKey_Field_;
    DropDownComboBox* dbName_Updated_Field_;
    QString tableName_;
    QString keyField_;
    QString valueField_;
    QString connectionString_;
    std::unique_ptr<DbConnection> connection_;
};

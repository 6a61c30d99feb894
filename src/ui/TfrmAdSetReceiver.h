#pragma once

#include "ui/SettingsDialog.h"

#include <QString>

#include <functional>
#include <memory>

class BackgroundConnection;
class DropDownComboBox;
class Prompts;

// The receiver's table, key field and value field. For a Firebird receiver the dialog
// connects to the database and offers the names read from its system tables; otherwise, or
// when the database cannot be reached, the names are typed. The database is reached off the
// main thread: the dialog stays live, with a busy cursor, while the server keeps it waiting.
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
    // The lists follow once the connection has opened; until then they stay shut.
    void ConnectReceiver();
    void DisconnectReceiver();
    // A connect or a statement is under way.
    bool Waiting() const;
    // "STOCK_BALANCE" becomes "Stock_Balance".
    static QString FormatFieldName(const QString& name);
    static QStringList FormatNames(const QStringList& names);
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
    void ReceiverConnected(bool opened);
    // The "Name" column of every row, in the order returned, handed to use; a failed
    // statement reaches the application's error display.
    void SelectNames(const QString& sql, const std::function<void(const QStringList&)>& use);
    // The busy cursor while the database keeps the dialog waiting.
    void FollowWaiting();

    DropDownComboBox* dbName_Table_;
    DropDownComboBox* dbKey_Field_;
    DropDownComboBox* dbName_Updated_Field_;
    QString tableName_;
    QString keyField_;
    QString valueField_;
    QString connectionString_;
    std::unique_ptr<BackgroundConnection> connection_;
    bool connected_ = false;
};

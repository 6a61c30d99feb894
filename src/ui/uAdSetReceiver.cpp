#include "ui/uAdSetReceiver.h"

#include "platform/DbConnection.h"
#include "platform/DbQuery.h"
#include "ui/DropDownComboBox.h"

#include <QLocale>

namespace {
const QString kFirebirdDriver = QStringLiteral("Driver=Firebird/InterBase(r) driver");
const QString kTableListSql = QStringLiteral(
    "Select Trim(rdb$relation_name) As Name From rdb$relations Where ((rdb$format = 1) and "
    "(not (rdb$relation_name Like 'IBE$%'))) Order By rdb$relation_name");
const QString kFieldListSql = QStringLiteral(
    "Select Distinct Trim(rdb$field_name) As Name From rdb$relation_fields Where (not "
    "rdb$relation_name Like 'RDB$%') Order By rdb$field_name");
const QString kDistinct = QStringLiteral("Distinct ");
const QString kConditionEnd = QStringLiteral(") Or");

// A typed name goes into a string literal of the statement: its quotes are doubled.
QString Literal(const QString& name) {
    return QString(name).replace(QLatin1Char('\''), QStringLiteral("''"));
}

void InsertAfterCondition(QString& sql, const QString& condition) {
    sql.insert(sql.indexOf(kConditionEnd) + 1, condition);
}

bool IsAsciiLower(QChar c) {
    return c >= QLatin1Char('a') && c <= QLatin1Char('z');
}
} // namespace

TfrmAdSetReceiver::TfrmAdSetReceiver(QWidget* owner, Prompts& prompts)
    : SettingsDialog(owner, prompts)
    , dbName_Table_(new DropDownComboBox(this))
    , dbKey_Field_(new DropDownComboBox(this))
    , dbName_Updated_Field_(new DropDownComboBox(this)) {
    setWindowTitle(QStringLiteral("Дополнительные настройки приемника"));
    dbName_Table_->setObjectName(QStringLiteral("dbName_Table"));
    dbKey_Field_->setObjectName(QStringLiteral("dbKey_Field"));
    dbName_Updated_Field_->setObjectName(QStringLiteral("dbName_Updated_Field"));
    AddRow(QStringLiteral("labReceiver_Name_Table"), QStringLiteral("Название таблицы"),
           dbName_Table_);
    AddRow(QStringLiteral("labReceiver_Key_Field"), QStringLiteral("Ключевое поле"), dbKey_Field_);
    AddRow(QStringLiteral("labReceiver_Name_Updated_Field"), QStringLiteral("Поле с данными"),
           dbName_Updated_Field_);
    FinishLayout();
    connect(dbName_Table_, &DropDownComboBox::CloseUp, this,
            &TfrmAdSetReceiver::dbName_TableCloseUp);
    connect(dbKey_Field_, &DropDownComboBox::DropDown, this,
            &TfrmAdSetReceiver::dbKey_FieldDropDown);
    connect(dbName_Updated_Field_, &DropDownComboBox::DropDown, this,
            &TfrmAdSetReceiver::dbName_Updated_FieldDropDown);
}

TfrmAdSetReceiver::~TfrmAdSetReceiver() {
    DisconnectReceiver();
}

void TfrmAdSetReceiver::FormShow() {
    LoadTableList();
}

void TfrmAdSetReceiver::LoadTableList() {
    dbName_Table_->SetText(tableName_);
    dbKey_Field_->SetText(keyField_);
    dbName_Updated_Field_->SetText(valueField_);
    const bool firebird = connectionString_.toUpper().contains(kFirebirdDriver.toUpper());
    if (firebird && ConnectReceiver()) {
        dbName_Table_->SetItems({});
        QStringList tables;
        for (const QString& name : SelectNames(kTableListSql))
            tables.append(FormatFieldName(name));
        dbName_Table_->SetItems(tables);
        return;
    }
    for (DropDownComboBox* box : {dbName_Table_, dbKey_Field_, dbName_Updated_Field_})
        box->SetDropDownEnabled(false);
}

bool TfrmAdSetReceiver::ConnectReceiver() {
    connection_ = std::make_unique<DbConnection>(connectionString_);
    try {
        connection_->Open();
        return true;
    } catch (const std::exception&) {
        // The operator types the names instead.
        return false;
    }
}

void TfrmAdSetReceiver::DisconnectReceiver() {
    if (connection_ && connection_->IsOpen())
        connection_->Close();
    connection_.reset();
}

QString TfrmAdSetReceiver::FormatFieldName(const QString& name) {
    QString formatted = QLocale::system().toLower(name);
    for (qsizetype i = 0; i < formatted.size(); ++i) {
        const bool wordStart = i == 0 || formatted[i - 1] == QLatin1Char('_');
        if (wordStart && IsAsciiLower(formatted[i]))
            formatted[i] = formatted[i].toUpper();
    }
    return formatted;
}

QString TfrmAdSetReceiver::FieldListStatement(const QString& tableName,
                                              const QString& otherChoice) {
    QString sql = kFieldListSql;
    const QString table = tableName.trimmed().toUpper();
    if (!table.isEmpty()) {
        sql.remove(sql.indexOf(kDistinct), kDistinct.size());
        InsertAfterCondition(sql, QStringLiteral(" and (Upper(Trim(rdb$relation_name)) = '") +
                                      Literal(table) + QStringLiteral("')"));
    }
    const QString other = otherChoice.trimmed().toUpper();
    if (!other.isEmpty())
        InsertAfterCondition(sql, QStringLiteral(" and (Upper(Trim(rdb$field_name)) <> '") +
                                      Literal(other) + QStringLiteral("')"));
    return sql;
}

void TfrmAdSetReceiver::CheckFieldChoices() {
    if (!Connected())
        return;
    const QString key = dbKey_Field_->Text().trimmed().toUpper();
    const QString value = dbName_Updated_Field_->Text().trimmed().toUpper();
    bool keyFound = false;
    bool valueFound = false;
    for (const QString& name : SelectNames(FieldListStatement(dbName_Table_->Text(), {}))) {
        keyFound = keyFound || name == key;
        valueFound = valueFound || name == value;
    }
    if (!key.isEmpty() && !keyFound)
        dbKey_Field_->SetText(QString());
    if (!value.isEmpty() && !valueFound)
        dbName_Updated_Field_->SetText(QString());
}

void TfrmAdSetReceiver::FillFieldList(const QString& otherChoice, DropDownComboBox& box) {
    if (!Connected())
        return;
    const QString sql = FieldListStatement(dbName_Table_->Text(), otherChoice);
    box.SetItems({});
    QStringList fields;
    for (const QString& name : SelectNames(sql))
        fields.append(FormatFieldName(name));
    box.SetItems(fields);
}

void TfrmAdSetReceiver::BitBtnOkClick() {
    tableName_ = dbName_Table_->Text();
    keyField_ = dbKey_Field_->Text();
    valueField_ = dbName_Updated_Field_->Text();
}

void TfrmAdSetReceiver::dbName_TableCloseUp() {
    CheckFieldChoices();
}

void TfrmAdSetReceiver::dbKey_FieldDropDown() {
    FillFieldList(dbName_Updated_Field_->Text(), *dbKey_Field_);
}

void TfrmAdSetReceiver::dbName_Updated_FieldDropDown() {
    FillFieldList(dbKey_Field_->Text(), *dbName_Updated_Field_);
}

QStringList TfrmAdSetReceiver::SelectNames(const QString& sql) {
    DbQuery query(*connection_);
    query.SetSql(sql);
    query.Prepare();
    query.Open();
    QStringList names;
    for (; !query.Eof(); query.Next())
        names.append(query.FieldAsText(QStringLiteral("Name")));
    return names;
}

bool TfrmAdSetReceiver::Connected() const {
    return connection_ && connection_->IsOpen();
}

#include "ui/TfrmAdSetReceiver.h"

#include "ui/BackgroundConnection.h"
#include "ui/DropDownComboBox.h"

#include <QLocale>
#include <QPushButton>

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
    // No list until the database has answered: nothing to open while the connect runs.
    for (DropDownComboBox* box : {dbName_Table_, dbKey_Field_, dbName_Updated_Field_})
        box->SetDropDownEnabled(false);
    if (connectionString_.toUpper().contains(kFirebirdDriver.toUpper()))
        ConnectReceiver();
}

void TfrmAdSetReceiver::ConnectReceiver() {
    connection_ = std::make_unique<BackgroundConnection>(connectionString_);
    // A failure leaves the operator to type the names.
    connection_->Open([this](bool opened) { ReceiverConnected(opened); });
    FollowWaiting();
}

void TfrmAdSetReceiver::ReceiverConnected(bool opened) {
    connected_ = opened;
    FollowWaiting();
    if (!opened)
        return;
    for (DropDownComboBox* box : {dbName_Table_, dbKey_Field_, dbName_Updated_Field_})
        box->SetDropDownEnabled(true);
    dbName_Table_->SetItems({});
    SelectNames(kTableListSql,
                [this](const QStringList& names) { dbName_Table_->SetItems(FormatNames(names)); });
}

void TfrmAdSetReceiver::DisconnectReceiver() {
    // Closed on its own thread once it is free; the dialog does not wait for that.
    connection_.reset();
    connected_ = false;
    FollowWaiting();
}

bool TfrmAdSetReceiver::Waiting() const {
    return connection_ && connection_->Waiting();
}

void TfrmAdSetReceiver::FollowWaiting() {
    if (Waiting())
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    // What OK stores may still change with a statement's answer; a connect changes nothing.
    OkButton()->setEnabled(!EditingLocked() && !(connected_ && Waiting()));
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

QStringList TfrmAdSetReceiver::FormatNames(const QStringList& names) {
    QStringList formatted;
    for (const QString& name : names)
        formatted.append(FormatFieldName(name));
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
    if (!connected_)
        return;
    SelectNames(FieldListStatement(dbName_Table_->Text(), {}), [this](const QStringList& names) {
        const QString key = dbKey_Field_->Text().trimmed().toUpper();
        const QString value = dbName_Updated_Field_->Text().trimmed().toUpper();
        if (!key.isEmpty() && !names.contains(key))
            dbKey_Field_->SetText(QString());
        if (!value.isEmpty() && !names.contains(value))
            dbName_Updated_Field_->SetText(QString());
    });
}

void TfrmAdSetReceiver::FillFieldList(const QString& otherChoice, DropDownComboBox& box) {
    if (!connected_)
        return;
    box.SetItems({});
    SelectNames(FieldListStatement(dbName_Table_->Text(), otherChoice),
                [&box](const QStringList& names) { box.SetItems(FormatNames(names)); });
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

void TfrmAdSetReceiver::SelectNames(const QString& sql,
                                    const std::function<void(const QStringList&)>& use) {
    connection_->SelectNames(sql, [this, use](const QStringList& names, std::exception_ptr error) {
        if (!error)
            use(names);
        FollowWaiting();
        if (error)
            std::rethrow_exception(error);
    });
    FollowWaiting();
}

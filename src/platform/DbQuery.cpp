#include "platform/DbQuery.h"

#include "platform/DbConnection.h"
#include "platform/Errors.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>

#include <cmath>
#include <limits>
#include <variant>

namespace {

bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

bool IsExecuteBlock(const QString& sql) {
    return sql.trimmed().startsWith(QLatin1String("EXECUTE BLOCK"), Qt::CaseInsensitive);
}

// The "?" outside quoted text.
qsizetype MarkerCount(const QString& sql) {
    qsizetype count = 0;
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            ++count;
        }
    }
    return count;
}

// Turns ":Name" placeholders into "?" and lists the names by position, so that every driver
// binds the same way. Quoted text and EXECUTE BLOCK bodies, whose ":x" are variables, stay.
QString ToPositional(const QString& sql, QStringList& names) {
    names.clear();
    if (IsExecuteBlock(sql))
        return sql;
    QString result;
    result.reserve(sql.size());
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            result.append(c);
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            result.append(c);
            continue;
        }
        const bool starts = c == QLatin1Char(':') && i + 1 < sql.size() &&
                            IsNameChar(sql.at(i + 1)) &&
                            (i == 0 || sql.at(i - 1) != QLatin1Char(':'));
        if (!starts) {
            result.append(c);
            continue;
        }
        qsizetype end = i + 1;
        while (end < sql.size() && IsNameChar(sql.at(end)))
            ++end;
        names.append(sql.mid(i + 1, end - i - 1).toLower());
        result.append(QLatin1Char('?'));
        i = end - 1;
    }
    return result;
}

bool IsTextType(const QVariant& value) {
    const int type = value.typeId();
    return type == QMetaType::QString || type == QMetaType::QByteArray || type == QMetaType::QChar;
}

// Integers as the drivers type them are read directly: the general conversion costs more than
// the rest of a row's work.
std::optional<qlonglong> IntegerOf(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
        return value.value<int>();
    case QMetaType::LongLong:
        return value.value<qlonglong>();
    default:
        bool ok = false;
        const qlonglong integer = value.toLongLong(&ok);
        if (ok)
            return integer;
        return std::nullopt;
    }
}

// A whole number, or the text of a key that is none.
using LookupKey = std::variant<qint64, QString>;

LookupKey KeyOfDouble(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e18)
        return static_cast<qint64>(value);
    return QString::number(value, 'g', 17);
}

// One key per value that compares equal however the source typed it: 123, "123", 123.0.
std::optional<LookupKey> NormalKey(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    const int type = value.typeId();
    if (type == QMetaType::Double || type == QMetaType::Float)
        return KeyOfDouble(value.toDouble());
    if (IsTextType(value)) {
        const QString text = value.toString().trimmed();
        bool ok = false;
        const qlonglong integer = text.toLongLong(&ok);
        if (ok)
            return integer;
        const double number = QLocale::c().toDouble(text, &ok);
        if (ok)
            return KeyOfDouble(number);
        return text;
    }
    if (const std::optional<qlonglong> integer = IntegerOf(value))
        return *integer;
    return value.toString();
}

template <typename Key>
std::optional<qsizetype> FindRow(const QHash<Key, qsizetype>& index, const Key& key) {
    const auto found = index.constFind(key);
    if (found == index.constEnd())
        return std::nullopt;
    return *found;
}

} // namespace

DbQuery::DbQuery(DbConnection& connection)
    : connection_(&connection) {
    connection_->Attach(this);
}

DbQuery::~DbQuery() {
    Release();
    if (connection_)
        connection_->Detach(this);
}

void DbQuery::SetSql(const QString& sql) {
    Release();
    sql_ = sql;
    driverSql_ = ToPositional(sql_, placeholders_);
    parameters_.clear();
    markerValues_.clear();
    if (IsExecuteBlock(sql_))
        markerValues_.resize(MarkerCount(sql_));
}

void DbQuery::Prepare() {
    Release();
    if (sql_.trimmed().isEmpty())
        Connection().RaiseComponentError(QStringLiteral("The statement has no text"));
    PrepareStatement();
}

void DbQuery::Open() {
    Run();
    const QSqlRecord record = query_->record();
    columnCount_ = record.count();
    // Of two columns with one name the first is read, as by name lookups elsewhere.
    for (int i = record.count() - 1; i >= 0; --i)
        fieldIndex_.insert(record.fieldName(i).toLower(), i);
    active_ = true;
    FetchNext();
}

void DbQuery::Execute() {
    Run();
}

void DbQuery::Close() {
    if (query_)
        query_->finish();
    active_ = false;
    eof_ = true;
    fieldIndex_.clear();
    spelledIndex_.clear();
    columnCount_ = 0;
    buffered_ = false;
    values_.clear();
    rowCount_ = 0;
    rowPos_ = 0;
    indexedField_ = -1;
    integerIndex_.clear();
    textIndex_.clear();
}

void DbQuery::SetParameter(const QString& name, const QVariant& value) {
    const QString key = name.toLower();
    if (!placeholders_.contains(key))
        throw Exception(QStringLiteral("Parameter '%1' not found").arg(name));
    parameters_.insert(key, value);
}

void DbQuery::SetParameter(int position, const QVariant& value) {
    if (position < 0 || position >= markerValues_.size())
        throw Exception(QStringLiteral("Parameter %1 not found").arg(position));
    markerValues_[position] = value;
}

bool DbQuery::Eof() const {
    return eof_;
}

void DbQuery::Next() {
    if (!active_)
        Connection().RaiseComponentError(QStringLiteral("The statement has no open result"));
    if (eof_)
        return;
    if (buffered_) {
        ++rowPos_;
        eof_ = rowPos_ >= rowCount_;
        return;
    }
    FetchNext();
}

bool DbQuery::FieldIsNull(const QString& field) const {
    return CurrentValue(field).isNull();
}

QVariant DbQuery::FieldValue(const QString& field) const {
    return CurrentValue(field);
}

QString DbQuery::FieldAsText(const QString& field) const {
    const QVariant value = CurrentValue(field);
    return value.isNull() ? QString() : value.toString();
}

int DbQuery::FieldAsInteger(const QString& field) const {
    const QVariant value = CurrentValue(field);
    if (value.isNull())
        return 0;
    bool ok = false;
    qlonglong integer = 0;
    if (IsTextType(value)) {
        integer = value.toString().trimmed().toLongLong(&ok);
    } else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double number = std::round(value.toDouble());
        ok = std::isfinite(number);
        integer = ok ? static_cast<qlonglong>(number) : 0;
    } else if (const std::optional<qlonglong> exact = IntegerOf(value)) {
        integer = *exact;
        ok = true;
    }
    if (!ok || integer < std::numeric_limits<int>::min() ||
        integer > std::numeric_limits<int>::max())
        throw Exception(QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
    return static_cast<int>(integer);
}

double DbQuery::FieldAsFloat(const QString& field) const {
    const QVariant value = CurrentValue(field);
    if (value.isNull())
        return 0;
    bool ok = false;
    double number = 0;
    if (IsTextType(value)) {
        const QString text = value.toString().trimmed();
        number = QLocale::c().toDouble(text, &ok);
        if (!ok)
            number = QLocale::system().toDouble(text, &ok);
    } else {
        number = value.toDouble(&ok);
    }
    if (!ok)
        throw Exception(
            QStringLiteral("'%1' is not a valid floating point value").arg(value.toString()));
    return number;
}

std::optional<QVariant> DbQuery::Lookup(const QString& keyField, const QVariant& key,
                                        const QString& resultField) {
    if (!active_)
        Connection().RaiseComponentError(QStringLiteral("The statement has no open result"));
    const int keyIndex = FieldIndex(keyField);
    const int resultIndex = FieldIndex(resultField);
    if (!buffered_)
        ReadRemainingRows();
    if (indexedField_ != keyIndex)
        IndexRows(keyIndex);
    const std::optional<LookupKey> normal = NormalKey(key);
    if (!normal)
        return std::nullopt;
    const qint64* integer = std::get_if<qint64>(&*normal);
    const std::optional<qsizetype> row = integer ? FindRow(integerIndex_, *integer)
                                                 : FindRow(textIndex_, std::get<QString>(*normal));
    if (!row)
        return std::nullopt;
    return values_.at(*row * columnCount_ + resultIndex);
}

DbConnection& DbQuery::Connection() const {
    if (!connection_)
        throw EOleSysError(QStringLiteral("The statement's connection is gone"));
    return *connection_;
}

void DbQuery::Release() {
    Close();
    UnlistHandle();
    query_.reset();
    prepared_ = false;
}

void DbQuery::PrepareStatement() {
    DbConnection& connection = Connection();
    connection.RequireOpen("Prepare");
    UnlistHandle();
    query_ = std::make_unique<QSqlQuery>(connection.database_);
    // Without it the Firebird driver keeps every row of the result in memory.
    query_->setForwardOnly(true);
    if (!query_->prepare(driverSql_)) {
        const QSqlError error = query_->lastError();
        query_.reset();
        connection.RaiseProviderError(error, QStringLiteral("The statement cannot be prepared"));
    }
    prepared_ = true;
    preparedSerial_ = connection.TransactionSerial();
    ListHandle();
}

void DbQuery::ListHandle() {
    // A Firebird statement is cancelled through its attachment.
    if (Connection().parts_.NamesFirebirdDriver())
        return;
    const QVariant handle = query_->result()->handle();
    if (!handle.isValid() || handle.metaType().sizeOf() != int(sizeof(void*)))
        return;
    listedHandle_ = *static_cast<void* const*>(handle.constData());
    if (listedHandle_)
        Connection().ListStatement(listedHandle_);
}

void DbQuery::UnlistHandle() {
    if (listedHandle_ && connection_)
        connection_->UnlistStatement(listedHandle_);
    listedHandle_ = nullptr;
}

void DbQuery::Run() {
    if (!prepared_)
        Connection().RaiseComponentError(QStringLiteral("The statement is not prepared"));
    Close();
    // A statement prepared outside the present transaction would run outside it.
    if (preparedSerial_ != Connection().TransactionSerial())
        PrepareStatement();
    for (qsizetype i = 0; i < placeholders_.size(); ++i)
        query_->bindValue(static_cast<int>(i), parameters_.value(placeholders_.at(i)));
    for (qsizetype i = 0; i < markerValues_.size(); ++i)
        query_->bindValue(static_cast<int>(i), markerValues_.at(i));
    if (!query_->exec())
        RaiseStatementError();
}

void DbQuery::FetchNext() {
    eof_ = !query_->next();
    if (eof_ && query_->lastError().type() != QSqlError::NoError)
        RaiseStatementError();
}

void DbQuery::ReadRemainingRows() {
    values_.clear();
    rowCount_ = 0;
    rowPos_ = 0;
    while (!eof_) {
        for (int i = 0; i < columnCount_; ++i)
            values_.append(query_->value(i));
        ++rowCount_;
        FetchNext();
    }
    buffered_ = true;
    eof_ = rowCount_ == 0;
}

void DbQuery::IndexRows(int keyIndex) {
    integerIndex_.clear();
    textIndex_.clear();
    integerIndex_.reserve(rowCount_);
    // From the last row back, so that of equal keys the first row's stays.
    for (qsizetype row = rowCount_ - 1; row >= 0; --row) {
        const std::optional<LookupKey> normal =
            NormalKey(values_.at(row * columnCount_ + keyIndex));
        if (!normal)
            continue;
        if (const qint64* integer = std::get_if<qint64>(&*normal))
            integerIndex_.insert(*integer, row);
        else
            textIndex_.insert(std::get<QString>(*normal), row);
    }
    indexedField_ = keyIndex;
}

int DbQuery::FieldIndex(const QString& field) const {
    for (const auto& [name, index] : std::as_const(spelledIndex_))
        if (name == field)
            return index;
    const auto found = fieldIndex_.constFind(field.toLower());
    if (found == fieldIndex_.constEnd())
        throw Exception(QStringLiteral("Field '%1' not found").arg(field));
    spelledIndex_.append({field, *found});
    return *found;
}

QVariant DbQuery::CurrentValue(const QString& field) const {
    if (!active_)
        Connection().RaiseComponentError(QStringLiteral("The statement has no open result"));
    const int index = FieldIndex(field);
    if (eof_)
        Connection().RaiseComponentError(QStringLiteral("There is no current row"));
    return buffered_ ? values_.at(rowPos_ * columnCount_ + index) : query_->value(index);
}

void DbQuery::RaiseStatementError() const {
    Connection().RaiseProviderError(query_->lastError(),
                                    QStringLiteral("The statement cannot be executed"));
}

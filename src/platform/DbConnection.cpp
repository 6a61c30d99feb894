#include "platform/DbConnection.h"

#include "platform/DbQuery.h"
#include "platform/Errors.h"
#include "platform/FirebirdConnectCheck.h"

#include <QAtomicInteger>
#include <QSqlDriver>
#include <QSqlError>

#include <ibase.h>
#include <sql.h>

namespace {
QAtomicInteger<quint64> connectionCounter;

// Qt's Firebird driver always attaches with this character set and reads text in it.
const QString kFirebirdCharset = QStringLiteral("UTF8");

static_assert(sizeof(isc_db_handle) == sizeof(quint32));
} // namespace

DbConnection::DbConnection(QString connectionString, std::chrono::seconds connectTimeout)
    : connectionString_(std::move(connectionString))
    , parts_(connectionString_)
    , connectTimeout_(connectTimeout)
    , name_(QStringLiteral("DbConnection-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

DbConnection::~DbConnection() {
    Close();
    // Every statement lets go of the connection before its name is removed.
    for (DbQuery* query : std::as_const(queries_)) {
        query->Release();
        query->connection_ = nullptr;
    }
    if (database_.isValid()) {
        database_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
    }
}

void DbConnection::Open() {
    if (IsOpen())
        return;
    if (!database_.isValid())
        Configure();
    if (parts_.NamesFirebirdDriver())
        CheckFirebirdAnswers();
    if (!database_.open())
        RaiseProviderError(database_.lastError(),
                           QStringLiteral("The connection cannot be opened"));
    if (parts_.NamesFirebirdDriver()) {
        const QVariant handle = database_.driver()->handle();
        if (handle.isValid() && handle.metaType().sizeOf() == int(sizeof(isc_db_handle))) {
            const std::lock_guard lock(cancelMutex_);
            attachment_ = *static_cast<const isc_db_handle*>(handle.constData());
        }
    }
}

void DbConnection::Close() {
    if (!database_.isValid())
        return;
    ReleaseQueries();
    if (inTransaction_) {
        // A connection given back in the middle of a transaction keeps none of its changes.
        database_.rollback();
        inTransaction_ = false;
        ++transactionSerial_;
    }
    {
        const std::lock_guard lock(cancelMutex_);
        attachment_ = 0;
    }
    database_.close();
}

bool DbConnection::IsOpen() const {
    return database_.isValid() && database_.isOpen();
}

void DbConnection::BeginTrans() {
    RequireOpen("BeginTrans");
    if (inTransaction_)
        RaiseComponentError(QStringLiteral("A transaction is already active"));
    if (!database_.transaction())
        RaiseProviderError(database_.lastError(), QStringLiteral("The transaction cannot begin"));
    inTransaction_ = true;
    ++transactionSerial_;
}

void DbConnection::CommitTrans() {
    RequireOpen("CommitTrans");
    if (!inTransaction_)
        RaiseComponentError(QStringLiteral("No transaction is active"));
    const bool committed = database_.commit();
    inTransaction_ = false;
    ++transactionSerial_;
    if (!committed)
        RaiseProviderError(database_.lastError(), QStringLiteral("The transaction cannot commit"));
}

void DbConnection::RollbackTrans() {
    RequireOpen("RollbackTrans");
    if (!inTransaction_)
        RaiseComponentError(QStringLiteral("No transaction is active"));
    const bool rolledBack = database_.rollback();
    inTransaction_ = false;
    ++transactionSerial_;
    if (!rolledBack)
        RaiseProviderError(database_.lastError(),
                           QStringLiteral("The transaction cannot roll back"));
}

void DbConnection::Cancel() {
    const std::lock_guard lock(cancelMutex_);
    if (attachment_ != 0) {
        ISC_STATUS_ARRAY status;
        isc_db_handle attachment = attachment_;
        // Fails harmlessly when no call is in progress.
        fb_cancel_operation(status, &attachment, fb_cancel_raise);
    }
    for (void* statement : std::as_const(statements_))
        SQLCancel(statement);
}

void DbConnection::Configure() {
    if (parts_.NamesFirebirdDriver()) {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QIBASE")))
            RaiseComponentError(QStringLiteral("The Firebird driver is not available"));
        const QString charset = parts_.Value(QStringLiteral("CHARSET"), kFirebirdCharset);
        if (charset.compare(kFirebirdCharset, Qt::CaseInsensitive) != 0)
            RaiseComponentError(
                QStringLiteral("Кодировка CHARSET=%1 не поддерживается: соединение с Firebird "
                               "работает только в кодировке %2. Уберите CHARSET из строки "
                               "подключения или укажите CHARSET=%2.")
                    .arg(charset, kFirebirdCharset));
        database_ = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), name_);
        // DBNAME is "host[/port]:path" for a server or a bare path for the embedded engine,
        // which is exactly what the client library takes as the database name.
        database_.setDatabaseName(parts_.Value(QStringLiteral("DBNAME")));
        database_.setUserName(parts_.Value(QStringLiteral("UID")));
        database_.setPassword(parts_.Value(QStringLiteral("PWD")));
        const QString role = parts_.Value(QStringLiteral("ROLE"));
        if (!role.isEmpty())
            database_.setConnectOptions(QStringLiteral("ISC_DPB_SQL_ROLE_NAME=") + role);
        return;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
        RaiseComponentError(QStringLiteral("The ODBC driver manager is not available"));
    database_ = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name_);
    // MariaDB's driver refuses a string that ends with its separator, as restored strings do.
    QString odbcString = connectionString_.trimmed();
    while (odbcString.endsWith(u';'))
        odbcString.chop(1);
    database_.setDatabaseName(odbcString);
    database_.setConnectOptions(
        QStringLiteral("SQL_ATTR_ODBC_VERSION=SQL_OV_ODBC3;SQL_ATTR_LOGIN_TIMEOUT=%1")
            .arg(connectTimeout_.count()));
}

void DbConnection::CheckFirebirdAnswers() const {
    if (!FirebirdConnectCheck::IsRemote(database_.databaseName()))
        return;
    const QString failure =
        FirebirdConnectCheck(connectTimeout_)
            .Failure({database_.databaseName(), database_.userName(), database_.password(),
                      parts_.Value(QStringLiteral("ROLE")), kFirebirdCharset});
    if (!failure.isEmpty())
        RaiseProviderText(failure);
}

void DbConnection::Attach(DbQuery* query) {
    queries_.append(query);
}

void DbConnection::Detach(DbQuery* query) {
    queries_.removeAll(query);
}

void DbConnection::ListStatement(void* handle) {
    const std::lock_guard lock(cancelMutex_);
    statements_.append(handle);
}

void DbConnection::UnlistStatement(void* handle) {
    const std::lock_guard lock(cancelMutex_);
    statements_.removeOne(handle);
}

void DbConnection::ReleaseQueries() {
    for (DbQuery* query : std::as_const(queries_))
        query->Release();
}

void DbConnection::RequireOpen(const char* operation) const {
    if (!IsOpen())
        RaiseComponentError(
            QStringLiteral("%1: the connection is not open").arg(QLatin1String(operation)));
}

void DbConnection::RaiseProviderError(const QSqlError& error, const QString& fallback) const {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    if (text.isEmpty())
        text = fallback;
    RaiseProviderText(text);
}

void DbConnection::RaiseProviderText(const QString& text) const {
    throw EOleException(parts_.Scrub(text));
}

void DbConnection::RaiseComponentError(const QString& message) const {
    throw EOleSysError(parts_.Scrub(message));
}

#pragma once

#include "platform/ConnectionStringParts.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <chrono>
#include <mutex>

class DbQuery;
class QSqlError;

// One database connection for one use (a cycle, a test, a dialog) on the thread that made it.
// A string naming the Firebird/InterBase driver is opened natively, every other through ODBC.
class DbConnection {
public:
    // A connect that gets no answer fails after this long instead of hanging on a lost network.
    static constexpr std::chrono::seconds kConnectTimeout{30};

    explicit DbConnection(QString connectionString,
                          std::chrono::seconds connectTimeout = kConnectTimeout);
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    void Open();
    void Close();
    bool IsOpen() const;
    // Reached through Firebird's own client, which runs EXECUTE BLOCK.
    bool IsFirebird() const { return parts_.NamesFirebirdDriver(); }

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    // Cuts short the call the owning thread is making on this connection: a Firebird
    // attachment's call, or an ODBC statement's; the call fails with the provider's message.
    // From any thread while the connection exists; a connect in progress is not reached.
    void Cancel();

private:
    friend class DbQuery;

    void Configure();
    void CheckFirebirdAnswers() const;
    void Attach(DbQuery* query);
    void Detach(DbQuery* query);
    void ReleaseQueries();
    // The handles Cancel reaches, kept under cancelMutex_ while they are valid.
    void ListStatement(void* handle);
    void UnlistStatement(void* handle);
    void RequireOpen(const char* operation) const;
    // Transactions begun or ended so far; a statement prepared under another count is stale.
    quint64 TransactionSerial() const { return transactionSerial_; }
    [[noreturn]] void RaiseProviderError(const QSqlError& error, const QString& fallback) const;
    [[noreturn]] void RaiseProviderText(const QString& text) const;
    [[noreturn]] void RaiseComponentError(const QString& message) const;

    QString connectionString_;
    ConnectionStringParts parts_;
    std::chrono::seconds connectTimeout_;
    QString name_;
    QSqlDatabase database_;
    QList<DbQuery*> queries_;
    bool inTransaction_ = false;
    quint64 transactionSerial_ = 0;
    std::mutex cancelMutex_;
    quint32 attachment_ = 0;
    QList<void*> statements_;
};

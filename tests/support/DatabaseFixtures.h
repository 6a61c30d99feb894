#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

// The kinds of real test database, each reached by the connection string the program uses.
enum class TestDatabaseKind { FirebirdEmbedded, FirebirdServer, Sqlite, PostgreSql, MariaDb };

// Makes fresh test databases and fills them. Files live in a folder of its own that the
// firebird user may write; PostgreSQL databases are schemas of their own in corvane_test,
// MariaDB ones databases named corvane_test_*, all dropped with the fixture. Statements run through
// Qt SQL directly, not through DbConnection.
class DatabaseFixtures {
public:
    // One receiver item: a row of Parts and its row of Stock_Balance.
    struct Item {
        int partno;
        int code;
        QVariant quantity; // a null QVariant writes Null
    };

    DatabaseFixtures();
    ~DatabaseFixtures();
    DatabaseFixtures(const DatabaseFixtures&) = delete;
    DatabaseFixtures& operator=(const DatabaseFixtures&) = delete;

    static QString KindName(TestDatabaseKind kind);
    static QString SysdbaPassword();
    static QString PostgreSqlPassword();
    // Makes (or makes anew) a PostgreSQL login with the password, as the cluster's superuser;
    // returns the connection string of corvane_test for it, without its PWD part. Needs root.
    static QString CreatePostgreSqlLogin(const QString& role, const QString& password);

    QString Folder() const;

    // Each returns the connection string of a new empty database named after name.
    QString Create(TestDatabaseKind kind, const QString& name);
    QString CreateFirebirdEmbedded(const QString& name);
    // server is "host[/port]", the shared server on 127.0.0.1:3050 by default.
    QString CreateFirebirdServer(const QString& name,
                                 const QString& server = QStringLiteral("127.0.0.1"),
                                 const QString& folder = QString());
    QString CreateSqlite(const QString& name);
    QString CreatePostgreSql(const QString& name);
    QString CreateMariaDb(const QString& name);

    // Runs the statements in one transaction; throws std::runtime_error on a failure.
    // Firebird uses a new table only after the transaction that made it committed.
    static void Run(const QString& connectionString, const QStringList& statements);
    // The rows of a select, each as its column values.
    static QList<QVariantList> Select(const QString& connectionString, const QString& sql);
    // PostgreSQL: the statements of other sessions running now whose text holds textPart.
    static int RunningStatements(const QString& connectionString, const QString& textPart);

    // Parts (Partno, Code, Name) with an index on Code, Stock_Balance (Partno, Quantity).
    static void CreateReceiverSchema(const QString& connectionString);
    // Empties both receiver tables and writes the items, all in one transaction.
    static void SeedReceiver(const QString& connectionString, const QList<Item>& items);
    // count items: Partno 1..count, Code 1000 + Partno, Quantity Partno.
    static QList<Item> NumberedItems(int count);

private:
    QTemporaryDir folder_;
    QStringList schemas_;
    QStringList mariaDbDatabases_;
};

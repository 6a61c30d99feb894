#include "DatabaseFixtures.h"

#include "platform/ConnectionStringParts.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <pwd.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>

namespace {
QAtomicInteger<int> fixtureCounter;

const QString kPostgreSqlRole = QStringLiteral("corvane_test");
const QString kPostgreSqlDatabase =
    QStringLiteral("Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=5432;Database=corvane_test;");
const QString kPostgreSqlBase =
    kPostgreSqlDatabase + QStringLiteral("UID=corvane_test;PWD=corvane_test");
const QString kMariaDbBase = QStringLiteral("Driver=MariaDB Unicode;Server=127.0.0.1;Port=3306;"
                                            "UID=corvane_test;PWD=corvane_test;Database=");

// A name of lower-case letters, digits and underscores, unique to this fixture's process.
QString UniqueName(const QString& prefix, const QString& name) {
    return QStringLiteral("%1%2_%3_%4")
        .arg(prefix)
        .arg(QCoreApplication::applicationPid())
        .arg(fixtureCounter.fetchAndAddRelaxed(1))
        .arg(name.toLower().remove(QRegularExpression("[^a-z0-9_]")));
}

[[noreturn]] void Fail(const QString& what, const QSqlError& error) {
    throw std::runtime_error((what + QStringLiteral(": ") + error.text()).toUtf8().toStdString());
}

// Opens the string the way the program does, without the program's code, for f.
void WithDatabase(const QString& connectionString, const std::function<void(QSqlDatabase&)>& f) {
    const QString name =
        QStringLiteral("DatabaseFixtures-%1").arg(fixtureCounter.fetchAndAddRelaxed(1));
    {
        const ConnectionStringParts parts(connectionString);
        QSqlDatabase database;
        if (parts.NamesFirebirdDriver()) {
            database = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), name);
            database.setDatabaseName(parts.Value(QStringLiteral("DBNAME")));
            database.setUserName(parts.Value(QStringLiteral("UID")));
            database.setPassword(parts.Value(QStringLiteral("PWD")));
            database.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
        } else {
            database = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
            database.setDatabaseName(connectionString);
            database.setConnectOptions(QStringLiteral("SQL_ATTR_ODBC_VERSION=SQL_OV_ODBC3"));
        }
        try {
            if (!database.open())
                Fail(QStringLiteral("open"), database.lastError());
            f(database);
        } catch (...) {
            database.close();
            database = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw;
        }
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void RunIsql(const QString& scriptPath, const QString& script) {
    QFile file(scriptPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(script.toUtf8()) < 0)
        throw std::runtime_error("cannot write " + scriptPath.toStdString());
    file.close();
    QProcess isql;
    isql.setProcessChannelMode(QProcess::MergedChannels);
    isql.start(QStringLiteral("isql-fb"),
               {QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-i"), scriptPath});
    if (!isql.waitForFinished(60000) || isql.exitStatus() != QProcess::NormalExit ||
        isql.exitCode() != 0)
        throw std::runtime_error("isql-fb failed: " + isql.readAll().toStdString());
}

QString FirebirdConnectionString(const QString& dbName) {
    return QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;UID=SYSDBA;PWD=%2")
        .arg(dbName, DatabaseFixtures::SysdbaPassword());
}

QString Quoted(QString text) {
    return text.replace(QLatin1Char('\''), QStringLiteral("''"));
}
} // namespace

DatabaseFixtures::DatabaseFixtures() {
    if (geteuid() == 0) {
        // The shared server runs as firebird and writes its database files here.
        if (const passwd* firebird = getpwnam("firebird"))
            chown(folder_.path().toLocal8Bit().constData(), firebird->pw_uid, firebird->pw_gid);
    }
}

DatabaseFixtures::~DatabaseFixtures() {
    for (const QString& schema : std::as_const(schemas_)) {
        try {
            Run(kPostgreSqlBase, {QStringLiteral("drop schema if exists %1 cascade").arg(schema)});
        } catch (const std::exception&) {
            // A cluster that went away takes its schemas with it.
        }
    }
    for (const QString& database : std::as_const(mariaDbDatabases_)) {
        try {
            Run(kMariaDbBase + QStringLiteral("corvane_test"),
                {QStringLiteral("drop database if exists %1").arg(database)});
        } catch (const std::exception&) {
            // A server that went away takes its databases with it.
        }
    }
}

QString DatabaseFixtures::KindName(TestDatabaseKind kind) {
    switch (kind) {
    case TestDatabaseKind::FirebirdEmbedded:
        return QStringLiteral("Firebird embedded");
    case TestDatabaseKind::FirebirdServer:
        return QStringLiteral("Firebird server");
    case TestDatabaseKind::Sqlite:
        return QStringLiteral("SQLite ODBC");
    case TestDatabaseKind::PostgreSql:
        return QStringLiteral("PostgreSQL ODBC");
    case TestDatabaseKind::MariaDb:
        return QStringLiteral("MariaDB ODBC");
    }
    return QString();
}

QString DatabaseFixtures::SysdbaPassword() {
    QFile file(QStringLiteral("/etc/firebird/3.0/SYSDBA.password"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QRegularExpression line(QStringLiteral(R"re(^\s*ISC_PASSWORD\s*=\s*"?([^"\s]*)"?)re"),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(file.readAll())).captured(1);
}

QString DatabaseFixtures::PostgreSqlPassword() {
    return kPostgreSqlRole;
}

QString DatabaseFixtures::CreatePostgreSqlLogin(const QString& role, const QString& password) {
    QString literal = password;
    literal.replace(u'\'', QStringLiteral("''"));
    const QString sql = QStringLiteral("drop role if exists %1; create role %1 login password '%2'")
                            .arg(role, literal);
    QProcess psql;
    psql.start(QStringLiteral("runuser"),
               {QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"),
                QStringLiteral("psql"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-qc"), sql});
    if (!psql.waitForFinished(30000) || psql.exitStatus() != QProcess::NormalExit ||
        psql.exitCode() != 0)
        throw std::runtime_error("psql: " + psql.readAllStandardError().toStdString());
    return kPostgreSqlDatabase + QStringLiteral("UID=") + role;
}

QString DatabaseFixtures::Folder() const {
    return folder_.path();
}

QString DatabaseFixtures::Create(TestDatabaseKind kind, const QString& name) {
    switch (kind) {
    case TestDatabaseKind::FirebirdEmbedded:
        return CreateFirebirdEmbedded(name);
    case TestDatabaseKind::FirebirdServer:
        return CreateFirebirdServer(name);
    case TestDatabaseKind::Sqlite:
        return CreateSqlite(name);
    case TestDatabaseKind::PostgreSql:
        return CreatePostgreSql(name);
    case TestDatabaseKind::MariaDb:
        return CreateMariaDb(name);
    }
    return QString();
}

QString DatabaseFixtures::CreateFirebirdEmbedded(const QString& name) {
    const QString path = folder_.filePath(name + QStringLiteral(".fdb"));
    RunIsql(folder_.filePath(name + QStringLiteral(".sql")),
            QStringLiteral("CREATE DATABASE '%1' USER 'SYSDBA' DEFAULT CHARACTER SET UTF8;\n")
                .arg(Quoted(path)));
    return FirebirdConnectionString(path);
}

QString DatabaseFixtures::CreateFirebirdServer(const QString& name, const QString& server,
                                               const QString& folder) {
    const QString path = (folder.isEmpty() ? folder_.path() : folder) + QLatin1Char('/') + name +
                         QStringLiteral("-server.fdb");
    const QString dbName = server + QLatin1Char(':') + path;
    RunIsql(folder_.filePath(name + QStringLiteral("-server.sql")),
            QStringLiteral("CREATE DATABASE '%1' USER 'SYSDBA' PASSWORD '%2' "
                           "DEFAULT CHARACTER SET UTF8;\n")
                .arg(Quoted(dbName), Quoted(SysdbaPassword())));
    return FirebirdConnectionString(dbName);
}

QString DatabaseFixtures::CreateSqlite(const QString& name) {
    return QStringLiteral("Driver=SQLite3;Database=%1")
        .arg(folder_.filePath(name + QStringLiteral(".sqlite")));
}

QString DatabaseFixtures::CreatePostgreSql(const QString& name) {
    const QString schema = UniqueName(QStringLiteral("t"), name);
    Run(kPostgreSqlBase, {QStringLiteral("create schema %1").arg(schema)});
    schemas_.append(schema);
    return kPostgreSqlBase + QStringLiteral(";ConnSettings=set search_path to ") + schema;
}

QString DatabaseFixtures::CreateMariaDb(const QString& name) {
    const QString database = UniqueName(QStringLiteral("corvane_test_"), name);
    Run(kMariaDbBase + QStringLiteral("corvane_test"),
        {QStringLiteral("create database %1 character set utf8mb4").arg(database)});
    mariaDbDatabases_.append(database);
    return kMariaDbBase + database;
}

void DatabaseFixtures::Run(const QString& connectionString, const QStringList& statements) {
    WithDatabase(
        connectionString,
        [&](QSqlDatabase& database) {
            if (!database.transaction())
                Fail(QStringLiteral("begin"), database.lastError());
            for (const QString& statement : statements) {
                QSqlQuery query(database);
                if (!query.exec(statement)) {
                    const QSqlError error = query.lastError();
                    query = QSqlQuery();
                    database.rollback();
                    Fail(statement, error);
                }
            }
            if (!database.commit())
                Fail(QStringLiteral("commit"), database.lastError());
        });
}

int DatabaseFixtures::RunningStatements(const QString& connectionString, const QString& textPart) {
    return Select(connectionString,
                  QStringLiteral("select count(*) from pg_stat_activity where state = 'active' "
                                 "and pid <> pg_backend_pid() and query like '%%1%'")
                      .arg(textPart))
        .value(0)
        .value(0)
        .toInt();
}

QList<QVariantList> DatabaseFixtures::Select(const QString& connectionString, const QString& sql) {
    QList<QVariantList> rows;
    WithDatabase(connectionString, [&](QSqlDatabase& database) {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(sql))
            Fail(sql, query.lastError());
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(query.value(i));
            rows.append(row);
        }
    });
    return rows;
}

void DatabaseFixtures::CreateReceiverSchema(const QString& connectionString) {
    Run(connectionString,
        {QStringLiteral("create table Parts (Partno integer not null primary key, Code integer, "
                        "Name varchar(100))"),
         QStringLiteral("create index Parts_Code on Parts (Code)"),
         QStringLiteral("create table Stock_Balance (Partno integer not null, "
                        "Quantity double precision)")});
}

void DatabaseFixtures::SeedReceiver(const QString& connectionString, const QList<Item>& items) {
    WithDatabase(
        connectionString,
        [&](QSqlDatabase& database) {
            if (!database.transaction())
                Fail(QStringLiteral("begin"), database.lastError());
            auto run = [&](QSqlQuery& query, const QVariantList& values) {
                for (int i = 0; i < values.size(); ++i)
                    query.bindValue(i, values.at(i));
                if (!query.exec())
                    Fail(query.lastQuery(), query.lastError());
            };
            {
                QSqlQuery clear(database);
                for (const char* sql : {"delete from Stock_Balance", "delete from Parts"})
                    if (!clear.exec(QString::fromLatin1(sql)))
                        Fail(QString::fromLatin1(sql), clear.lastError());
                QSqlQuery part(database);
                QSqlQuery balance(database);
                part.prepare(
                    QStringLiteral("insert into Parts (Partno, Code, Name) values (?, ?, ?)"));
                balance.prepare(
                    QStringLiteral("insert into Stock_Balance (Partno, Quantity) values (?, ?)"));
                for (const Item& item : items) {
                    run(part, {item.partno, item.code, QStringLiteral("Item %1").arg(item.code)});
                    run(balance, {item.partno, item.quantity.isNull()
                                                   ? QVariant(QMetaType::fromType<double>())
                                                   : item.quantity});
                }
            }
            if (!database.commit())
                Fail(QStringLiteral("commit"), database.lastError());
        });
}

QList<DatabaseFixtures::Item> DatabaseFixtures::NumberedItems(int count) {
    QList<Item> items;
    items.reserve(count);
    for (int partno = 1; partno <= count; ++partno)
        items.append({partno, 1000 + partno, double(partno)});
    return items;
}

#include "demo/DemoData.h"

#include "core/TDm.h"
#include "demo/ConfigurationRows.h"
#include "platform/AutomationObject.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/MainThreadHandOver.h"
#include "platform/ProfileFile.h"
#include "service/HeadlessPrompts.h"
#include "service/HeadlessWindowLink.h"
#include "service/TSynchronization_Service.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <functional>

namespace {

const QString kFirebirdConfigFolder = QStringLiteral("/etc/firebird/3.0");
const QString kInfobaseUser = QStringLiteral("Администратор");
const QString kInfobasePassword = QStringLiteral("секрет");
const QString kReceiverPassword = QStringLiteral("masterkey");
const QString kSqlQuery = QStringLiteral("select Code, Quantity from Balances");
constexpr int kOneCConnectionType = 3; // V77.Application

QAtomicInteger<int> connectionCounter;

// Index of an item, 0 for the first code.
int ItemIndex(int code) {
    return code - DemoData::kFirstCode;
}

double SqlQuantity(int index, int round) {
    return (index * 37 + round * 11) % 97;
}
double MainWarehouseQuantity(int index, int round) {
    return (index * 13 + round * 7) % 50;
}
double RetailWarehouseQuantity(int index, int round) {
    return (index + round * 3) % 5 + 0.5;
}

void WriteFile(const QString& path, const QByteArray& content) {
    // Replaced whole, so a reader never meets half a file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        throw Exception(QStringLiteral("Unable to write to %1").arg(path));
}

QString FirebirdMessageFile() {
    const QDir libraries(QStringLiteral("/usr/lib"));
    for (const QString& folder : libraries.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString path =
            libraries.filePath(folder + QStringLiteral("/firebird/3.0/firebird.msg"));
        if (QFileInfo::exists(path))
            return path;
    }
    throw Exception(QStringLiteral("firebird.msg not found under /usr/lib"));
}

void CopyReplacing(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw Exception(QStringLiteral("Cannot copy %1 to %2").arg(from, to));
}

// Opens a uniquely named Qt SQL connection for work and removes it on every path.
void WithDatabase(const QString& driver, const QString& databaseName,
                  const std::function<void(QSqlDatabase&)>& work) {
    const QString name = QStringLiteral("DemoData-%1").arg(connectionCounter.fetchAndAddRelaxed(1));
    // Declared first so that it runs after the last copy of the connection is gone.
    const auto remove = qScopeGuard([&name] { QSqlDatabase::removeDatabase(name); });
    QSqlDatabase database = QSqlDatabase::addDatabase(driver, name);
    database.setDatabaseName(databaseName);
    if (driver == QLatin1String("QIBASE"))
        database.setUserName(QStringLiteral("SYSDBA"));
    else
        database.setConnectOptions(QStringLiteral("SQL_ATTR_ODBC_VERSION=SQL_OV_ODBC3"));
    if (!database.open())
        throw Exception(databaseName + QStringLiteral(": ") + database.lastError().text());
    work(database);
    database.close();
}

void Execute(QSqlQuery& query, const QString& sql) {
    if (!query.exec(sql))
        throw Exception(sql + QStringLiteral(": ") + query.lastError().text());
}

QString SqlQuoted(QString text) {
    return u'\'' + text.replace(u'\'', QStringLiteral("''")) + u'\'';
}

} // namespace

DemoData::DemoData(QString programFolder)
    : programFolder_(QDir(programFolder).absolutePath()) {}

QString DemoData::FirebirdRoot() const {
    return QDir(programFolder_).filePath(QStringLiteral("firebird"));
}

QString DemoData::FirebirdLockFolder() const {
    return QDir(FirebirdRoot()).filePath(QStringLiteral("lock"));
}

void DemoData::UsePrivateFirebirdRoot() const {
    const QDir root(FirebirdRoot());
    if (!root.exists(QStringLiteral("firebird.conf")))
        MakePrivateFirebirdRoot();
    qputenv("FIREBIRD", QFile::encodeName(FirebirdRoot()));
    qputenv("FIREBIRD_LOCK", QFile::encodeName(FirebirdLockFolder()));
}

void DemoData::MakePrivateFirebirdRoot() const {
    const QDir root(FirebirdRoot());
    if (!QDir().mkpath(FirebirdLockFolder()))
        throw Exception(QStringLiteral("Cannot make %1").arg(FirebirdLockFolder()));
    for (const char* file : {"databases.conf", "plugins.conf", "fbtrace.conf"}) {
        const QString name = QString::fromLatin1(file);
        CopyReplacing(QDir(kFirebirdConfigFolder).filePath(name), root.filePath(name));
    }
    CopyReplacing(FirebirdMessageFile(), root.filePath(QStringLiteral("firebird.msg")));
    // Debian's embedded engine runs Super, which lets one process alone open a file.
    WriteFile(root.filePath(QStringLiteral("firebird.conf")),
              QByteArrayLiteral("ServerMode = SuperClassic\n"));
}

void DemoData::Build(const QString& standInProgram, int periodMinutes) const {
    MakePrivateFirebirdRoot();
    UsePrivateFirebirdRoot();
    CreateReceiver(Feed::Sql);
    CreateReceiver(Feed::OneC);
    WriteInfobase();
    WriteSourceBalances(0);
    WriteRegistration(standInProgram);
    WriteSettings(periodMinutes);
}

void DemoData::WriteSourceBalances(int round) const {
    WriteSqlBalances(round);
    WriteInfobaseBalances(round);
}

double DemoData::SourceQuantity(Feed feed, int code, int round) {
    const int index = ItemIndex(code);
    if (feed == Feed::Sql)
        return SqlQuantity(index, round);
    return MainWarehouseQuantity(index, round) + RetailWarehouseQuantity(index, round);
}

QMap<int, double> DemoData::RoundQuantities(Feed feed, int round) {
    QMap<int, double> quantities;
    for (int code = kFirstCode; code < kFirstCode + kItemCount; ++code)
        quantities.insert(code, SourceQuantity(feed, code, round));
    return quantities;
}

QString DemoData::ReceiverPath(Feed feed) const {
    return QDir(programFolder_)
        .filePath(feed == Feed::Sql ? QStringLiteral("receiver-sql.fdb")
                                    : QStringLiteral("receiver-1c.fdb"));
}

QString DemoData::ReceiverConnectionString(Feed feed) const {
    return QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;UID=SYSDBA;PWD=%2")
        .arg(ReceiverPath(feed), kReceiverPassword);
}

QString DemoData::SqlSourceConnectionString() const {
    return QStringLiteral("Driver=SQLite3;Database=%1")
        .arg(QDir(programFolder_).filePath(QStringLiteral("source.sqlite")));
}

QString DemoData::InfobaseFolder() const {
    return QDir(programFolder_).filePath(QStringLiteral("infobase"));
}

QString DemoData::InfobaseCommandLine() const {
    return QStringLiteral("/D\"%1\" /N%2 /P%3")
        .arg(InfobaseFolder(), kInfobaseUser, kInfobasePassword);
}

QString DemoData::SettingsPath() const {
    return QDir(programFolder_).filePath(QStringLiteral("Corvane.ini"));
}

QString DemoData::RegistrationPath() const {
    return QDir(programFolder_).filePath(QStringLiteral("Automation.ini"));
}

void DemoData::CreateReceiver(Feed feed) const {
    const QString path = ReceiverPath(feed);
    QFile::remove(path);
    QString script = QStringLiteral("CREATE DATABASE %1 USER 'SYSDBA' DEFAULT CHARACTER SET UTF8;\n"
                                    "CREATE TABLE Parts (Partno INTEGER NOT NULL PRIMARY KEY, "
                                    "Code INTEGER, Name VARCHAR(100));\n"
                                    // Without it every update scans Parts.
                                    "CREATE INDEX Parts_Code ON Parts (Code);\n"
                                    "CREATE TABLE Stock_Balance (Partno INTEGER NOT NULL "
                                    "PRIMARY KEY, Quantity DOUBLE PRECISION);\n"
                                    "COMMIT;\n")
                         .arg(SqlQuoted(path));
    for (int partno = 1; partno <= kItemCount; ++partno) {
        const int code = kFirstCode + partno - 1;
        script += QStringLiteral("INSERT INTO Parts VALUES (%1, %2, 'Товар %2');\n"
                                 "INSERT INTO Stock_Balance VALUES (%1, 0);\n")
                      .arg(partno)
                      .arg(code);
    }
    script += QStringLiteral("COMMIT;\n");

    const QString scriptPath = path + QStringLiteral(".sql");
    WriteFile(scriptPath, script.toUtf8());
    QProcess isql;
    isql.setProcessChannelMode(QProcess::MergedChannels);
    isql.start(QStringLiteral("isql-fb"),
               {QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-i"), scriptPath});
    const bool done = isql.waitForFinished(120000) && isql.exitStatus() == QProcess::NormalExit &&
                      isql.exitCode() == 0;
    QFile::remove(scriptPath);
    if (!done)
        throw Exception(QStringLiteral("isql-fb could not make %1: %2 %3")
                            .arg(path, isql.errorString(), QString::fromUtf8(isql.readAll())));
}

void DemoData::WriteSqlBalances(int round) const {
    WithDatabase(
        QStringLiteral("QODBC"), SqlSourceConnectionString(),
        [&](QSqlDatabase& database) {
            QSqlQuery query(database);
            Execute(query, QStringLiteral("create table if not exists Balances "
                                          "(Code integer primary key, Quantity double)"));
            if (!database.transaction())
                throw Exception(database.lastError().text());
            try {
                Execute(query, QStringLiteral("delete from Balances"));
                query.prepare(
                    QStringLiteral("insert into Balances (Code, Quantity) values (?, ?)"));
                for (int code = kFirstCode; code < kFirstCode + kItemCount; ++code) {
                    query.bindValue(0, code);
                    query.bindValue(1, SqlQuantity(ItemIndex(code), round));
                    if (!query.exec())
                        throw Exception(query.lastError().text());
                }
            } catch (const Exception&) {
                database.rollback();
                throw;
            }
            if (!database.commit())
                throw Exception(database.lastError().text());
        });
}

void DemoData::WriteInfobaseBalances(int round) const {
    QString text;
    for (int code = kFirstCode; code < kFirstCode + kItemCount; ++code) {
        const int index = ItemIndex(code);
        text += QStringLiteral("%1;Основной;%2\n%1;Розница;%3\n")
                    .arg(code)
                    .arg(MainWarehouseQuantity(index, round))
                    .arg(RetailWarehouseQuantity(index, round));
    }
    WriteFile(QDir(InfobaseFolder()).filePath(QStringLiteral("Balances.txt")), text.toUtf8());
}

void DemoData::WriteInfobase() const {
    if (!QDir().mkpath(InfobaseFolder()))
        throw Exception(QStringLiteral("Cannot make %1").arg(InfobaseFolder()));
    WriteFile(QDir(InfobaseFolder()).filePath(QStringLiteral("Users.txt")),
              (kInfobaseUser + u';' + kInfobasePassword + u'\n').toUtf8());
}

void DemoData::WriteRegistration(const QString& standInProgram) const {
    const QFileInfo program(standInProgram);
    const QString registered =
        program.absolutePath() == programFolder_ ? program.fileName() : program.absoluteFilePath();
    QFile::remove(RegistrationPath());
    ProfileFile file(RegistrationPath());
    for (int type = 2; type <= 6; ++type)
        file.WriteString(ProgIdForType(type), QStringLiteral("Program"), registered);
    file.Save();
}

void DemoData::WriteSettings(int periodMinutes) const {
    // A fresh file that keeps only what the installation supplied.
    const QString connectionTypes = QStringLiteral("Connection_Types");
    const QStringList typeLines = ProfileFile(SettingsPath()).ReadSection(connectionTypes);
    QFile::remove(SettingsPath());
    ProfileFile installed(SettingsPath());
    for (const QString& line : typeLines) {
        const qsizetype equals = line.indexOf(u'=');
        installed.WriteString(connectionTypes, line.left(equals), line.mid(equals + 1));
    }
    installed.Save();

    const auto clock = std::make_shared<SystemClock>();
    HeadlessPrompts prompts(programFolder_, *clock);
    HeadlessWindowLink window;
    ServiceEnvironment environment;
    environment.ProgramFolder = programFolder_;
    environment.TimeSource = clock;
    environment.HandOver = std::make_shared<MainThreadHandOver>();
    environment.OperatorPrompts = &prompts;
    environment.Window = &window;
    TDm dm;
    TSynchronization_Service service(dm, environment);
    if (!service.Loaded())
        throw Exception(service.LoadError());

    // Posting each row hides and enciphers its password and saves its table, as the window does.
    ConfigurationRows rows(dm);
    const int sqlReceiver =
        rows.AddReceiver(QStringLiteral("Склад (из SQL)"), ReceiverConnectionString(Feed::Sql));
    const int oneCReceiver =
        rows.AddReceiver(QStringLiteral("Склад (из 1С)"), ReceiverConnectionString(Feed::OneC));
    const int sqlSource =
        rows.AddSqlSource(QStringLiteral("Остатки SQLite"), SqlSourceConnectionString(), kSqlQuery,
                          QStringLiteral("Quantity"));
    const int oneCSource = rows.AddInfobaseSource(QStringLiteral("Информационная база 1С"),
                                                  kOneCConnectionType, InfobaseCommandLine());
    rows.AddConnection(QStringLiteral("SQLite - Firebird"), sqlReceiver, sqlSource, periodMinutes);
    rows.AddConnection(QStringLiteral("1С - Firebird"), oneCReceiver, oneCSource, periodMinutes);
}

QMap<int, double> DemoData::ReceiverQuantities(Feed feed) const {
    QMap<int, double> quantities;
    WithDatabase(QStringLiteral("QIBASE"), ReceiverPath(feed), [&](QSqlDatabase& database) {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        Execute(query, QStringLiteral("select p.Code, s.Quantity from Parts p "
                                      "join Stock_Balance s on s.Partno = p.Partno"));
        while (query.next())
            if (!query.value(1).isNull())
                quantities.insert(query.value(0).toInt(), query.value(1).toDouble());
    });
    return quantities;
}

QMap<int, double> DemoData::SourceQuantities(Feed feed) const {
    QMap<int, double> quantities;
    if (feed == Feed::Sql) {
        WithDatabase(QStringLiteral("QODBC"), SqlSourceConnectionString(),
                     [&](QSqlDatabase& database) {
                         QSqlQuery query(database);
                         query.setForwardOnly(true);
                         Execute(query, kSqlQuery);
                         while (query.next())
                             quantities.insert(query.value(0).toInt(), query.value(1).toDouble());
                     });
        return quantities;
    }
    QFile file(QDir(InfobaseFolder()).filePath(QStringLiteral("Balances.txt")));
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file %1").arg(file.fileName()));
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(';');
        if (parts.size() == 3)
            quantities[parts[0].toInt()] += parts[2].toDouble();
    }
    return quantities;
}

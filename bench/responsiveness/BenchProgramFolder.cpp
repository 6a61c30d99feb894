#include "BenchProgramFolder.h"

#include "BenchEnvironment.h"

#include "support/TestPaths.h"

#include "core/TDm.h"
#include "demo/ConfigurationRows.h"
#include "platform/Clock.h"
#include "service/HeadlessPrompts.h"
#include "service/HeadlessWindowLink.h"
#include "service/TSynchronization_Service.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace {

const QString kSourceQuery =
    QStringLiteral("select Code, Qty + strftime('%s', 'now') % 7 as Qty from Balances");

void Copy(const QString& from, const QString& to) {
    if (!QFile::copy(from, to))
        throw std::runtime_error(
            QStringLiteral("cannot copy %1 to %2").arg(from, to).toStdString());
}

// The path part of a connection string made by DatabaseFixtures.
QString DatabasePath(const QString& connectionString) {
    for (const QString& part : connectionString.split(u';')) {
        const qsizetype equals = part.indexOf(u'=');
        const QString key = part.left(equals);
        if (key.compare(QLatin1String("DBNAME"), Qt::CaseInsensitive) == 0 ||
            key.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0)
            return part.mid(equals + 1);
    }
    throw std::runtime_error("no database in " + connectionString.toStdString());
}

} // namespace

BenchProgramFolder::BenchProgramFolder(int connections, int items, int periodMinutes)
    : path_(QDir(databases_.Folder()).filePath(QStringLiteral("program"))) {
    if (!QDir().mkpath(path_))
        throw std::runtime_error("cannot make " + path_.toStdString());

    const QString receiver = databases_.CreateFirebirdEmbedded(QStringLiteral("receiver"));
    DatabaseFixtures::CreateReceiverSchema(receiver);
    DatabaseFixtures::SeedReceiver(receiver, DatabaseFixtures::NumberedItems(items));
    const QString source = databases_.CreateSqlite(QStringLiteral("source"));
    QStringList statements{QStringLiteral("create table Balances (Code integer, Qty double)")};
    for (const DatabaseFixtures::Item& item : DatabaseFixtures::NumberedItems(items))
        statements.append(QStringLiteral("insert into Balances values (%1, %2)")
                              .arg(item.code)
                              .arg(item.quantity.toDouble() + 0.5));
    DatabaseFixtures::Run(source, statements);

    for (int number = 1; number <= connections; ++number) {
        Copy(DatabasePath(receiver), DatabasePath(ReceiverConnectionString(number)));
        Copy(DatabasePath(source), DatabasePath(SourceConnectionString(number)));
    }
    Copy(TestPaths::SourceDir() + QStringLiteral("/packaging/Corvane.ini"), SettingsPath());
    WriteSettings(connections, periodMinutes);
}

QString BenchProgramFolder::SettingsPath() const {
    return QDir(path_).filePath(QStringLiteral("Corvane.ini"));
}

QString BenchProgramFolder::ReceiverConnectionString(int number) const {
    return QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;UID=SYSDBA;PWD=%2")
        .arg(QDir(path_).filePath(QStringLiteral("receiver-%1.fdb").arg(number)),
             DatabaseFixtures::SysdbaPassword());
}

QString BenchProgramFolder::SourceConnectionString(int number) const {
    return QStringLiteral("Driver=SQLite3;Database=%1")
        .arg(QDir(path_).filePath(QStringLiteral("source-%1.sqlite").arg(number)));
}

void BenchProgramFolder::WriteSettings(int connections, int periodMinutes) const {
    const auto clock = std::make_shared<SystemClock>();
    HeadlessPrompts prompts(path_, *clock);
    HeadlessWindowLink window;
    TDm dm;
    TSynchronization_Service service(dm, BenchEnvironment(path_, clock, prompts, window));
    if (!service.Loaded())
        throw std::runtime_error(service.LoadError().toStdString());

    ConfigurationRows rows(dm);
    for (int number = 1; number <= connections; ++number) {
        const int receiverId = rows.AddReceiver(QStringLiteral("Receiver %1").arg(number),
                                                ReceiverConnectionString(number));
        const int sourceId =
            rows.AddSqlSource(QStringLiteral("Source %1").arg(number),
                              SourceConnectionString(number), kSourceQuery, QStringLiteral("Qty"));
        rows.AddConnection(QStringLiteral("Connection %1").arg(number), receiverId, sourceId,
                           periodMinutes);
    }
}

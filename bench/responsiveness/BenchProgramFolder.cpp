#include "BenchProgramFolder.h"

#include "BenchEnvironment.h"

#include "support/TestPaths.h"

#include "core/RecordSet.h"
#include "core/uDm.h"
#include "platform/Clock.h"
#include "service/HeadlessPrompts.h"
#include "service/HeadlessWindowLink.h"
#include "service/uSupporting.h"

#include <QDir>
#include <QFile>
#include <QTime>

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

    const auto set = [](RecordSet& table, const char* field, const QVariant& value) {
        table.FieldByName(QString::fromLatin1(field)).SetValue(value);
    };
    const auto id = [](RecordSet& table) {
        return table.FieldByName(QStringLiteral("Id")).AsInteger();
    };
    for (int number = 1; number <= connections; ++number) {
        dm.Receiver.Append();
        const int receiverId = id(dm.Receiver);
        set(dm.Receiver, "Name_Receiver", QStringLiteral("Receiver %1").arg(number));
        set(dm.Receiver, "Connection_String", ReceiverConnectionString(number));
        set(dm.Receiver, "Id_Connection_Types", 1);
        set(dm.Receiver, "Key_Field", QStringLiteral("Partno"));
        set(dm.Receiver, "Name_Updated_Field", QStringLiteral("Quantity"));
        set(dm.Receiver, "Name_Table", QStringLiteral("Stock_Balance"));
        dm.Receiver.Post();

        dm.Source.Append();
        const int sourceId = id(dm.Source);
        set(dm.Source, "Name_Source", QStringLiteral("Source %1").arg(number));
        set(dm.Source, "Id_Connection_Types", 1);
        set(dm.Source, "Connection_String", SourceConnectionString(number));
        set(dm.Source, "SQL_Query", kSourceQuery);
        set(dm.Source, "Name_Docking_Field", QStringLiteral("Code"));
        set(dm.Source, "Name_Updated_Field", QStringLiteral("Qty"));
        dm.Source.Post();

        dm.Connection.Append();
        set(dm.Connection, "Name_Connection", QStringLiteral("Connection %1").arg(number));
        set(dm.Connection, "Id_Receiver", receiverId);
        set(dm.Connection, "Id_Source", sourceId);
        set(dm.Connection, "Time_Update", periodMinutes);
        for (const char* day :
             {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"})
            set(dm.Connection, day, 1);
        dm.Connection.FieldByName(QStringLiteral("TimeStart")).SetAsTime(QTime(0, 0, 0));
        dm.Connection.FieldByName(QStringLiteral("TimeEnd")).SetAsTime(QTime(23, 59, 59));
        dm.Connection.Post();
    }
}

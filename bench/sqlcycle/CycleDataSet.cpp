#include "CycleDataSet.h"

#include "CycleSchema.h"
#include "support/DatabaseFixtures.h"

#include "platform/ConnectionStringParts.h"

#include <QFile>

#include <pwd.h>
#include <unistd.h>

#include <stdexcept>

namespace {

QString DatabasePath(const QString& connectionString) {
    const QString dbName = ConnectionStringParts(connectionString).Value(QStringLiteral("DBNAME"));
    // "host[/port]:path" for a server, a bare path for the embedded engine.
    return dbName.startsWith(QLatin1Char('/')) ? dbName : dbName.section(QLatin1Char(':'), 1);
}

QString FirebirdConnectionString(const QString& dbName) {
    return QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;UID=SYSDBA;PWD=%2")
        .arg(dbName, DatabaseFixtures::SysdbaPassword());
}

// The shared server runs as firebird and must be able to write the copy.
void GiveToFirebird(const QString& path) {
    const passwd* firebird = getpwnam("firebird");
    if (!firebird || chown(path.toLocal8Bit().constData(), firebird->pw_uid, firebird->pw_gid))
        throw std::runtime_error("cannot give " + path.toStdString() + " to the firebird user");
}

int ChangedEvery(int changedPercent) {
    if (changedPercent <= 0 || 100 % changedPercent != 0)
        throw std::runtime_error("the changed percentage must divide 100");
    return 100 / changedPercent;
}

} // namespace

CycleDataSet::CycleDataSet(DatabaseFixtures& fixtures, int itemCount, int changedPercent)
    : fixtures_(fixtures)
    , itemCount_(itemCount)
    , changedEvery_(ChangedEvery(changedPercent)) {
    const QString size = QStringLiteral("%1-%2").arg(itemCount).arg(changedPercent);
    const QString receiver = fixtures_.CreateFirebirdEmbedded(QStringLiteral("receiver-") + size);
    templatePath_ = DatabasePath(receiver);
    DatabaseFixtures::Run(
        receiver,
        {QStringLiteral("create table Parts (Partno integer not null primary key, "
                        "Code integer, Name varchar(100))"),
         QStringLiteral("create index Parts_Code on Parts (Code)"),
         QStringLiteral("create table Stock_Balance (Partno integer not null primary key, "
                        "Quantity double precision)")});
    // Filled inside the engine: a row at a time from here would take longer than the cycle.
    DatabaseFixtures::Run(
        receiver, {QStringLiteral("execute block as declare i integer = 1; begin "
                                  "while (i <= %1) do begin "
                                  "insert into Parts (Partno, Code, Name) "
                                  "values (:i, :i + %2, 'Item ' || :i); "
                                  "insert into Stock_Balance (Partno, Quantity) values (:i, :i); "
                                  "i = i + 1; end end")
                       .arg(itemCount)
                       .arg(CycleSchema::kCodeOffset)});

    sourceConnectionString_ = fixtures_.CreateSqlite(QStringLiteral("source-") + size);
    DatabaseFixtures::Run(
        sourceConnectionString_,
        {QStringLiteral("create table Balances (Code integer not null primary key, "
                        "Qty double precision)"),
         QStringLiteral("insert into Balances (Code, Qty) "
                        "with recursive Item(i) as (select 1 union all "
                        "select i + 1 from Item where i < %1) "
                        "select i + %2, case when i % %3 = 0 then i + 0.5 else i end from Item")
             .arg(itemCount)
             .arg(CycleSchema::kCodeOffset)
             .arg(changedEvery_)});
}

int CycleDataSet::ChangedItemCount() const {
    return itemCount_ / changedEvery_;
}

QString CycleDataSet::FreshReceiver(ReceiverKind kind, const QString& server) {
    const QString path =
        fixtures_.Folder() + QStringLiteral("/cycle-%1-%2.fdb").arg(itemCount_).arg(++copies_);
    QFile::remove(path);
    if (!QFile::copy(templatePath_, path))
        throw std::runtime_error("cannot copy the receiver to " + path.toStdString());
    if (kind == ReceiverKind::Embedded)
        return FirebirdConnectionString(path);
    GiveToFirebird(path);
    return FirebirdConnectionString(server + QLatin1Char(':') + path);
}

void CycleDataSet::CheckUpdated(const QString& receiverConnectionString) const {
    const QList<QVariantList> counts = DatabaseFixtures::Select(
        receiverConnectionString,
        QStringLiteral("select count(*), "
                       "sum(case when Quantity = Partno + 0.5 then 1 else 0 end), "
                       "sum(case when Quantity <> Partno then 1 else 0 end) from Stock_Balance"));
    const QVariantList& row = counts.at(0);
    if (row.at(0).toInt() != itemCount_ || row.at(1).toInt() != ChangedItemCount() ||
        row.at(2).toInt() != ChangedItemCount())
        throw std::runtime_error(
            QStringLiteral("the receiver of %1 items has %2 rows, %3 updated, %4 changed")
                .arg(itemCount_)
                .arg(row.at(0).toInt())
                .arg(row.at(1).toInt())
                .arg(row.at(2).toInt())
                .toStdString());
}

void CycleDataSet::Discard(const QString& receiverConnectionString) {
    QFile::remove(DatabasePath(receiverConnectionString));
}

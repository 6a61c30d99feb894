#include "SoakConnection.h"

#include "platform/ConnectionStringParts.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <stdexcept>

namespace {

constexpr int kFirstCode = 1000;

QVariant QuantityOf(int generation, int partno) {
    return double(generation * 100 + partno);
}

// DBNAME is a bare path for the embedded engine, host[/port]:path for a server.
QString DatabaseFileOf(const QString& connectionString) {
    const QString dbName =
        connectionString.section(QStringLiteral("DBNAME="), 1).section(u';', 0, 0);
    const qsizetype pathStart = dbName.indexOf(QStringLiteral(":/"));
    return pathStart < 0 ? dbName : dbName.mid(pathStart + 1);
}

} // namespace

SoakConnection::SoakConnection(const QString& name, const QString& fileName, bool oneC,
                               TestDatabaseKind receiverKind, DatabaseFixtures& databases)
    : name_(name)
    , probeName_(ProbePrefix() + fileName) {
    QList<DatabaseFixtures::Item> items;
    for (int partno = 1; partno <= kItems; ++partno)
        items.append({partno, kFirstCode + partno, QuantityOf(0, partno)});
    receiver_ = databases.Create(receiverKind, QStringLiteral("receiver-%1").arg(fileName));
    receiverFile_ = DatabaseFileOf(receiver_);
    DatabaseFixtures::CreateReceiverSchema(receiver_);
    DatabaseFixtures::SeedReceiver(receiver_, items);
    DatabaseFixtures::Run(receiver_, {QStringLiteral("create table Soak_Fault (Armed integer)"),
                                      QStringLiteral("create exception Soak_Refused 'Отказ'")});
    DatabaseFixtures::Run(
        receiver_,
        {QStringLiteral("insert into Soak_Fault values (0)"),
         QStringLiteral("create trigger Soak_Refuse for Stock_Balance before update as begin "
                        "if (new.Partno = 3 and exists (select 1 from Soak_Fault where Armed = "
                        "1)) then exception Soak_Refused; end")});
    if (oneC) {
        infobase_ = std::make_unique<InfobaseFixture>();
    } else {
        source_ =
            databases.Create(TestDatabaseKind::Sqlite, QStringLiteral("source-%1").arg(fileName));
        sourceFile_ = source_.section(QStringLiteral("Database="), 1);
        DatabaseFixtures::Run(source_,
                              {QStringLiteral("create table Src (Code integer, Qty numeric)"),
                               QStringLiteral("create table Fault (Armed integer)"),
                               QStringLiteral("insert into Fault values (0)")});
    }
    NextGeneration();
}

SoakConnection::~SoakConnection() {
    CloseProbe();
}

QSqlDatabase SoakConnection::Probe() {
    if (QSqlDatabase::contains(probeName_))
        return QSqlDatabase::database(probeName_);
    const ConnectionStringParts parts(receiver_);
    QSqlDatabase probe = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), probeName_);
    probe.setDatabaseName(parts.Value(QStringLiteral("DBNAME")));
    probe.setUserName(parts.Value(QStringLiteral("UID")));
    probe.setPassword(parts.Value(QStringLiteral("PWD")));
    if (!probe.open())
        throw std::runtime_error("cannot look into " + receiver_.toStdString() + ": " +
                                 probe.lastError().text().toStdString());
    return probe;
}

void SoakConnection::CloseProbe() {
    if (!QSqlDatabase::contains(probeName_))
        return;
    QSqlDatabase::database(probeName_, false).close();
    QSqlDatabase::removeDatabase(probeName_);
}

QString SoakConnection::SourceString() const {
    return infobase_ ? infobase_->CommandLine() : source_;
}

QString SoakConnection::SourceQuery() const {
    // abs() of the smallest integer is an error SQLite raises while stepping to that row.
    return infobase_ ? QString()
                     : QStringLiteral("select Code, case when Code = %1 and (select Armed from "
                                      "Fault) = 1 then abs(-9223372036854775808) else Qty end "
                                      "as Qty from Src order by Code")
                           .arg(kFirstCode + 4);
}

void SoakConnection::NextGeneration() {
    if (sourceAway_)
        return;
    ++generation_;
    WriteSource();
}

void SoakConnection::WriteSource() {
    QStringList rows;
    for (int partno = 1; partno <= kItems; ++partno) {
        const QString quantity = QString::number(QuantityOf(generation_, partno).toDouble());
        rows.append(infobase_
                        ? QStringLiteral("%1;Основной;%2").arg(kFirstCode + partno).arg(quantity)
                        : QStringLiteral("(%1, %2)").arg(kFirstCode + partno).arg(quantity));
    }
    if (infobase_) {
        infobase_->WriteBalances(rows);
        return;
    }
    DatabaseFixtures::Run(source_, {QStringLiteral("delete from Src"),
                                    QStringLiteral("insert into Src values ") + rows.join(u',')});
}

void SoakConnection::Move(const QString& from, const QString& to) {
    if (!QFile::rename(from, to))
        throw std::runtime_error("cannot move " + from.toStdString() + " to " + to.toStdString());
}

void SoakConnection::SetReceiverAway(bool away) {
    if (away == receiverAway_)
        return;
    const QString aside = receiverFile_ + QStringLiteral(".away");
    // The server must let the file go before it can be missed.
    CloseProbe();
    away ? Move(receiverFile_, aside) : Move(aside, receiverFile_);
    receiverAway_ = away;
}

void SoakConnection::SetReceiverRefusesMidway(bool refuses) {
    if (receiverAway_ || refuses == receiverRefuses_)
        return;
    receiverRefuses_ = refuses;
    DatabaseFixtures::Run(
        receiver_, {QStringLiteral("update Soak_Fault set Armed = %1").arg(refuses ? 1 : 0)});
}

void SoakConnection::SetSourceAway(bool away) {
    if (infobase_ || away == sourceAway_)
        return;
    const QString aside = sourceFile_ + QStringLiteral(".away");
    if (away) {
        Move(sourceFile_, aside);
        QDir().mkdir(sourceFile_);
    } else {
        QDir().rmdir(sourceFile_);
        Move(aside, sourceFile_);
    }
    sourceAway_ = away;
}

void SoakConnection::SetSourceFailsMidway(bool fails) {
    if (infobase_ || sourceAway_ || fails == sourceFails_)
        return;
    sourceFails_ = fails;
    DatabaseFixtures::Run(source_,
                          {QStringLiteral("update Fault set Armed = %1").arg(fails ? 1 : 0)});
}

QString SoakConnection::ReceiverMix() {
    QMap<int, QVariant> quantities;
    {
        QSqlQuery select(Probe());
        select.setForwardOnly(true);
        if (!select.exec(QStringLiteral("select Partno, Quantity from Stock_Balance")))
            throw std::runtime_error("cannot read " + receiver_.toStdString() + ": " +
                                     select.lastError().text().toStdString());
        while (select.next())
            quantities.insert(select.value(0).toInt(),
                              select.value(1).isNull() ? QVariant() : select.value(1).toDouble());
    }
    QStringList shown;
    QList<int> generations;
    int nulls = 0;
    for (auto item = quantities.begin(); item != quantities.end(); ++item) {
        shown.append(
            QStringLiteral("%1=%2")
                .arg(item.key())
                .arg(item.value().isNull() ? QStringLiteral("Null") : item.value().toString()));
        if (item.value().isNull()) {
            ++nulls;
            continue;
        }
        const double written = item.value().toDouble() - item.key();
        const int generation = int(written / 100);
        generations.append(generation * 100 == written ? generation : -1);
    }
    const bool cleared = nulls == kItems;
    const bool oneGeneration = quantities.size() == kItems && generations.size() == kItems &&
                               generations.count(generations.first()) == kItems &&
                               generations.first() >= 0 && generations.first() <= generation_;
    if (cleared || oneGeneration)
        return QString();
    return QStringLiteral("receiver of %1 holds %2 (source generation %3)")
        .arg(name_, shown.join(u' '))
        .arg(generation_);
}

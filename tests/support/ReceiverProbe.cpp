#include "ReceiverProbe.h"

#include "DatabaseFixtures.h"

namespace ReceiverProbe {

QString CreateReceiver(DatabaseFixtures& databases, TestDatabaseKind kind, const QString& name,
                       const QList<DatabaseFixtures::Item>& items) {
    const QString receiver = databases.Create(kind, name);
    DatabaseFixtures::CreateReceiverSchema(receiver);
    RecordWrites(receiver);
    DatabaseFixtures::SeedReceiver(receiver, items);
    return receiver;
}

void RecordWrites(const QString& connectionString) {
    DatabaseFixtures::Run(connectionString,
                          {QStringLiteral("create table Written (Partno integer)")});
    DatabaseFixtures::Run(
        connectionString,
        {QStringLiteral("create trigger Stock_Balance_Written for Stock_Balance after update as "
                        "begin insert into Written (Partno) values (new.Partno); end")});
}

void FailUpdateOf(const QString& connectionString, int partno) {
    DatabaseFixtures::Run(connectionString,
                          {QStringLiteral("create exception Refused 'Строка отклонена'")});
    DatabaseFixtures::Run(connectionString,
                          {QStringLiteral("create trigger Stock_Balance_Refused for Stock_Balance "
                                          "before update as begin if (new.Partno = %1) then "
                                          "exception Refused; end")
                               .arg(partno)});
}

QList<int> Written(const QString& connectionString) {
    QList<int> partnos;
    for (const QVariantList& row : DatabaseFixtures::Select(
             connectionString, QStringLiteral("select Partno from Written order by Partno")))
        partnos.append(row.at(0).toInt());
    return partnos;
}

QMap<int, QVariant> Quantities(const QString& connectionString) {
    QMap<int, QVariant> quantities;
    for (const QVariantList& row : DatabaseFixtures::Select(
             connectionString, QStringLiteral("select Partno, Quantity from Stock_Balance")))
        quantities.insert(row.at(0).toInt(),
                          row.at(1).isNull() ? QVariant() : QVariant(row.at(1).toDouble()));
    return quantities;
}

} // namespace ReceiverProbe

#include "FirebirdKillCampaign.h"

#include "CampaignReport.h"
#include "CycleDriver.h"
#include "ReceiverRounds.h"

#include "support/DatabaseFixtures.h"
#include "support/PrivateFirebirdServer.h"
#include "support/ReceiverProbe.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <stdexcept>

namespace {

// Every item changes in each round; the pass over them, inside the receiver transaction, is
// most of a cycle, so most kills land inside it.
constexpr int kItems = 1000;

void StartServer(PrivateFirebirdServer& server) {
    if (!server.Start())
        throw std::runtime_error(server.ErrorText().toStdString());
}

} // namespace

FirebirdKillCampaign::FirebirdKillCampaign(QRandomGenerator& random, CampaignReport& report)
    : random_(random)
    , report_(report) {}

void FirebirdKillCampaign::Run(int kills) {
    PrivateFirebirdServer server;
    StartServer(server);
    DatabaseFixtures databases;
    const QString receiver = databases.CreateFirebirdServer(
        QStringLiteral("killed"), server.ServerName(), server.DataFolder());
    DatabaseFixtures::CreateReceiverSchema(receiver);
    // Partno + 0: round 0.
    DatabaseFixtures::SeedReceiver(receiver, DatabaseFixtures::NumberedItems(kItems));
    const QString source = databases.CreateSqlite(QStringLiteral("source"));
    DatabaseFixtures::Run(
        source, {QStringLiteral("create table Src (Code integer, Qty real)"),
                 QStringLiteral("create table Round (R integer)"),
                 QStringLiteral("insert into Round values (1)"),
                 QStringLiteral("insert into Src with recursive Item(P) as (select 1 union all "
                                "select P + 1 from Item where P < %1) select 1000 + P, P from Item")
                     .arg(kItems)});

    CycleDriver driver;
    EngineFixture& fixture = driver.Fixture();
    QElapsedTimer firstCycle;
    firstCycle.start();
    driver.Start(fixture.AddReceiver(receiver),
                 fixture.AddSource(1, source,
                                   QStringLiteral("select s.Code, s.Qty + r.R as Qty from Src s, "
                                                  "Round r"),
                                   QStringLiteral("Code"), QStringLiteral("Qty")));
    driver.WaitForCycleEnd(0);
    // Kills land anywhere from the wake to a little after the end of a whole cycle.
    const int cycleMs = int(firstCycle.elapsed());
    const int killWindowMs = cycleMs * 5 / 4;
    report_.Note(QStringLiteral("items"), QString::number(kItems));
    report_.Note(QStringLiteral("cycle ms"), QString::number(cycleMs));
    if (ReceiverRounds::Holds(ReceiverProbe::Quantities(receiver), kItems, 1) != "new")
        throw std::runtime_error("the first cycle did not write round 1");

    for (int round = 2; report_.Kills() < kills; ++round) {
        DatabaseFixtures::Run(source, {QStringLiteral("update Round set R = %1").arg(round)});
        int ends = driver.Count(EventCode::CycleEnds);
        bool killed = false;
        driver.Wake();
        QTimer::singleShot(
            int(random_.bounded(killWindowMs)), Qt::PreciseTimer,
            [&] {
                server.Kill();
                killed = true;
            });
        driver.WaitForCycleEnd(ends, [&] { return killed; });
        report_.CountKill();
        StartServer(server);

        if (!driver.CheckAfterKill(report_, receiver, kItems, round))
            return;

        // Nobody steps in: the next cycle reaches the server again on its own.
        ends = driver.Count(EventCode::CycleEnds);
        driver.Wake();
        driver.WaitForCycleEnd(ends);
        driver.CheckRecovery(report_, receiver, kItems, round);
    }
}

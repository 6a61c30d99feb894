#include "InfobaseKillCampaign.h"

#include "CampaignReport.h"
#include "CycleDriver.h"
#include "ReceiverRounds.h"

#include "support/DatabaseFixtures.h"
#include "support/InfobaseFixture.h"
#include "support/ReceiverProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

#include <csignal>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace {

// Every item costs two calls into the infobase, so a transfer lasts long enough for kills to
// land in each of its steps.
constexpr int kItems = 1000;

// The stand-in server this process started for the worker; 0 when none runs.
pid_t StandInServer() {
    const QString program = QFileInfo(InfobaseFixture::ServerProgram()).canonicalFilePath();
    const QDir processes(QStringLiteral("/proc"));
    for (const QString& name : processes.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = name.toInt(&number);
        if (!number)
            continue;
        QFile stat(processes.filePath(name + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (name) state ppid ...
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toInt() == ::getpid() &&
            QFileInfo(processes.filePath(name + QStringLiteral("/exe"))).canonicalFilePath() ==
                program)
            return pid;
    }
    return 0;
}

void WriteRound(const InfobaseFixture& infobase, int round) {
    QStringList lines;
    for (int partno = 1; partno <= kItems; ++partno)
        lines.append(QStringLiteral("%1;Основной;%2").arg(1000 + partno).arg(partno + round));
    infobase.WriteBalances(lines);
}

} // namespace

InfobaseKillCampaign::InfobaseKillCampaign(QRandomGenerator& random, CampaignReport& report)
    : random_(random)
    , report_(report) {}

void InfobaseKillCampaign::Run(int kills) {
    const InfobaseFixture infobase;
    DatabaseFixtures databases;
    const QString receiver = databases.CreateFirebirdEmbedded(QStringLiteral("onec"));
    DatabaseFixtures::CreateReceiverSchema(receiver);
    // Partno + 0: round 0.
    DatabaseFixtures::SeedReceiver(receiver, DatabaseFixtures::NumberedItems(kItems));
    WriteRound(infobase, 1);

    CycleDriver driver(infobase.RegistrationFile());
    EngineFixture& fixture = driver.Fixture();
    driver.Start(fixture.AddReceiver(receiver),
                 fixture.AddSource(2, infobase.CommandLine(), QString(), QString(), QString(),
                                   QStringLiteral("Основной")));
    // From the wake (or the start) to the end of the pause: the server runs, the transfer
    // begins.
    const auto toTransfer = [&driver](bool wake) {
        const int opens = driver.Count(EventCode::SourceOpened);
        const int ends = driver.Count(EventCode::CycleEnds);
        if (wake)
            driver.Wake();
        driver.WaitForPause(opens, ends);
        if (driver.Count(EventCode::CycleEnds) > ends)
            throw std::runtime_error("the cycle ended before its pause: " +
                                     driver.LastError().toStdString());
        const pid_t server = StandInServer();
        driver.Wake();
        return std::pair{ends, server};
    };
    toTransfer(false);
    QElapsedTimer firstTransfer;
    firstTransfer.start();
    driver.WaitForCycleEnd(0);
    // Kills land anywhere from the end of the pause to a little after the end of a whole
    // transfer.
    const int transferMs = int(firstTransfer.elapsed());
    const int killWindowMs = transferMs * 5 / 4;
    report_.Note(QStringLiteral("items"), QString::number(kItems));
    report_.Note(QStringLiteral("transfer ms"), QString::number(transferMs));
    if (ReceiverRounds::Holds(ReceiverProbe::Quantities(receiver), kItems, 1) != "new")
        throw std::runtime_error("the first cycle did not write round 1");

    int serversGone = 0;
    for (int round = 2; report_.Kills() < kills; ++round) {
        WriteRound(infobase, round);
        auto [ends, server] = toTransfer(true);
        bool killed = false;
        QTimer::singleShot(
            int(random_.bounded(killWindowMs)), Qt::PreciseTimer,
            [&] {
                // Gone already when the transfer ended before the kill.
                serversGone += server == 0 || ::kill(server, SIGKILL) != 0 ? 1 : 0;
                killed = true;
            });
        driver.WaitForCycleEnd(ends, [&] { return killed; });
        report_.CountKill();

        if (!driver.CheckAfterKill(report_, receiver, kItems, round))
            return;

        ends = toTransfer(true).first;
        driver.WaitForCycleEnd(ends);
        driver.CheckRecovery(report_, receiver, kItems, round);
    }
    report_.Note(QStringLiteral("kills after the server was gone"), QString::number(serversGone));
}

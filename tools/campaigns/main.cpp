// Kill campaigns: the real program, the receiver's Firebird server and the stand-in infobase
// killed at random moments, and what each kill left checked. Prints its figures; the exit
// code is 1 when any kill left something it must not.
#include "CampaignReport.h"
#include "FirebirdKillCampaign.h"
#include "InfobaseKillCampaign.h"
#include "ProgramKillCampaign.h"

#include "platform/Errors.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>

#include <cstdio>
#include <exception>

namespace {

struct Campaign {
    const char* name;
    int count; // the full campaign's kills
};
constexpr Campaign kCampaigns[] = {
    {"program-kills", 1000}, {"firebird-kills", 100}, {"infobase-kills", 100}};

void Run(const QString& name, int count, QRandomGenerator& random, CampaignReport& report) {
    if (name == QLatin1String("program-kills"))
        ProgramKillCampaign(random, report).Run(count);
    else if (name == QLatin1String("firebird-kills"))
        FirebirdKillCampaign(random, report).Run(count);
    else
        InfobaseKillCampaign(random, report).Run(count);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kills parts of the system at random moments "
                                                    "and checks what each kill left."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("campaign"),
                                 QStringLiteral("program-kills, firebird-kills or infobase-kills"));
    const QCommandLineOption countOption(
        QStringLiteral("count"), QStringLiteral("Kills to make (1000, 100 and 100 by default)."),
        QStringLiteral("kills"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"), QStringLiteral("Seed of the random moments (from the clock)."),
        QStringLiteral("seed"));
    parser.addOptions({countOption, seedOption});
    parser.process(application);

    const QStringList positional = parser.positionalArguments();
    const QString name = positional.value(0);
    const Campaign* campaign = nullptr;
    for (const Campaign& known : kCampaigns)
        if (name == QLatin1String(known.name))
            campaign = &known;
    bool countValid = true;
    const int count = parser.isSet(countOption) ? parser.value(countOption).toInt(&countValid) : 0;
    bool seedValid = true;
    const quint32 seed = parser.isSet(seedOption) ? parser.value(seedOption).toUInt(&seedValid)
                                                  : quint32(QDateTime::currentMSecsSinceEpoch());
    if (positional.size() != 1 || !campaign || !countValid || !seedValid || count < 0) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.helpText()));
        return 2;
    }

    QRandomGenerator random(seed);
    CampaignReport report(name, seed);
    try {
        Run(name, parser.isSet(countOption) ? count : campaign->count, random, report);
    } catch (const Exception& error) {
        report.CountFailure(QStringLiteral("the campaign stopped: ") + error.Message());
    } catch (const std::exception& error) {
        report.CountFailure(QStringLiteral("the campaign stopped: ") +
                            QString::fromUtf8(error.what()));
    }
    report.Print();
    return report.Failures() == 0 && report.Kills() > 0 ? 0 : 1;
}

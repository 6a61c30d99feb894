#pragma once

class CampaignReport;
class QRandomGenerator;

// Kills the stand-in infobase server at random moments of a 1C cycle that changes every item.
// After each kill the receiver holds every item of the round before or every one of the new
// round, never quantities taken from a transfer cut short; the worker goes on, and its next
// cycle, with a new server, writes the new round.
class InfobaseKillCampaign {
public:
    InfobaseKillCampaign(QRandomGenerator& random, CampaignReport& report);

    void Run(int kills);

private:
    QRandomGenerator& random_;
    CampaignReport& report_;
};

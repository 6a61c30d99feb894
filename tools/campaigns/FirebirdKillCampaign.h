#pragma once

class CampaignReport;
class QRandomGenerator;

// Kills the receiver's Firebird server, a private one, at random moments of a cycle that
// changes every item of a large receiver. After each kill, with the server back, the
// receiver holds every item of the round before or every one of the new round, the worker
// still runs, and its next cycle writes the new round without anyone's help.
class FirebirdKillCampaign {
public:
    FirebirdKillCampaign(QRandomGenerator& random, CampaignReport& report);

    void Run(int kills);

private:
    QRandomGenerator& random_;
    CampaignReport& report_;
};

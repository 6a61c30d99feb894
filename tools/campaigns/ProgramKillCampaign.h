#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

class CampaignReport;
class QRandomGenerator;

// Kills the real program, headless on a program folder of its own, at random moments while
// its connections run cycle after cycle and save the settings file. After each kill the file
// must load whole and hold what the program could have written: the file as built, with
// only the connections' status, stop request and update time moved on.
class ProgramKillCampaign {
public:
    ProgramKillCampaign(QRandomGenerator& random, CampaignReport& report);

    void Run(int kills);

private:
    void KillOnce();
    // Empty when the content is one the program could have written.
    QString Defect(const QByteArray& content) const;
    // Empty when the file loads whole, with the rows that were built.
    QString LoadFailure() const;
    // The rows of each table the file loads; the failure when it does not.
    QString LoadRows(QList<int>& rows) const;
    int RemoveLeftoverFiles() const;

    QRandomGenerator& random_;
    CampaignReport& report_;
    QTemporaryDir root_;
    QString folder_;
    QString settingsPath_;
    QByteArray built_;
    QList<int> builtRows_;
    int leftoverFiles_ = 0;
    QSet<QByteArray> contents_;
};

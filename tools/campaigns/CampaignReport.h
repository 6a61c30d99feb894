#pragma once

#include <QElapsedTimer>
#include <QMap>
#include <QString>
#include <QStringList>

// The figures of one campaign: kills made, what each left behind, the failures met, and
// where and when it ran, printed as "name value" lines.
class CampaignReport {
public:
    CampaignReport(QString campaign, quint32 seed);

    void CountKill() { ++kills_; }
    // What a kill left that is allowed ("old", "new", ...).
    void CountOutcome(const QString& outcome) { ++outcomes_[outcome]; }
    // Printed at once, so a long run shows it while it goes on.
    void CountFailure(const QString& text);
    void Note(const QString& name, const QString& value) { notes_.insert(name, value); }

    int Kills() const { return kills_; }
    int Failures() const { return int(failures_.size()); }
    void Print() const;

private:
    QString campaign_;
    quint32 seed_;
    QElapsedTimer elapsed_;
    int kills_ = 0;
    QMap<QString, int> outcomes_;
    QMap<QString, QString> notes_;
    QStringList failures_;
};

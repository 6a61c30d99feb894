#include "CampaignReport.h"

#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QThread>

#include <cstdio>

namespace {

QString ProcessorName() {
    QFile cpuInfo(QStringLiteral("/proc/cpuinfo"));
    if (!cpuInfo.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : cpuInfo.readAll().split('\n'))
        if (line.startsWith("model name"))
            return QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
    return QString();
}

void PrintLine(const QString& name, const QString& value) {
    std::printf("%s %s\n", qPrintable(name), qPrintable(value));
}

} // namespace

CampaignReport::CampaignReport(QString campaign, quint32 seed)
    : campaign_(std::move(campaign))
    , seed_(seed) {
    elapsed_.start();
    PrintLine(QStringLiteral("campaign"), campaign_);
    PrintLine(QStringLiteral("seed"), QString::number(seed_));
    std::fflush(stdout);
}

void CampaignReport::CountFailure(const QString& text) {
    const QString line = QStringLiteral("kill %1: %2").arg(kills_).arg(text);
    failures_.append(line);
    PrintLine(QStringLiteral("failure"), line);
    std::fflush(stdout);
}

void CampaignReport::Print() const {
    PrintLine(QStringLiteral("campaign"), campaign_);
    PrintLine(QStringLiteral("seed"), QString::number(seed_));
    PrintLine(QStringLiteral("kills"), QString::number(kills_));
    for (auto outcome = outcomes_.begin(); outcome != outcomes_.end(); ++outcome)
        PrintLine(QStringLiteral("outcome ") + outcome.key(), QString::number(outcome.value()));
    for (auto note = notes_.begin(); note != notes_.end(); ++note)
        PrintLine(note.key(), note.value());
    PrintLine(QStringLiteral("failures"), QString::number(failures_.size()));
    PrintLine(QStringLiteral("seconds"), QString::number(elapsed_.elapsed() / 1000.0, 'f', 1));
    PrintLine(QStringLiteral("date"),
              QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")));
    PrintLine(QStringLiteral("machine"), QStringLiteral("%1, %2, %3 cores, %4")
                                             .arg(QSysInfo::machineHostName(), ProcessorName())
                                             .arg(QThread::idealThreadCount())
                                             .arg(QSysInfo::prettyProductName()));
    std::fflush(stdout);
}

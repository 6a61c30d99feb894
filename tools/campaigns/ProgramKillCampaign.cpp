#include "ProgramKillCampaign.h"

#include "CampaignReport.h"

#include "support/InfobaseFixture.h"
#include "support/SettingsConfiguration.h"
#include "support/TestPaths.h"

#include "demo/DemoData.h"
#include "platform/Errors.h"
#include "platform/RegionalSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <optional>
#include <stdexcept>

namespace {

// The program is killed this long after it started at most: its start, a load and many
// cycles of the SQL connection, each of which saves the file.
constexpr int kKillWindowMs = 1500;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The fields of a connection that its cycles change, and what each value may be.
const QList<std::pair<QByteArray, QRegularExpression>>& CycleFields() {
    static const QList<std::pair<QByteArray, QRegularExpression>> fields = {
        {"Status=", QRegularExpression(QStringLiteral("^[0-5]$"))},
        {"Updated=", QRegularExpression(QStringLiteral("^[01]$"))},
        {"Update_Time=",
         QRegularExpression(QStringLiteral(R"(^(\d\d\.\d\d\.\d{4} \d{1,2}:\d\d:\d\d)?$)"))}};
    return fields;
}

// The lines of the content with the values of the cycle fields of [Connection] taken out;
// empty when one of them holds a value no cycle writes.
std::optional<QList<QByteArray>> WithoutCycleValues(const QByteArray& content) {
    QList<QByteArray> lines = content.split('\n');
    bool inConnection = false;
    for (QByteArray& line : lines) {
        if (line.startsWith('['))
            inConnection = line.startsWith("[Connection]");
        if (!inConnection)
            continue;
        for (const auto& [key, value] : CycleFields()) {
            if (!line.startsWith(key))
                continue;
            const QByteArray values = line.mid(key.size()).chopped(line.endsWith('\r') ? 1 : 0);
            for (const QByteArray& one : values.split('`'))
                if (!value.match(QString::fromUtf8(one)).hasMatch())
                    return std::nullopt;
            line = key;
        }
    }
    return lines;
}

} // namespace

ProgramKillCampaign::ProgramKillCampaign(QRandomGenerator& random, CampaignReport& report)
    : random_(random)
    , report_(report) {
    if (!root_.isValid())
        throw std::runtime_error("no temporary folder");
    RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    folder_ = root_.filePath(QStringLiteral("program"));
    QDir().mkpath(folder_);
    // The folder as installed: the catalogue of connection types comes with it.
    if (!QFile::copy(TestPaths::SourceDir() + QStringLiteral("/packaging/Corvane.ini"),
                     QDir(folder_).filePath(QStringLiteral("Corvane.ini"))))
        throw std::runtime_error("cannot copy the installed settings file");
    DemoData data(folder_);
    data.UsePrivateFirebirdRoot();
    // A period of 0 minutes runs one cycle after the other.
    data.Build(InfobaseFixture::ServerProgram(), 0);
    settingsPath_ = data.SettingsPath();
    built_ = ReadAll(settingsPath_);
    if (!Defect(built_).isEmpty() || !LoadRows(builtRows_).isEmpty())
        throw std::runtime_error("the built settings file does not load");
}

void ProgramKillCampaign::Run(int kills) {
    while (report_.Kills() < kills)
        KillOnce();
    report_.Note(QStringLiteral("settings bytes"), QString::number(built_.size()));
    report_.Note(QStringLiteral("leftover temporary files"), QString::number(leftoverFiles_));
    // Each cycle stamps its time, so many contents mean the kills met many saves.
    report_.Note(QStringLiteral("different contents found"), QString::number(contents_.size()));
}

void ProgramKillCampaign::KillOnce() {
    const QByteArray before = ReadAll(settingsPath_);
    QProcess program;
    program.setProgram(TestPaths::BinaryDir() + QStringLiteral("/src/app/corvane"));
    program.setArguments({QStringLiteral("--headless"), QStringLiteral("--folder"), folder_,
                          QStringLiteral("RunAll")});
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start();
    if (!program.waitForStarted(10000))
        throw std::runtime_error("the program does not start");
    QThread::msleep(random_.bounded(kKillWindowMs));
    report_.CountKill();
    if (program.state() != QProcess::Running) {
        report_.CountFailure(QStringLiteral("the program ended before the kill, exit code %1")
                                 .arg(program.exitCode()));
        return;
    }
    ::kill(pid_t(program.processId()), SIGKILL);
    program.waitForFinished(10000);
    leftoverFiles_ += RemoveLeftoverFiles();

    const QByteArray after = ReadAll(settingsPath_);
    const QString defect = Defect(after);
    const QString loadFailure = defect.isEmpty() ? LoadFailure() : QString();
    if (!defect.isEmpty() || !loadFailure.isEmpty()) {
        report_.CountFailure(defect + loadFailure);
        // The next start gets the last good content, so one fault is not counted again.
        QFile file(settingsPath_);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(before) < 0)
            throw std::runtime_error("cannot put the settings file back");
        return;
    }
    report_.CountOutcome(after == before ? QStringLiteral("old") : QStringLiteral("new"));
    contents_.insert(after);
}

QString ProgramKillCampaign::Defect(const QByteArray& content) const {
    const auto lines = WithoutCycleValues(content);
    if (!lines)
        return QStringLiteral("a connection field holds a value no cycle writes");
    if (*lines != *WithoutCycleValues(built_))
        return QStringLiteral("the file (%1 bytes) differs from the built one beyond the cycle "
                              "fields")
            .arg(content.size());
    return QString();
}

QString ProgramKillCampaign::LoadFailure() const {
    QList<int> rows;
    const QString failure = LoadRows(rows);
    if (!failure.isEmpty())
        return failure;
    return rows == builtRows_ ? QString()
                              : QStringLiteral("the file loads other rows than were built");
}

QString ProgramKillCampaign::LoadRows(QList<int>& rows) const {
    SettingsConfiguration loaded(settingsPath_);
    try {
        loaded.settingsFile.LoadConfiguration();
    } catch (const Exception& error) {
        return QStringLiteral("the file does not load: ") + error.Message();
    }
    for (const RecordSet* table : {&loaded.dm.Connection_Types, &loaded.dm.Source,
                                   &loaded.dm.Receiver, &loaded.dm.Connection})
        rows.append(table->RecordCount());
    return QString();
}

int ProgramKillCampaign::RemoveLeftoverFiles() const {
    // A save cut short may leave its unfinished copy beside the file.
    QDir folder(folder_);
    const QStringList leftovers =
        folder.entryList({QFileInfo(settingsPath_).fileName() + QStringLiteral(".*")}, QDir::Files);
    for (const QString& name : leftovers)
        folder.remove(name);
    return int(leftovers.size());
}

#include "ComStandIn.h"

#include "TestPaths.h"
#include "WinePrefix.h"

#include "platform/AutomationObject.h"
#include "platform/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace ComStandIn {

QString DllPath() {
    return TestPaths::BinaryDir() + QStringLiteral("/infobase-com.dll");
}

QString BridgePath() {
    return TestPaths::BinaryDir() + QStringLiteral("/automation-bridge.exe");
}

QString Register(const WinePrefix& prefix) {
    if (!prefix.IsUsable())
        return prefix.Problem();
    for (const QString& built : {DllPath(), BridgePath()})
        if (!QFileInfo::exists(built))
            return QStringLiteral("%1 is not built (no mingw-w64 cross compiler)").arg(built);
    // regsvr32 loads the DLL by a drive path; Wine maps Z: to the root.
    const QString dosPath = QStringLiteral("Z:") + QString(DllPath()).replace(u'/', u'\\');
    QProcess regsvr32;
    regsvr32.setProcessChannelMode(QProcess::MergedChannels);
    regsvr32.start(QStringLiteral("wine"),
                   {QStringLiteral("regsvr32"), QStringLiteral("/s"), dosPath});
    if (!regsvr32.waitForFinished(120000) || regsvr32.exitStatus() != QProcess::NormalExit ||
        regsvr32.exitCode() != 0)
        return QStringLiteral("regsvr32 %1 failed (exit code %2): %3")
            .arg(dosPath)
            .arg(regsvr32.exitCode())
            .arg(QString::fromLocal8Bit(regsvr32.readAll()));
    return QString();
}

std::unique_ptr<WinePrefix> RegisteredPrefix(QString& problem) {
    auto prefix = std::make_unique<WinePrefix>(QStringLiteral("tests"));
    problem = Register(*prefix);
    return prefix;
}

void WriteRegistration(const QString& path) {
    QFile::remove(path);
    ProfileFile file(path);
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    for (int type = 2; type <= 6; ++type) {
        file.WriteString(ProgIdForType(type), QStringLiteral("Program"), wine);
        file.WriteString(ProgIdForType(type), QStringLiteral("Arguments"),
                         u'"' + BridgePath() + QStringLiteral("\" ") + ProgIdForType(type));
    }
    file.Save();
}

} // namespace ComStandIn

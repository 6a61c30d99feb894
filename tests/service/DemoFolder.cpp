#include "DemoFolder.h"

#include "support/FileBytes.h"
#include "support/InfobaseFixture.h"
#include "support/TestPaths.h"

#include "demo/DemoData.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>

QByteArray DemoFolder::Install(const DemoData& data, const QString& folder) {
    const QString installed = TestPaths::SourceDir() + QStringLiteral("/packaging/Corvane.ini");
    if (!QDir().mkpath(folder) ||
        !QFile::copy(installed, QDir(folder).filePath(QStringLiteral("Corvane.ini"))))
        throw Exception(QStringLiteral("Cannot install %1 in %2").arg(installed, folder));
    data.UsePrivateFirebirdRoot();
    data.Build(InfobaseFixture::ServerProgram(), 0);
    return FileBytes::Read(data.SettingsPath());
}

#include "LocaleRun.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

namespace LocaleRun {

bool RunFunctions(const QString& locale, const QStringList& functions, QString* output,
                  int timeoutMs) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), functions);
    const bool finished = child.waitForFinished(timeoutMs);
    *output = QString::fromUtf8(child.readAll());
    return finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

} // namespace LocaleRun

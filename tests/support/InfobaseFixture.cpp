#include "InfobaseFixture.h"

#include "TestPaths.h"

#include "platform/AutomationObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>

namespace {

void WriteText(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        qFatal("cannot write %s", qPrintable(path));
}

// Any blank splits a command line, the non-breaking ones of regional number formats too.
QString QuotedIfBlank(const QString& word) {
    const bool blank = std::any_of(word.begin(), word.end(), [](QChar ch) { return ch.isSpace(); });
    return blank ? QLatin1Char('"') + word + QLatin1Char('"') : word;
}

} // namespace

InfobaseFixture::InfobaseFixture(const QStringList& serverSwitches) {
    if (!root_.isValid() || !QDir(root_.path()).mkdir(QStringLiteral("База 1С")))
        qFatal("cannot make the infobase folder");
    if (!QFileInfo(ServerProgram()).isExecutable())
        qFatal("the stand-in server %s is not built", qPrintable(ServerProgram()));
    WriteText(QDir(Folder()).filePath(QStringLiteral("Users.txt")),
              UserName() + QLatin1Char(';') + Password() + QStringLiteral("\nКладовщик;\n"));
    WriteBalances({QStringLiteral("1001;Основной;10"), QStringLiteral("1001;Розница;2.5"),
                   QStringLiteral("1002;Основной;0"), QStringLiteral("1003;Розница;7")});
    WriteRegistration(serverSwitches);
}

QString InfobaseFixture::ServerProgram() {
    return TestPaths::BinaryDir() + QStringLiteral("/tools/infobase/infobase-standin");
}

QString InfobaseFixture::Folder() const {
    return root_.filePath(QStringLiteral("База 1С"));
}

QString InfobaseFixture::BalancesFile() const {
    return QDir(Folder()).filePath(QStringLiteral("Balances.txt"));
}

QString InfobaseFixture::RegistrationFile() const {
    return root_.filePath(QStringLiteral("Automation.ini"));
}

QString InfobaseFixture::CommandLine(const QString& user, const QString& password) const {
    return QStringLiteral("/D\"%1\" /N%2 /P%3").arg(Folder(), user, password);
}

void InfobaseFixture::WriteBalances(const QStringList& lines) const {
    WriteText(BalancesFile(), lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void InfobaseFixture::WriteRegistration(const QStringList& serverSwitches) const {
    QStringList words;
    for (const QString& word : serverSwitches)
        words.append(QuotedIfBlank(word));
    QString text;
    for (int type = 2; type <= 6; ++type) {
        // The outer quotes keep the arguments' own quotes at either end.
        text += QStringLiteral("[%1]\nProgram=%2\nArguments=\"%3\"\n\n")
                    .arg(ProgIdForType(type), ServerProgram(), words.join(QLatin1Char(' ')));
    }
    WriteText(RegistrationFile(), text);
}

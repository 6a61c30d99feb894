#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A stand-in 1C infobase for tests: a temporary folder holding the infobase (users and
// balances) and a registration file that names the built stand-in server for the ProgIDs
// of connection types 2 to 6, with the given test switches (see tools/infobase).
class InfobaseFixture {
public:
    explicit InfobaseFixture(const QStringList& serverSwitches = {});

    static QString ServerProgram();
    static QString UserName() { return QStringLiteral("Администратор"); }
    static QString Password() { return QStringLiteral("секрет1"); }

    // The infobase folder; its name holds a blank.
    QString Folder() const;
    QString BalancesFile() const;
    QString RegistrationFile() const;
    // A 1C command line opening the infobase as a source's connection string holds it:
    // /D"<folder>" /N<user> /P<password>.
    QString CommandLine(const QString& user = UserName(),
                        const QString& password = Password()) const;

    // "code;warehouse;quantity" lines. The default balances:
    //   1001: Основной 10, Розница 2.5;  1002: Основной 0;  1003: Розница 7
    void WriteBalances(const QStringList& lines) const;
    void WriteRegistration(const QStringList& serverSwitches) const;

private:
    QTemporaryDir root_;
};

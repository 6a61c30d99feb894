#pragma once

#include <QMap>
#include <QString>

// The data of the demo and of the headless tests, made in one program folder: two Firebird
// receivers for the embedded engine (Parts, Stock_Balance, an index on Parts.Code), an SQLite
// source reached through ODBC, a stand-in 1C infobase, the registration file Automation.ini
// and the settings file Corvane.ini with one connection per source, written by the program's
// own service. The receivers are opened through a private Firebird root in SuperClassic mode,
// so the program and the tools can have one receiver open at the same time.
class DemoData {
public:
    enum class Feed { Sql, OneC };

    static constexpr int kItemCount = 300;
    static constexpr int kFirstCode = 1001;

    explicit DemoData(QString programFolder);

    // Points FIREBIRD and FIREBIRD_LOCK of this process (and of the processes it starts) at
    // the private Firebird root, made first when it is not there. Must come before the process
    // opens any Firebird database.
    void UsePrivateFirebirdRoot() const;
    QString FirebirdRoot() const;
    QString FirebirdLockFolder() const;

    // Everything above, the sources holding the balances of round 0. standInProgram is the
    // stand-in infobase server; one inside the program folder is registered by its name.
    // Connection_Types comes from a Corvane.ini already in the folder, as installed.
    void Build(const QString& standInProgram, int periodMinutes) const;
    // Replaces the balances of both sources with those of the round.
    void WriteSourceBalances(int round) const;

    // What each source gives an item in a round (the 1C one summed over its warehouses).
    static double SourceQuantity(Feed feed, int code, int round);
    // Code -> quantity as the source gives every item in the round.
    static QMap<int, double> RoundQuantities(Feed feed, int round);

    QString ReceiverPath(Feed feed) const;
    QString ReceiverConnectionString(Feed feed) const;
    QString SqlSourceConnectionString() const;
    QString InfobaseFolder() const;
    QString InfobaseCommandLine() const;
    QString SettingsPath() const;
    QString RegistrationPath() const;

    // Code -> quantity as the receiver now holds them (a null quantity is left out).
    QMap<int, double> ReceiverQuantities(Feed feed) const;
    // Code -> quantity as the source now gives them.
    QMap<int, double> SourceQuantities(Feed feed) const;

private:
    void MakePrivateFirebirdRoot() const;
    void CreateReceiver(Feed feed) const;
    void WriteSqlBalances(int round) const;
    void WriteInfobaseBalances(int round) const;
    void WriteInfobase() const;
    void WriteRegistration(const QString& standInProgram) const;
    void WriteSettings(int periodMinutes) const;

    QString programFolder_;
};

#pragma once

#include "support/DatabaseFixtures.h"
#include "support/InfobaseFixture.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

// One connection's two ends for the soak: a Firebird receiver of five items and an SQL
// (SQLite through ODBC) or 1C (stand-in infobase) source, with switches that make either end
// fail. Every generation of the source gives item p the quantity generation * 100 + p, so the
// receiver shows which pass wrote each of its values. The switches and the data change only
// while no worker has the databases open.
class SoakConnection {
public:
    static constexpr int kItems = 5;

    // fileName names its database files: Firebird wants them in ASCII.
    SoakConnection(const QString& name, const QString& fileName, bool oneC,
                   TestDatabaseKind receiverKind, DatabaseFixtures& databases);
    ~SoakConnection();
    SoakConnection(const SoakConnection&) = delete;
    SoakConnection& operator=(const SoakConnection&) = delete;

    // The prefix of the database connections the soak keeps for looking into receivers.
    static QString ProbePrefix() { return QStringLiteral("soak-probe-"); }
    void CloseProbe();

    const QString& Name() const { return name_; }
    bool OneC() const { return infobase_ != nullptr; }
    const QString& ReceiverString() const { return receiver_; }
    QString SourceString() const;
    QString SourceQuery() const;
    int Generation() const { return generation_; }
    // The stand-in infobase of a 1C source; nullptr for an SQL one.
    const InfobaseFixture* Infobase() const { return infobase_.get(); }

    void NextGeneration();
    // The receiver's database file moved away, so it cannot be opened.
    void SetReceiverAway(bool away);
    // The update of the third item is refused by the receiver, after others were written.
    void SetReceiverRefusesMidway(bool refuses);
    // SQL only: the source file replaced by a folder.
    void SetSourceAway(bool away);
    // SQL only: reading the fourth row of the source fails, after three were read.
    void SetSourceFailsMidway(bool fails);
    bool ReceiverAway() const { return receiverAway_; }
    bool SourceAway() const { return sourceAway_; }

    // Empty when the receiver holds the values of one generation, not newer than the source's,
    // or nothing at all; otherwise what it holds.
    QString ReceiverMix();

private:
    static void Move(const QString& from, const QString& to);
    QSqlDatabase Probe();
    void WriteSource();

    QString name_;
    QString receiver_;
    QString receiverFile_;
    QString source_;
    QString sourceFile_;
    std::unique_ptr<InfobaseFixture> infobase_;
    int generation_ = 0;
    QString probeName_;
    bool receiverAway_ = false;
    bool sourceAway_ = false;
    bool receiverRefuses_ = false;
    bool sourceFails_ = false;
};

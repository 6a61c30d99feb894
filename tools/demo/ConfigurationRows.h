#pragma once

#include <QString>

class RecordSet;
class TDm;

// Receivers, sources and connections added to the tables of a running service the way the
// window adds them: a post a row, so that each row's password is hidden and enciphered and its
// table saved.
class ConfigurationRows {
public:
    explicit ConfigurationRows(TDm& dm);

    // A Firebird receiver whose Stock_Balance.Quantity is updated by Partno; returns its Id.
    int AddReceiver(const QString& name, const QString& connectionString);
    // An SQL source (type 1) whose query gives Code and quantityField; returns its Id.
    int AddSqlSource(const QString& name, const QString& connectionString, const QString& query,
                     const QString& quantityField);
    // A 1C infobase of the given connection type, started by commandLine; returns its Id.
    int AddInfobaseSource(const QString& name, int type, const QString& commandLine);
    // Runs every periodMinutes, every day around the clock.
    void AddConnection(const QString& name, int receiverId, int sourceId, int periodMinutes);

private:
    // Appends a row to source and sets its name, type and connection string.
    int AppendSource(const QString& name, int type, const QString& connectionString);

    TDm& dm_;
};

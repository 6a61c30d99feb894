#pragma once

#include "support/DatabaseFixtures.h"

#include <QString>

// A program folder with many connections, each from an SQLite source of its own (through
// ODBC) into a Firebird embedded receiver of its own, every one holding the same items. The
// source's query adds the clock's seconds modulo 7 to each quantity, so a cycle in another
// second than the one before writes every item again. The settings file is written by the
// program's own service, one post a row, as the window does.
class BenchProgramFolder {
public:
    BenchProgramFolder(int connections, int items, int periodMinutes);

    QString Path() const { return path_; }
    QString SettingsPath() const;

private:
    void WriteSettings(int connections, int periodMinutes) const;
    QString ReceiverConnectionString(int number) const;
    QString SourceConnectionString(int number) const;

    DatabaseFixtures databases_;
    QString path_;
};

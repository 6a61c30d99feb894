#pragma once

#include "platform/Prompts.h"

#include <QString>

class PasswordKeeper;
class RecordSet;
class TDm;

// The operator's check that a receiver, a source or both ends of a connection can be reached:
// a connection of the row's kind is opened with the real connection string and given up at
// once, and the outcome is told in a message box. Nothing is written to the tables or the log.
// Main thread only.
class ConnectionTest {
public:
    ConnectionTest(TDm& dm, const PasswordKeeper& passwords, Prompts& prompts,
                   QString automationRegistrationFile);

    // True when every attempt made succeeded. The row is found by id as stored in table,
    // so edits not yet posted are not used and a row never posted is not tested. With
    // wholeConnection, the receiver and the source of the current row of table (Connection)
    // are tested and the summary is shown whatever showMessages says. Failing to create the
    // automation server or to rebuild the connection string propagates.
    bool TestConnection(RecordSet& table, int id, bool wholeConnection, bool showMessages);

    // The three buttons, on the current rows as shown, edits included: the needed fields are
    // checked, then the row is tested with messages.
    void TestReceiverOfCurrentRow();
    void TestSourceOfCurrentRow();
    void TestConnectionOfCurrentRow();

private:
    bool TestSingle(RecordSet& table, int id, bool showMessages);
    bool TestDatabase(const QString& connectionString, bool showMessages);
    bool TestAutomation(int type, int id, const QString& tableName, const QString& connectionString,
                        bool showMessages);
    bool TestWholeConnection(RecordSet& connection);
    // The failure of one attempt: "Подключение не прошло", two carriage returns, its text.
    void ShowFailure(const QString& reason, bool showMessages);
    void ShowPassed(bool showMessages);
    void Show(const QString& text, DialogKind kind);

    TDm& dm_;
    const PasswordKeeper& passwords_;
    Prompts& prompts_;
    QString automationRegistrationFile_;
};

#pragma once

#include "platform/Prompts.h"

#include <QList>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

class PasswordKeeper;
class RecordSet;
class ReplyMailbox;
class TDm;

// The operator's check that a receiver, a source or both ends of a connection can be reached:
// a connection of the row's kind is opened with the real connection string and given up at
// once, and the outcome is told in a message box. Nothing is written to the tables or the log.
// The rows are read and the messages shown on the main thread; the attempts themselves may
// run on a thread of their own, so that the window goes on while a server keeps it waiting.
class ConnectionTest {
public:
    ConnectionTest(TDm& dm, const PasswordKeeper& passwords, Prompts& prompts,
                   QString automationRegistrationFile);
    ~ConnectionTest();

    // True when every attempt made succeeded. The row is found by id as stored in table,
    // so edits not yet posted are not used and a row never posted is not tested. With
    // wholeConnection, the receiver and the source of the current row of table (Connection)
    // are tested and the summary is shown whatever showMessages says. Failing to create the
    // automation server or to rebuild the connection string propagates.
    bool TestConnection(RecordSet& table, int id, bool wholeConnection, bool showMessages);

    // The three buttons, on the current rows as shown, edits included: the needed fields are
    // checked, then the row is tested with messages.
    enum class CurrentRow { Receiver, Source, Connection };
    void TestOfCurrentRow(CurrentRow which);

    // The same without waiting for the attempts: they run on a thread of their own, and once
    // they end, ended is called on this thread with the report, which shows the messages and
    // may throw as TestOfCurrentRow does. False, with nothing started, when the fields are
    // missing (their message is shown) or the row cannot be read (that throws). Dropping this
    // object drops the reports still to come; the attempts are not waited for.
    using Ended = std::function<void(const std::function<void()>& report)>;
    bool StartTestOfCurrentRow(CurrentRow which, Ended ended);

    void TestReceiverOfCurrentRow() { TestOfCurrentRow(CurrentRow::Receiver); }
    void TestSourceOfCurrentRow() { TestOfCurrentRow(CurrentRow::Source); }
    void TestConnectionOfCurrentRow() { TestOfCurrentRow(CurrentRow::Connection); }

private:
    // One attempt as read from its row: what to open, nothing that needs the tables.
    struct Attempt {
        enum Kind { None, Database, Automation, UnknownProgId } What = None;
        QString ProgId;
        QString Target; // the connection string or the 1C command line, passwords restored
    };
    struct Outcome {
        bool Passed = true;
        QString Reason;
        // An error that is not the attempt's own failure: it reaches the operator as it is.
        std::exception_ptr Escaped;
    };
    struct Plan {
        QList<Attempt> Attempts;
        bool WholeConnection = false;
        bool ShowMessages = true;
    };
    std::optional<Plan> PlanOfCurrentRow(CurrentRow which);
    Plan PlanOf(RecordSet& table, int id, bool wholeConnection, bool showMessages);
    Attempt AttemptOf(RecordSet& table, int id) const;
    // Any thread: touches neither the tables nor the prompts. Stops after an escaped error.
    static QList<Outcome> Run(const QList<Attempt>& attempts, const QString& registrationFile);
    static Outcome RunOne(const Attempt& attempt, const QString& registrationFile);
    bool Report(const Plan& plan, const QList<Outcome>& outcomes);
    bool ReportSingle(const Attempt& attempt, const Outcome& outcome, bool showMessages);
    bool ReportWholeConnection(const Plan& plan, const QList<Outcome>& outcomes);
    // The failure of one attempt: "Подключение не прошло", two carriage returns, its text.
    void ShowFailure(const QString& reason, bool showMessages);
    void ShowPassed(bool showMessages);
    void Show(const QString& text, DialogKind kind);

    TDm& dm_;
    const PasswordKeeper& passwords_;
    Prompts& prompts_;
    QString automationRegistrationFile_;
    std::shared_ptr<ReplyMailbox> mailbox_;
};

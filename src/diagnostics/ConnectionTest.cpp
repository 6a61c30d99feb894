#include "diagnostics/ConnectionTest.h"

#include "core/PasswordKeeper.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "platform/AutomationObject.h"
#include "platform/DbConnection.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"
#include "platform/ReplyMailbox.h"

#include <exception>
#include <optional>
#include <thread>

namespace {

const QChar kCarriageReturn = u'\r';

const QString kPassed = QStringLiteral("Подключение прошло");
const QString kFailed = QStringLiteral("Подключение не прошло");
const QString kNoProgId = QStringLiteral("Программа не смогла определить тип программы 1С");

const QString kReceiverFieldsMissing = QStringLiteral(
    "Вы должны сначала вести следующие поля \"Тип подключения\" и \"Строка подключения\".");
const QString kSourceFieldsMissing =
    QStringLiteral("Вы должны сначала вести следующие поля \"Тип подключения\", \"Строка "
                   "подключения\" и \"SQL запрос\"(если выбрана SQL-база).");
const QString kConnectionFieldsMissing = QStringLiteral(
    "Вы должны сначала вести следующие поля \"Название приемника\" и \"Название источника\".");

const QString kSummaryHeader = QStringLiteral("Подключение не прошло в связи со {0}:");
const QString kOneReason = QStringLiteral("следующей причиной");
const QString kTwoReasons = QStringLiteral("следующими причинами");
const QString kReceiverReason =
    QStringLiteral(") Приемник не смог установить соединение с базой данных.");
const QString kSourceReason =
    QStringLiteral(") Источник не смог установить соединение с базой данных.");

const QString kSplash = QStringLiteral("NO_SPLASH_SHOW");

bool IsAutomationType(int type) {
    return type >= 2 && type <= 6;
}

QString ErrorText(const std::exception& error) {
    // Our own errors keep their message in what() as UTF-8.
    return QString::fromUtf8(error.what());
}

} // namespace

ConnectionTest::ConnectionTest(TDm& dm, const PasswordKeeper& passwords, Prompts& prompts,
                               QString automationRegistrationFile)
    : dm_(dm)
    , passwords_(passwords)
    , prompts_(prompts)
    , automationRegistrationFile_(std::move(automationRegistrationFile))
    , mailbox_(std::make_shared<ReplyMailbox>()) {}

ConnectionTest::~ConnectionTest() {
    mailbox_->Close();
}

bool ConnectionTest::TestConnection(RecordSet& table, int id, bool wholeConnection,
                                    bool showMessages) {
    const Plan plan = PlanOf(table, id, wholeConnection, showMessages);
    return Report(plan, Run(plan.Attempts, automationRegistrationFile_));
}

void ConnectionTest::TestOfCurrentRow(CurrentRow which) {
    if (const std::optional<Plan> plan = PlanOfCurrentRow(which))
        Report(*plan, Run(plan->Attempts, automationRegistrationFile_));
}

bool ConnectionTest::StartTestOfCurrentRow(CurrentRow which, Ended ended) {
    std::optional<Plan> plan = PlanOfCurrentRow(which);
    if (!plan)
        return false;
    // The thread is not joined: closing the window must not wait for a server's time-out.
    std::thread([this, plan = std::move(*plan), registration = automationRegistrationFile_,
                 mailbox = mailbox_, ended = std::move(ended)] {
        QList<Outcome> outcomes = Run(plan.Attempts, registration);
        // A late test finds the mailbox closed and just ends.
        mailbox->Post([this, plan, outcomes = std::move(outcomes), ended] {
            ended([this, &plan, &outcomes] { Report(plan, outcomes); });
        });
    }).detach();
    return true;
}

std::optional<ConnectionTest::Plan> ConnectionTest::PlanOfCurrentRow(CurrentRow which) {
    switch (which) {
    case CurrentRow::Receiver: {
        RecordSet& receiver = dm_.Receiver;
        if (receiver.FieldByName(Fields::Receiver::Id_Connection_Types).AsInteger() == 0 ||
            receiver.FieldByName(Fields::Receiver::Connection_String).AsString().isEmpty()) {
            Show(kReceiverFieldsMissing, DialogKind::Information);
            return std::nullopt;
        }
        return PlanOf(receiver, receiver.FieldByName(Fields::Receiver::Id).AsInteger(), false,
                      true);
    }
    case CurrentRow::Source: {
        RecordSet& source = dm_.Source;
        const int type = source.FieldByName(Fields::Source::Id_Connection_Types).AsInteger();
        const bool kindComplete =
            (type == 1 && !source.FieldByName(Fields::Source::SQL_Query).AsString().isEmpty()) ||
            IsAutomationType(type);
        if (!kindComplete ||
            source.FieldByName(Fields::Source::Connection_String).AsString().isEmpty()) {
            Show(kSourceFieldsMissing, DialogKind::Information);
            return std::nullopt;
        }
        return PlanOf(source, source.FieldByName(Fields::Source::Id).AsInteger(), false, true);
    }
    case CurrentRow::Connection:
        break;
    }
    RecordSet& connection = dm_.Connection;
    if (connection.FieldByName(Fields::Connection::Id_Receiver).AsInteger() == 0 ||
        connection.FieldByName(Fields::Connection::Id_Source).AsInteger() == 0) {
        Show(kConnectionFieldsMissing, DialogKind::Information);
        return std::nullopt;
    }
    return PlanOf(connection, connection.FieldByName(Fields::Connection::Id).AsInteger(), true,
                  true);
}

ConnectionTest::Plan ConnectionTest::PlanOf(RecordSet& table, int id, bool wholeConnection,
                                            bool showMessages) {
    Plan plan;
    plan.WholeConnection = wholeConnection;
    plan.ShowMessages = showMessages;
    if (wholeConnection) {
        plan.Attempts = {
            AttemptOf(dm_.Receiver, table.FieldByName(Fields::Connection::Id_Receiver).AsInteger()),
            AttemptOf(dm_.Source, table.FieldByName(Fields::Connection::Id_Source).AsInteger())};
    } else {
        plan.Attempts = {AttemptOf(table, id)};
    }
    return plan;
}

ConnectionTest::Attempt ConnectionTest::AttemptOf(RecordSet& table, int id) const {
    // The stored row, not the one on screen: the cursor stays where the operator left it.
    const QVariantList stored = table.Lookup(Fields::Shared::Id, {id},
                                             Fields::Shared::Id_Connection_Types + u';' +
                                                 Fields::Shared::Connection_String);
    const int type = stored.isEmpty() ? 0 : stored.at(0).toInt();
    Attempt attempt;
    if (type == 1) {
        attempt.What = Attempt::Database;
        attempt.Target = passwords_.UnmaskConnectionString(id, table.Name(), u';',
                                                           stored.at(1).toString().trimmed());
    } else if (IsAutomationType(type)) {
        attempt.ProgId = ProgIdForType(type);
        attempt.What = attempt.ProgId.isEmpty() ? Attempt::UnknownProgId : Attempt::Automation;
        if (attempt.What == Attempt::Automation)
            attempt.Target = passwords_.UnmaskConnectionString(id, table.Name(), u' ',
                                                               stored.at(1).toString().trimmed());
    }
    return attempt;
}

QList<ConnectionTest::Outcome> ConnectionTest::Run(const QList<Attempt>& attempts,
                                                   const QString& registrationFile) {
    QList<Outcome> outcomes;
    for (const Attempt& attempt : attempts) {
        outcomes.append(RunOne(attempt, registrationFile));
        if (outcomes.last().Escaped)
            break;
    }
    return outcomes;
}

ConnectionTest::Outcome ConnectionTest::RunOne(const Attempt& attempt,
                                               const QString& registrationFile) {
    Outcome outcome;
    if (attempt.What == Attempt::Database) {
        DbConnection connection(attempt.Target);
        try {
            connection.Open();
            connection.Close();
        } catch (const std::exception& error) {
            outcome = {false, ErrorText(error), nullptr};
        }
    } else if (attempt.What == Attempt::Automation) {
        std::unique_ptr<AutomationObject> server;
        try {
            server = std::make_unique<AutomationObject>(attempt.ProgId, registrationFile);
        } catch (...) {
            outcome.Escaped = std::current_exception();
            return outcome;
        }
        try {
            const QVariant rmTrade = server->RMTrade();
            // Automation True is -1; False and anything above it mean the infobase did not open.
            if (server->Initialize(rmTrade, attempt.Target, kSplash).toInt() >= 0)
                throw Exception(QString());
        } catch (const std::exception& error) {
            outcome = {false, ErrorText(error), nullptr};
        }
    }
    return outcome;
}

bool ConnectionTest::Report(const Plan& plan, const QList<Outcome>& outcomes) {
    if (plan.WholeConnection)
        return ReportWholeConnection(plan, outcomes);
    return ReportSingle(plan.Attempts.first(), outcomes.first(), plan.ShowMessages);
}

bool ConnectionTest::ReportSingle(const Attempt& attempt, const Outcome& outcome,
                                  bool showMessages) {
    if (outcome.Escaped)
        std::rethrow_exception(outcome.Escaped);
    switch (attempt.What) {
    case Attempt::None:
        return true;
    case Attempt::UnknownProgId:
        Show(kNoProgId, DialogKind::Error);
        return true;
    case Attempt::Database:
    case Attempt::Automation:
        break;
    }
    if (outcome.Passed)
        ShowPassed(showMessages);
    else
        ShowFailure(outcome.Reason, showMessages);
    return outcome.Passed;
}

bool ConnectionTest::ReportWholeConnection(const Plan& plan, const QList<Outcome>& outcomes) {
    QString text = kSummaryHeader + kCarriageReturn;
    int failures = 0;
    const QString reasons[] = {kReceiverReason, kSourceReason};
    for (qsizetype end = 0; end < outcomes.size(); ++end)
        if (!ReportSingle(plan.Attempts.at(end), outcomes.at(end), false))
            text += kCarriageReturn + QString::number(++failures) + reasons[end];

    const qsizetype placeholder = text.indexOf(QStringLiteral("{0}"));
    if (failures == 1)
        text.replace(placeholder, 3, kOneReason);
    else if (failures == 2)
        text.replace(placeholder, 3, kTwoReasons);

    if (failures == 0) {
        Show(kPassed, DialogKind::Information);
        return true;
    }
    Show(text, DialogKind::Error);
    return false;
}

void ConnectionTest::ShowFailure(const QString& reason, bool showMessages) {
    if (showMessages)
        Show(kFailed + kCarriageReturn + kCarriageReturn + reason, DialogKind::Error);
}

void ConnectionTest::ShowPassed(bool showMessages) {
    if (showMessages)
        Show(kPassed, DialogKind::Information);
}

void ConnectionTest::Show(const QString& text, DialogKind kind) {
    prompts_.MessageDlg(text, kind, {DialogButton::Yes});
}

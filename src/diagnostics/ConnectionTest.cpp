#include "diagnostics/ConnectionTest.h"

#include "core/PasswordKeeper.h"
#include "core/uDm.h"
#include "platform/AutomationObject.h"
#include "platform/DbConnection.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"

#include <exception>

namespace {

const QChar CarriageReturn = u'\r';

const QString Passed = QStringLiteral("Подключение прошло");
const QString Failed = QStringLiteral("Подключение не прошло");
const QString NoProgId = QStringLiteral("Программа не смогла определить тип программы 1С");

const QString ReceiverFieldsMissing = QStringLiteral(
    "Вы должны сначала вести следующие поля \"Тип подключения\" и \"Строка подключения\".");
const QString SourceFieldsMissing =
    QStringLiteral("Вы должны сначала вести следующие поля \"Тип подключения\", \"Строка "
                   "подключения\" и \"SQL запрос\"(если выбрана SQL-база).");
const QString ConnectionFieldsMissing = QStringLiteral(
    "Вы должны сначала вести следующие поля \"Название приемника\" и \"Название источника\".");

const QString SummaryHeader = QStringLiteral("Подключение не прошло в связи со {0}:");
const QString OneReason = QStringLiteral("следующей причиной");
const QString TwoReasons = QStringLiteral("следующими причинами");
const QString ReceiverReason =
    QStringLiteral(") Приемник не смог установить соединение с базой данных.");
const QString SourceReason =
    QStringLiteral(") Источник не смог установить соединение с базой данных.");

const QString Splash = QStringLiteral("NO_SPLASH_SHOW");

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
    , automationRegistrationFile_(std::move(automationRegistrationFile)) {}

bool ConnectionTest::TestConnection(RecordSet& table, int id, bool wholeConnection,
                                    bool showMessages) {
    if (wholeConnection)
        return TestWholeConnection(table);
    return TestSingle(table, id, showMessages);
}

void ConnectionTest::TestReceiverOfCurrentRow() {
    RecordSet& receiver = dm_.Receiver;
    if (receiver.FieldByName(QStringLiteral("Id_Connection_Types")).AsInteger() == 0 ||
        receiver.FieldByName(QStringLiteral("Connection_String")).AsString().isEmpty()) {
        Show(ReceiverFieldsMissing, DialogKind::Information);
        return;
    }
    TestConnection(receiver, receiver.FieldByName(QStringLiteral("Id")).AsInteger(), false, true);
}

void ConnectionTest::TestSourceOfCurrentRow() {
    RecordSet& source = dm_.Source;
    const int type = source.FieldByName(QStringLiteral("Id_Connection_Types")).AsInteger();
    const bool kindComplete =
        (type == 1 && !source.FieldByName(QStringLiteral("SQL_Query")).AsString().isEmpty()) ||
        IsAutomationType(type);
    if (!kindComplete ||
        source.FieldByName(QStringLiteral("Connection_String")).AsString().isEmpty()) {
        Show(SourceFieldsMissing, DialogKind::Information);
        return;
    }
    TestConnection(source, source.FieldByName(QStringLiteral("Id")).AsInteger(), false, true);
}

void ConnectionTest::TestConnectionOfCurrentRow() {
    RecordSet& connection = dm_.Connection;
    if (connection.FieldByName(QStringLiteral("Id_Receiver")).AsInteger() == 0 ||
        connection.FieldByName(QStringLiteral("Id_Source")).AsInteger() == 0) {
        Show(ConnectionFieldsMissing, DialogKind::Information);
        return;
    }
    TestConnection(connection, connection.FieldByName(QStringLiteral("Id")).AsInteger(), true,
                   true);
}

bool ConnectionTest::TestSingle(RecordSet& table, int id, bool showMessages) {
    // The stored row, not the one on screen: the cursor stays where the operator left it.
    const QVariantList stored = table.Lookup(
        QStringLiteral("Id"), {id}, QStringLiteral("Id_Connection_Types;Connection_String"));
    const int type = stored.isEmpty() ? 0 : stored.at(0).toInt();
    if (type == 1) {
        const QString connectionString = passwords_.UnmaskConnectionString(
            id, table.Name(), u';', stored.at(1).toString().trimmed());
        return TestDatabase(connectionString, showMessages);
    }
    if (IsAutomationType(type))
        return TestAutomation(type, id, table.Name(), stored.at(1).toString(), showMessages);
    return true;
}

bool ConnectionTest::TestDatabase(const QString& connectionString, bool showMessages) {
    DbConnection connection(connectionString);
    try {
        connection.Open();
        connection.Close();
    } catch (const std::exception& error) {
        ShowFailure(ErrorText(error), showMessages);
        return false;
    }
    ShowPassed(showMessages);
    return true;
}

bool ConnectionTest::TestAutomation(int type, int id, const QString& tableName,
                                    const QString& connectionString, bool showMessages) {
    const QString progId = ProgIdForType(type);
    if (progId.isEmpty()) {
        Show(NoProgId, DialogKind::Error);
        return true;
    }
    AutomationObject server(progId, automationRegistrationFile_);
    const QString commandLine =
        passwords_.UnmaskConnectionString(id, tableName, u' ', connectionString.trimmed());
    try {
        const QVariant rmTrade = server.RMTrade();
        // Automation True is -1; False and anything above it mean the infobase did not open.
        if (server.Initialize(rmTrade, commandLine, Splash).toInt() >= 0)
            throw Exception(QString());
    } catch (const std::exception& error) {
        ShowFailure(ErrorText(error), showMessages);
        return false;
    }
    ShowPassed(showMessages);
    return true;
}

bool ConnectionTest::TestWholeConnection(RecordSet& connection) {
    QString text = SummaryHeader + CarriageReturn;
    int failures = 0;
    const int receiverId = connection.FieldByName(QStringLiteral("Id_Receiver")).AsInteger();
    if (!TestSingle(dm_.Receiver, receiverId, false))
        text += CarriageReturn + QString::number(++failures) + ReceiverReason;
    const int sourceId = connection.FieldByName(QStringLiteral("Id_Source")).AsInteger();
    if (!TestSingle(dm_.Source, sourceId, false))
        text += CarriageReturn + QString::number(++failures) + SourceReason;

    const qsizetype placeholder = text.indexOf(QStringLiteral("{0}"));
    if (failures == 1)
        text.replace(placeholder, 3, OneReason);
    else if (failures == 2)
        text.replace(placeholder, 3, TwoReasons);

    if (failures == 0) {
        Show(Passed, DialogKind::Information);
        return true;
    }
    Show(text, DialogKind::Error);
    return false;
}

void ConnectionTest::ShowFailure(const QString& reason, bool showMessages) {
    if (showMessages)
        Show(Failed + CarriageReturn + CarriageReturn + reason, DialogKind::Error);
}

void ConnectionTest::ShowPassed(bool showMessages) {
    if (showMessages)
        Show(Passed, DialogKind::Information);
}

void ConnectionTest::Show(const QString& text, DialogKind kind) {
    prompts_.MessageDlg(text, kind, {DialogButton::Yes});
}

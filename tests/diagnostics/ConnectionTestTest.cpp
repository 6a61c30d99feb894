#include "diagnostics/ConnectionTest.h"

#include "support/DatabaseFixtures.h"
#include "support/EngineFixture.h"
#include "support/FailureKind.h"
#include "support/InfobaseFixture.h"

#include "core/TableFields.h"
#include "platform/DbConnection.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// What the operator should see after one test.
enum class Outcome {
    Passed,          // "Подключение прошло"
    ProviderFailure, // "Подключение не прошло", two CRs, the database provider's own text
    EmptyFailure, // "Подключение не прошло", two CRs and nothing more
    Nothing,      // no message at all
};

const QString kPassed = QStringLiteral("Подключение прошло");
const QString kFailed = QStringLiteral("Подключение не прошло\r\r");
const QString kReceiverFieldsMissing = QStringLiteral(
    "Вы должны сначала вести следующие поля \"Тип подключения\" и \"Строка подключения\".");
const QString kSourceFieldsMissing =
    QStringLiteral("Вы должны сначала вести следующие поля \"Тип подключения\", \"Строка "
                   "подключения\" и \"SQL запрос\"(если выбрана SQL-база).");
const QString kConnectionFieldsMissing = QStringLiteral(
    "Вы должны сначала вести следующие поля \"Название приемника\" и \"Название источника\".");
const QString kQuery = QStringLiteral("select Code, Quantity from Balances");

// The text the database provider gives for a connection string that does not open.
QString ProviderText(const QString& connectionString) {
    DbConnection connection(connectionString);
    QString text;
    if (FailureKind([&] { connection.Open(); }, &text) != QStringLiteral("EOleException"))
        qFatal("%s opened", qPrintable(connectionString));
    return text;
}

void SetStored(RecordSet& table, int id, const QString& field, const QVariant& value) {
    if (!table.Locate(Fields::Shared::Id, {id}))
        qFatal("no row %d in %s", id, qPrintable(table.Name()));
    table.Edit();
    table.FieldByName(field).SetValue(value);
    table.Post();
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class ConnectionTestTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void receiverFieldCheck_data();
    void receiverFieldCheck();
    void sourceFieldCheck_data();
    void sourceFieldCheck();
    void connectionFieldCheck_data();
    void connectionFieldCheck();

    void singleAttempt_data();
    void singleAttempt();
    void keptPasswordIsRestored_data();
    void keptPasswordIsRestored();
    void unregisteredProgIdPropagates_data();
    void unregisteredProgIdPropagates();

    void wholeConnection_data();
    void wholeConnection();

    void rowNeverSavedIsNotTested();
    void editsNotSavedAreNotUsed();

private:
    // A connection string by its name in the data tables.
    QString Resolve(const QString& name) const;
    // The one message expected for the outcome of the named connection string.
    void VerifyShown(Outcome outcome, const QString& stringName) const;
    void VerifyOnlyMessage(const QString& text, DialogKind kind) const;
    ConnectionTest& Tester() { return *tester_; }

    DatabaseFixtures databases_;
    std::unique_ptr<InfobaseFixture> infobase_;
    QString firebird_;
    QString firebirdMissing_;
    QString firebirdServer_;
    QString sqlite_;
    QString sqliteMissing_;

    std::unique_ptr<EngineFixture> fixture_;
    std::unique_ptr<ConnectionTest> tester_;
};

void ConnectionTestTest::initTestCase() {
    infobase_ = std::make_unique<InfobaseFixture>();
    firebird_ = databases_.CreateFirebirdEmbedded(QStringLiteral("receiver"));
    firebirdMissing_ =
        QString(firebird_).replace(QStringLiteral("receiver.fdb"), QStringLiteral("missing.fdb"));
    QVERIFY(firebirdMissing_ != firebird_);
    firebirdServer_ = databases_.CreateFirebirdServer(QStringLiteral("receiver"));
    sqlite_ = databases_.CreateSqlite(QStringLiteral("source"));
    sqliteMissing_ = QStringLiteral("Driver=SQLite3;Database=%1")
                         .arg(QDir(databases_.Folder()).filePath("no such folder/source.sqlite"));
}

void ConnectionTestTest::init() {
    fixture_ = std::make_unique<EngineFixture>();
    tester_ = std::make_unique<ConnectionTest>(fixture_->Dm, fixture_->Passwords, fixture_->Prompts,
                                               infobase_->RegistrationFile());
}

void ConnectionTestTest::cleanup() {
    tester_.reset();
    fixture_.reset();
}

QString ConnectionTestTest::Resolve(const QString& name) const {
    if (name == u"firebird")
        return firebird_;
    if (name == u"firebird-missing")
        return firebirdMissing_;
    if (name == u"sqlite")
        return sqlite_;
    if (name == u"sqlite-missing")
        return sqliteMissing_;
    if (name == u"1c")
        return infobase_->CommandLine();
    if (name == u"1c-wrong-password")
        return infobase_->CommandLine(InfobaseFixture::UserName(), QStringLiteral("неверный"));
    if (name.isEmpty())
        return QString();
    qFatal("unknown connection string %s", qPrintable(name));
}

void ConnectionTestTest::VerifyOnlyMessage(const QString& text, DialogKind kind) const {
    const QList<ScriptedPrompts::Shown>& shown = fixture_->Prompts.Messages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().Text, text);
    QCOMPARE(shown.first().Kind, kind);
    QVERIFY(!shown.first().SystemBox);
    QCOMPARE(shown.first().Buttons, DialogButtons{DialogButton::Yes});
}

void ConnectionTestTest::VerifyShown(Outcome outcome, const QString& stringName) const {
    switch (outcome) {
    case Outcome::Passed:
        VerifyOnlyMessage(kPassed, DialogKind::Information);
        return;
    case Outcome::ProviderFailure: {
        const QString reason = ProviderText(Resolve(stringName));
        QVERIFY(!reason.isEmpty());
        VerifyOnlyMessage(kFailed + reason, DialogKind::Error);
        return;
    }
    case Outcome::EmptyFailure:
        VerifyOnlyMessage(kFailed, DialogKind::Error);
        return;
    case Outcome::Nothing:
        QCOMPARE(fixture_->Prompts.Texts(), QStringList());
        return;
    }
}

void ConnectionTestTest::receiverFieldCheck_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<bool>("fieldsMissing");

    QTest::newRow("type set, string empty") << 1 << "" << Outcome::Nothing << true;
    QTest::newRow("no type, string set") << 0 << "firebird" << Outcome::Nothing << true;
    QTest::newRow("Firebird") << 1 << "firebird" << Outcome::Passed << false;
    QTest::newRow("Firebird file missing")
        << 1 << "firebird-missing" << Outcome::ProviderFailure << false;
    // A type the test has no attempt for passes the check and shows nothing.
    QTest::newRow("unknown type") << 7 << "firebird" << Outcome::Nothing << false;
}

void ConnectionTestTest::receiverFieldCheck() {
    QFETCH(int, type);
    QFETCH(QString, connectionString);
    QFETCH(Outcome, outcome);
    QFETCH(bool, fieldsMissing);

    const int id = fixture_->AddReceiver(Resolve(connectionString));
    SetStored(fixture_->Dm.Receiver, id, Fields::Receiver::Id_Connection_Types, type);
    Tester().TestReceiverOfCurrentRow();

    if (fieldsMissing)
        VerifyOnlyMessage(kReceiverFieldsMissing, DialogKind::Information);
    else
        VerifyShown(outcome, connectionString);
}

void ConnectionTestTest::sourceFieldCheck_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QString>("sqlQuery");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<bool>("fieldsMissing");

    QTest::newRow("SQL without query") << 1 << "sqlite"
                                       << "" << Outcome::Nothing << true;
    QTest::newRow("SQL without string") << 1 << "" << kQuery << Outcome::Nothing << true;
    QTest::newRow("no type") << 0 << "sqlite" << kQuery << Outcome::Nothing << true;
    QTest::newRow("type without attempt") << 7 << "sqlite" << kQuery << Outcome::Nothing << true;
    QTest::newRow("1C without string") << 3 << ""
                                       << "" << Outcome::Nothing << true;
    QTest::newRow("SQLite") << 1 << "sqlite" << kQuery << Outcome::Passed << false;
    QTest::newRow("SQLite folder missing")
        << 1 << "sqlite-missing" << kQuery << Outcome::ProviderFailure << false;
    QTest::newRow("1C needs no query") << 2 << "1c"
                                       << "" << Outcome::Passed << false;
    QTest::newRow("1C wrong password") << 6 << "1c-wrong-password"
                                       << "" << Outcome::EmptyFailure << false;
}

void ConnectionTestTest::sourceFieldCheck() {
    QFETCH(int, type);
    QFETCH(QString, connectionString);
    QFETCH(QString, sqlQuery);
    QFETCH(Outcome, outcome);
    QFETCH(bool, fieldsMissing);

    fixture_->AddSource(type, Resolve(connectionString), sqlQuery);
    Tester().TestSourceOfCurrentRow();

    if (fieldsMissing)
        VerifyOnlyMessage(kSourceFieldsMissing, DialogKind::Information);
    else
        VerifyShown(outcome, connectionString);
}

void ConnectionTestTest::connectionFieldCheck_data() {
    QTest::addColumn<bool>("withReceiver");
    QTest::addColumn<bool>("withSource");

    QTest::newRow("no receiver") << false << true;
    QTest::newRow("no source") << true << false;
    QTest::newRow("neither") << false << false;
    QTest::newRow("both") << true << true;
}

void ConnectionTestTest::connectionFieldCheck() {
    QFETCH(bool, withReceiver);
    QFETCH(bool, withSource);

    const int receiverId = fixture_->AddReceiver(firebird_);
    const int sourceId = fixture_->AddSource(1, sqlite_, kQuery);
    fixture_->AddConnection(QStringLiteral("Склад"), withReceiver ? receiverId : 0,
                            withSource ? sourceId : 0);
    Tester().TestConnectionOfCurrentRow();

    if (withReceiver && withSource)
        VerifyOnlyMessage(kPassed, DialogKind::Information);
    else
        VerifyOnlyMessage(kConnectionFieldsMissing, DialogKind::Information);
}

void ConnectionTestTest::singleAttempt_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<bool>("showMessages");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<Outcome>("outcome");

    for (bool show : {true, false}) {
        const auto row = [show](const char* name) -> QTestData& {
            return QTest::addRow("%s%s", name, show ? "" : ", quiet");
        };
        const auto quietly = [show](Outcome outcome) { return show ? outcome : Outcome::Nothing; };
        row("Firebird receiver") << "Receiver" << 1 << "firebird" << show << true
                                 << quietly(Outcome::Passed);
        row("Firebird receiver, file missing") << "Receiver" << 1 << "firebird-missing" << show
                                               << false << quietly(Outcome::ProviderFailure);
        row("SQLite source") << "Source" << 1 << "sqlite" << show << true
                             << quietly(Outcome::Passed);
        row("SQLite source, folder missing") << "Source" << 1 << "sqlite-missing" << show << false
                                             << quietly(Outcome::ProviderFailure);
        row("1C source") << "Source" << 3 << "1c" << show << true << quietly(Outcome::Passed);
        row("1C source, wrong password") << "Source" << 4 << "1c-wrong-password" << show << false
                                         << quietly(Outcome::EmptyFailure);
    }
    // Types outside 1 to 6 have no attempt: passed, whatever the string, and silent.
    QTest::newRow("no type") << "Receiver" << 0 << "firebird-missing" << true << true
                             << Outcome::Nothing;
    QTest::newRow("type 7") << "Source" << 7 << "1c-wrong-password" << true << true
                            << Outcome::Nothing;
    QTest::newRow("negative type")
        << "Source" << -1 << "sqlite-missing" << true << true << Outcome::Nothing;
}

void ConnectionTestTest::singleAttempt() {
    QFETCH(QString, table);
    QFETCH(int, type);
    QFETCH(QString, connectionString);
    QFETCH(bool, showMessages);
    QFETCH(bool, expected);
    QFETCH(Outcome, outcome);

    RecordSet& rows = *fixture_->Dm.TableByName(table);
    const int id = table == u"Receiver" ? fixture_->AddReceiver(Resolve(connectionString))
                                        : fixture_->AddSource(type, Resolve(connectionString));
    SetStored(rows, id, Fields::Shared::Id_Connection_Types, type);

    QCOMPARE(Tester().TestConnection(rows, id, false, showMessages), expected);
    VerifyShown(outcome, connectionString);
}

void ConnectionTestTest::keptPasswordIsRestored_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QString>("password");

    QTest::newRow("Firebird server receiver")
        << "Receiver" << firebirdServer_ << DatabaseFixtures::SysdbaPassword();
    QTest::newRow("1C source") << "Source" << infobase_->CommandLine()
                               << InfobaseFixture::Password();
}

void ConnectionTestTest::keptPasswordIsRestored() {
    QFETCH(QString, table);
    QFETCH(QString, connectionString);
    QFETCH(QString, password);

    RecordSet& rows = *fixture_->Dm.TableByName(table);
    const int id = table == u"Receiver" ? fixture_->AddReceiver(connectionString)
                                        : fixture_->AddSource(3, connectionString);
    const QString shown =
        rows.Lookup(Fields::Shared::Id, {id}, Fields::Shared::Connection_String).first().toString();
    QVERIFY2(!shown.contains(password), qPrintable(shown));

    QVERIFY(Tester().TestConnection(rows, id, false, true));
    VerifyOnlyMessage(kPassed, DialogKind::Information);

    // Without the kept password the asterisks themselves are sent, and they are refused.
    fixture_->Prompts.Clear();
    fixture_->Dm.VremTable.EmptyTable();
    QVERIFY(!Tester().TestConnection(rows, id, false, true));
    VerifyOnlyMessage(table == u"Receiver" ? kFailed + ProviderText(shown) : kFailed,
                      DialogKind::Error);
}

void ConnectionTestTest::unregisteredProgIdPropagates_data() {
    QTest::addColumn<bool>("wholeConnection");

    QTest::newRow("source") << false;
    QTest::newRow("whole connection") << true;
}

void ConnectionTestTest::unregisteredProgIdPropagates() {
    QFETCH(bool, wholeConnection);

    const QTemporaryDir empty;
    QVERIFY(empty.isValid());
    ConnectionTest tester(fixture_->Dm, fixture_->Passwords, fixture_->Prompts,
                          empty.filePath(QStringLiteral("Automation.ini")));
    const int sourceId = fixture_->AddSource(5, infobase_->CommandLine());
    // The receiver fails too: the summary would hold it, were it shown.
    const int connectionId = fixture_->AddConnection(
        QStringLiteral("Склад"), fixture_->AddReceiver(firebirdMissing_), sourceId);

    QString failure;
    const QString kind = FailureKind(
        [&] {
            if (wholeConnection)
                tester.TestConnection(fixture_->Dm.Connection, connectionId, true, true);
            else
                tester.TestConnection(fixture_->Dm.Source, sourceId, false, true);
        },
        &failure);
    QVERIFY2(kind == QStringLiteral("EOleSysError"), qPrintable(kind + u' ' + failure));
    QVERIFY2(failure.contains(QStringLiteral("V77L.Application")), qPrintable(failure));
    VerifyShown(Outcome::Nothing, QString());
}

void ConnectionTestTest::wholeConnection_data() {
    QTest::addColumn<int>("receiverType");
    QTest::addColumn<QString>("receiverString");
    QTest::addColumn<int>("sourceType");
    QTest::addColumn<QString>("sourceString");
    QTest::addColumn<bool>("showMessages");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("text");

    const QString oneReason =
        QStringLiteral("Подключение не прошло в связи со следующей причиной:\r");
    const QString twoReasons =
        QStringLiteral("Подключение не прошло в связи со следующими причинами:\r");
    const QString receiverReason =
        QStringLiteral(") Приемник не смог установить соединение с базой данных.");
    const QString sourceReason =
        QStringLiteral(") Источник не смог установить соединение с базой данных.");

    QTest::newRow("both reached") << 1 << "firebird" << 1 << "sqlite" << true << true << kPassed;
    QTest::newRow("both reached, quiet")
        << 1 << "firebird" << 3 << "1c" << false << true << kPassed;
    QTest::newRow("source fails") << 1 << "firebird" << 2 << "1c-wrong-password" << true << false
                                  << oneReason + "\r1" + sourceReason;
    QTest::newRow("receiver fails") << 1 << "firebird-missing" << 1 << "sqlite" << true << false
                                    << oneReason + "\r1" + receiverReason;
    QTest::newRow("both fail, quiet")
        << 1 << "firebird-missing" << 1 << "sqlite-missing" << false << false
        << twoReasons + "\r1" + receiverReason + "\r2" + sourceReason;
    QTest::newRow("receiver without attempt") << 0 << "firebird-missing" << 1 << "sqlite-missing"
                                              << true << false << oneReason + "\r1" + sourceReason;
    QTest::newRow("source without attempt")
        << 1 << "firebird" << 9 << "sqlite-missing" << true << true << kPassed;
}

void ConnectionTestTest::wholeConnection() {
    QFETCH(int, receiverType);
    QFETCH(QString, receiverString);
    QFETCH(int, sourceType);
    QFETCH(QString, sourceString);
    QFETCH(bool, showMessages);
    QFETCH(bool, expected);
    QFETCH(QString, text);

    const int receiverId = fixture_->AddReceiver(Resolve(receiverString));
    SetStored(fixture_->Dm.Receiver, receiverId, Fields::Receiver::Id_Connection_Types,
              receiverType);
    const int sourceId = fixture_->AddSource(sourceType, Resolve(sourceString), kQuery);
    const int connectionId = fixture_->AddConnection(QStringLiteral("Склад"), receiverId, sourceId);

    // The id is not what picks the ends: the current row's receiver and source do.
    QCOMPARE(
        Tester().TestConnection(fixture_->Dm.Connection, connectionId + 100, true, showMessages),
        expected);
    VerifyOnlyMessage(text, expected ? DialogKind::Information : DialogKind::Error);
}

void ConnectionTestTest::rowNeverSavedIsNotTested() {
    fixture_->AddReceiver(firebird_);
    RecordSet& receiver = fixture_->Dm.Receiver;
    receiver.Append();
    receiver.FieldByName(Fields::Receiver::Id).SetAsInteger(50);
    receiver.FieldByName(Fields::Receiver::Id_Connection_Types).SetAsInteger(1);
    receiver.FieldByName(Fields::Receiver::Connection_String).SetAsString(firebirdMissing_);

    Tester().TestReceiverOfCurrentRow();
    VerifyShown(Outcome::Nothing, QString());
    QVERIFY(Tester().TestConnection(receiver, 50, false, true));
    VerifyShown(Outcome::Nothing, QString());

    QCOMPARE(receiver.State(), RecordSetState::Insert);
    QCOMPARE(receiver.FieldByName(Fields::Receiver::Connection_String).AsString(),
             firebirdMissing_);
    receiver.Cancel();
    QCOMPARE(receiver.RecordCount(), 1);
}

void ConnectionTestTest::editsNotSavedAreNotUsed() {
    const int first = fixture_->AddReceiver(firebirdMissing_);
    fixture_->AddReceiver(firebird_);
    RecordSet& receiver = fixture_->Dm.Receiver;
    receiver.First();
    receiver.Edit();
    receiver.FieldByName(Fields::Receiver::Connection_String).SetAsString(firebird_);
    int posts = 0;
    receiver.AfterPost = [&posts](RecordSet&) { ++posts; };

    Tester().TestReceiverOfCurrentRow();
    VerifyShown(Outcome::ProviderFailure, QStringLiteral("firebird-missing"));

    // The cursor and the edit stay as the operator left them, and nothing was posted.
    QCOMPARE(receiver.State(), RecordSetState::Edit);
    QCOMPARE(receiver.RecNo(), 0);
    QCOMPARE(receiver.FieldByName(Fields::Receiver::Id).AsInteger(), first);
    QCOMPARE(receiver.FieldByName(Fields::Receiver::Connection_String).AsString(), firebird_);
    QCOMPARE(posts, 0);
    receiver.AfterPost = nullptr;
}

QTEST_GUILESS_MAIN(ConnectionTestTest)
#include "ConnectionTestTest.moc"

#include "support/DatabaseFixtures.h"
#include "support/FailureKind.h"
#include "support/PrivateFirebirdServer.h"
#include "support/SilentServer.h"

#include "platform/DbConnection.h"
#include "platform/DbQuery.h"
#include "platform/Errors.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <future>
#include <memory>
#include <thread>
#include <tuple>

Q_DECLARE_METATYPE(TestDatabaseKind)

namespace {
const QString kSelect = QStringLiteral("select B.Code, A.Quantity from Stock_Balance A, Parts B "
                                       "where A.Partno = B.Partno order by B.Code");
const QString kUpdate = QStringLiteral("update Stock_Balance set Quantity = :Quantity where "
                                       "Partno = (select A.Partno from Parts A where A.Code = "
                                       ":Code)");
const QString kWrongPassword = QStringLiteral("Wr0ngSecret");

const QList<DatabaseFixtures::Item> kItems{
    {1, 1001, 5.0}, {2, 1002, 2.5}, {3, 1003, QVariant()}, {4, 1000, 0.0}};

QHash<int, QVariant> QuantitiesByCode(const QString& connectionString) {
    QHash<int, QVariant> result;
    for (const QVariantList& row : DatabaseFixtures::Select(connectionString, kSelect))
        result.insert(row.at(0).toInt(), row.at(1));
    return result;
}

QString WithPassword(QString connectionString, const QString& password) {
    return connectionString.replace(QRegularExpression(QStringLiteral("PWD=[^;]*")),
                                    QStringLiteral("PWD=") + password);
}
} // namespace

class DatabaseTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A PostgreSQL server that takes the connection and never answers: the connect gives up
    // after its time-out instead of hanging.
    void connectToASilentServerGivesUp() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        DbConnection connection(QStringLiteral("Driver=PostgreSQL Unicode;Server=127.0.0.1;"
                                               "Port=%1;Database=x;UID=x;PWD=x")
                                    .arg(silent.serverPort()));
        QElapsedTimer connecting;
        connecting.start();
        std::future<void> opened = std::async(std::launch::async, [&] { connection.Open(); });
        const bool gaveUp = opened.wait_for(std::chrono::seconds(45)) == std::future_status::ready;
        // Closing the server ends a connect that still hangs.
        silent.close();
        QVERIFY2(gaveUp, qPrintable(QString::number(connecting.elapsed())));
        QVERIFY_THROWS_EXCEPTION(EOleException, opened.get());
        QVERIFY2(connecting.elapsed() >= 25000, qPrintable(QString::number(connecting.elapsed())));
    }
    // A Firebird server that takes the connection and never answers: Qt's driver alone would
    // wait for the client's own time-out of minutes, the connect gives up after its bound.
    void firebirdConnectToASilentServerGivesUp() {
        const std::chrono::seconds bound(3);
        SilentServer silent(std::chrono::seconds(240));
        const QString database = QStringLiteral("127.0.0.1/%1:/srv/r.fdb").arg(silent.Port());
        DbConnection connection(
            QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;UID=SYSDBA;PWD=%2")
                .arg(database, kWrongPassword),
            bound);
        QElapsedTimer connecting;
        connecting.start();
        std::future<void> opened = std::async(std::launch::async, [&] { connection.Open(); });
        const bool gaveUp = opened.wait_for(bound * 4) == std::future_status::ready;
        const qint64 elapsed = connecting.elapsed();
        // Resetting the held connections ends a connect that still hangs.
        silent.Release();
        QVERIFY2(gaveUp, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed >= std::chrono::milliseconds(bound).count(),
                 qPrintable(QString::number(elapsed)));
        QString message;
        QCOMPARE(FailureKind([&] { opened.get(); }, &message), QStringLiteral("EOleException"));
        QVERIFY2(message.contains(database) && message.contains(QStringLiteral("3 с")) &&
                     !message.contains(kWrongPassword),
                 qPrintable(message));
        QVERIFY(!connection.IsOpen());
    }
    void initTestCase();
    void init();
    void selectReadsRowsInOrder_data();
    void selectReadsRowsInOrder();
    void updateBindsNamedParameters_data();
    void updateBindsNamedParameters();
    void executeBlockBindsMarkersByPosition_data();
    void executeBlockBindsMarkersByPosition();
    void rollbackUndoesEveryUpdate_data();
    void rollbackUndoesEveryUpdate();
    void wrongPasswordFailsAtOpen_data();
    void wrongPasswordFailsAtOpen();
    void bracedPasswordHoldsTheSeparator_data();
    void bracedPasswordHoldsTheSeparator();
    void openFailureTextHoldsNoPassword_data();
    void openFailureTextHoldsNoPassword();
    void lookupFindsRowByKey_data();
    void lookupFindsRowByKey();
    void lookupMatchesKeysAsNormalized_data();
    void lookupMatchesKeysAsNormalized();
    void statementErrorIsProviderError_data();
    void statementErrorIsProviderError();
    void misuseAndConversionAreOtherKinds_data();
    void misuseAndConversionAreOtherKinds();
    void trailingSeparatorIsNotPassedOn_data();
    void trailingSeparatorIsNotPassedOn();
    void firebirdCharset_data();
    void firebirdCharset();
    void queryOutlivingItsConnection();
    void stoppedServerFailsNextStatement();

private:
    static void AddKindsThatCheckPasswords();
    static QList<TestDatabaseKind> AllKinds();
    static QString Tag(TestDatabaseKind kind, const QString& variant = QString());
    // The kind's database with the receiver items seeded afresh.
    QString Seeded(TestDatabaseKind kind) const;

    std::unique_ptr<DatabaseFixtures> fixtures_;
    QHash<TestDatabaseKind, QString> databases_;
};

void DatabaseTest::initTestCase() {
    fixtures_ = std::make_unique<DatabaseFixtures>();
    try {
        for (TestDatabaseKind kind : AllKinds()) {
            const QString connectionString = fixtures_->Create(kind, QStringLiteral("receiver"));
            DatabaseFixtures::CreateReceiverSchema(connectionString);
            // Firebird uses a table only once the transaction that made it has committed.
            DatabaseFixtures::Run(connectionString,
                                  {QStringLiteral("create table Source (IntKey integer, TextKey "
                                                  "varchar(20), FloatKey double precision, Qty "
                                                  "double precision)")});
            DatabaseFixtures::Run(
                connectionString,
                {QStringLiteral("insert into Source values (1001, '1001', 1001.0, 7.5)"),
                 QStringLiteral("insert into Source values (1002, '1002', 1002.0, null)"),
                 QStringLiteral("insert into Source values (1003, '1003', 1003.0, 0)")});
            DatabaseFixtures::Run(connectionString,
                                  {QStringLiteral("create table Text_Keys (Code varchar(30), Qty "
                                                  "double precision)")});
            DatabaseFixtures::Run(
                connectionString,
                {QStringLiteral("insert into Text_Keys values ('1001', 1)"),
                 QStringLiteral("insert into Text_Keys values ('1001', 2)"),
                 QStringLiteral("insert into Text_Keys values (' 1004 ', 4)"),
                 QStringLiteral("insert into Text_Keys values ('1005.0', 5)"),
                 QStringLiteral("insert into Text_Keys values ('1.5', 6)"),
                 QStringLiteral("insert into Text_Keys values ('abc', 7)"),
                 QStringLiteral("insert into Text_Keys values ('9100000000000000000', 8)"),
                 QStringLiteral("insert into Text_Keys values ('1e19', 9)"),
                 QStringLiteral("insert into Text_Keys values (null, 10)")});
            databases_.insert(kind, connectionString);
        }
    } catch (const std::exception& error) {
        QFAIL(error.what());
    }
}

void DatabaseTest::init() {
    // A statement left on a connection when its name is removed shows up as this warning.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("still in use")));
}

QList<TestDatabaseKind> DatabaseTest::AllKinds() {
    return {TestDatabaseKind::FirebirdEmbedded, TestDatabaseKind::FirebirdServer,
            TestDatabaseKind::Sqlite, TestDatabaseKind::PostgreSql};
}

void DatabaseTest::AddKindsThatCheckPasswords() {
    // The embedded engine and SQLite check no password.
    QTest::addColumn<TestDatabaseKind>("kind");
    for (TestDatabaseKind kind : {TestDatabaseKind::FirebirdServer, TestDatabaseKind::PostgreSql})
        QTest::newRow(qPrintable(Tag(kind))) << kind;
}

QString DatabaseTest::Tag(TestDatabaseKind kind, const QString& variant) {
    const QString name = DatabaseFixtures::KindName(kind);
    return variant.isEmpty() ? name : name + QStringLiteral(": ") + variant;
}

QString DatabaseTest::Seeded(TestDatabaseKind kind) const {
    const QString connectionString = databases_.value(kind);
    DatabaseFixtures::SeedReceiver(connectionString, kItems);
    return connectionString;
}

void DatabaseTest::selectReadsRowsInOrder_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    for (TestDatabaseKind kind : AllKinds())
        QTest::newRow(qPrintable(Tag(kind))) << kind;
}

void DatabaseTest::selectReadsRowsInOrder() {
    QFETCH(TestDatabaseKind, kind);
    DbConnection connection(Seeded(kind));
    connection.Open();
    QVERIFY(connection.IsOpen());
    DbQuery query(connection);
    query.SetSql(kSelect);
    query.Prepare();
    query.Open();

    QList<int> codes;
    QList<double> quantities;
    QList<bool> nulls;
    QStringList texts;
    for (; !query.Eof(); query.Next()) {
        codes.append(query.FieldAsInteger(QStringLiteral("Code")));
        quantities.append(query.FieldAsFloat(QStringLiteral("QUANTITY")));
        nulls.append(query.FieldIsNull(QStringLiteral("quantity")));
        texts.append(query.FieldAsText(QStringLiteral("Quantity")));
    }
    QCOMPARE(codes, (QList<int>{1000, 1001, 1002, 1003}));
    QCOMPARE(quantities, (QList<double>{0.0, 5.0, 2.5, 0.0}));
    QCOMPARE(nulls, (QList<bool>{false, false, false, true}));
    QCOMPARE(texts.at(2), QStringLiteral("2.5"));
    QCOMPARE(texts.at(3), QString());

    query.Close();
    connection.Close();
    QVERIFY(!connection.IsOpen());
}

void DatabaseTest::updateBindsNamedParameters_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    QTest::addColumn<QVariant>("quantity");
    QTest::addColumn<QVariant>("code");
    for (TestDatabaseKind kind : AllKinds()) {
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("text values"))))
            << kind << QVariant(QStringLiteral("12.5")) << QVariant(QStringLiteral("1002"));
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("numbers"))))
            << kind << QVariant(12.5) << QVariant(1002);
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("integer quantity, text code"))))
            << kind << QVariant(12) << QVariant(QStringLiteral("1002"));
    }
}

void DatabaseTest::updateBindsNamedParameters() {
    QFETCH(TestDatabaseKind, kind);
    QFETCH(QVariant, quantity);
    QFETCH(QVariant, code);
    const QString connectionString = Seeded(kind);
    {
        DbConnection connection(connectionString);
        connection.Open();
        connection.BeginTrans();
        DbQuery update(connection);
        update.SetSql(kUpdate);
        update.Prepare();
        update.SetParameter(QStringLiteral("Quantity"), quantity);
        update.SetParameter(QStringLiteral("Code"), code);
        update.Execute();
        // The same prepared statement runs again with fresh values.
        update.SetParameter(QStringLiteral("quantity"), 9);
        update.SetParameter(QStringLiteral("code"), QStringLiteral("1003"));
        update.Execute();
        connection.CommitTrans();
    }
    const QHash<int, QVariant> after = QuantitiesByCode(connectionString);
    QCOMPARE(after.value(1002).toDouble(), quantity.toDouble());
    QCOMPARE(after.value(1003).toDouble(), 9.0);
    QCOMPARE(after.value(1001).toDouble(), 5.0);
}

void DatabaseTest::executeBlockBindsMarkersByPosition_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    for (TestDatabaseKind kind :
         {TestDatabaseKind::FirebirdEmbedded, TestDatabaseKind::FirebirdServer})
        QTest::newRow(qPrintable(Tag(kind))) << kind;
}

// The inputs of an EXECUTE BLOCK have no names: they are set by the position of their "?";
// a "?" in quoted text is none.
void DatabaseTest::executeBlockBindsMarkersByPosition() {
    QFETCH(TestDatabaseKind, kind);
    const QString connectionString = Seeded(kind);
    {
        DbConnection connection(connectionString);
        connection.Open();
        connection.BeginTrans();
        DbQuery block(connection);
        block.SetSql(QStringLiteral(
            "EXECUTE BLOCK (Q1 double precision = ?, C1 integer = ?, Q2 double precision = ?, "
            "C2 integer = ?) as declare Mark varchar(3) = '?'; begin "
            "update Stock_Balance set Quantity = :Q1 where Partno = (select A.Partno from Parts "
            "A where A.Code = :C1); update Stock_Balance set Quantity = :Q2 where Partno = "
            "(select A.Partno from Parts A where A.Code = :C2); end"));
        block.Prepare();
        const QVariantList values{12.5, QStringLiteral("1002"), 9, 1003};
        for (int position = 0; position < values.size(); ++position)
            block.SetParameter(position, values.at(position));
        QCOMPARE(FailureKind([&] { block.SetParameter(4, 1); }), QStringLiteral("Exception"));
        block.Execute();
        connection.CommitTrans();
    }
    const QHash<int, QVariant> after = QuantitiesByCode(connectionString);
    QCOMPARE(after.value(1002).toDouble(), 12.5);
    QCOMPARE(after.value(1003).toDouble(), 9.0);
    QCOMPARE(after.value(1001).toDouble(), 5.0);
}

void DatabaseTest::rollbackUndoesEveryUpdate_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    QTest::addColumn<bool>("preparedBeforeBegin");
    for (TestDatabaseKind kind : AllKinds()) {
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("begin, then prepare"))))
            << kind << false;
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("prepare, then begin")))) << kind << true;
    }
}

void DatabaseTest::rollbackUndoesEveryUpdate() {
    QFETCH(TestDatabaseKind, kind);
    QFETCH(bool, preparedBeforeBegin);
    const QString connectionString = Seeded(kind);
    const QHash<int, QVariant> before = QuantitiesByCode(connectionString);
    {
        DbConnection connection(connectionString);
        connection.Open();
        DbQuery update(connection);
        update.SetSql(kUpdate);
        if (preparedBeforeBegin)
            update.Prepare();
        connection.BeginTrans();
        if (!preparedBeforeBegin)
            update.Prepare();
        for (int code : {1000, 1001, 1002, 1003}) {
            update.SetParameter(QStringLiteral("Quantity"), 100 + code);
            update.SetParameter(QStringLiteral("Code"), code);
            update.Execute();
        }
        connection.RollbackTrans();

        // The connection goes on after a rollback; a commit keeps what follows it.
        connection.BeginTrans();
        update.SetParameter(QStringLiteral("Quantity"), 77);
        update.SetParameter(QStringLiteral("Code"), 1001);
        update.Execute();
        connection.CommitTrans();
    }
    const QHash<int, QVariant> after = QuantitiesByCode(connectionString);
    QCOMPARE(after.value(1001).toDouble(), 77.0);
    for (int code : {1000, 1002, 1003}) {
        QCOMPARE(after.value(code).isNull(), before.value(code).isNull());
        QCOMPARE(after.value(code).toDouble(), before.value(code).toDouble());
    }
}

void DatabaseTest::wrongPasswordFailsAtOpen_data() {
    AddKindsThatCheckPasswords();
}

void DatabaseTest::wrongPasswordFailsAtOpen() {
    QFETCH(TestDatabaseKind, kind);
    DbConnection connection(WithPassword(databases_.value(kind), kWrongPassword));
    QString failure;
    QCOMPARE(FailureKind([&] { connection.Open(); }, &failure), QStringLiteral("EOleException"));
    QVERIFY2(!failure.isEmpty(), "the provider's text is missing");
    QVERIFY2(!failure.contains(kWrongPassword), qPrintable(failure));
    QVERIFY(!connection.IsOpen());
}

void DatabaseTest::bracedPasswordHoldsTheSeparator_data() {
    AddKindsThatCheckPasswords();
}

// In braces a ";" is part of the value and "}}" stands for "}", whether the string goes to
// an ODBC driver or is taken apart for the native Firebird client.
void DatabaseTest::bracedPasswordHoldsTheSeparator() {
    QFETCH(TestDatabaseKind, kind);
    const QString role = QStringLiteral("corvane_braced");
    const QString password = QStringLiteral("se;cr}et");
    QString login;
    if (kind == TestDatabaseKind::PostgreSql) {
        login = DatabaseFixtures::CreatePostgreSqlLogin(role, password);
    } else {
        DatabaseFixtures::Run(
            databases_.value(kind),
            {QStringLiteral("create or alter user %1 password '%2'").arg(role, password)});
        login = databases_.value(kind).replace(QRegularExpression(QStringLiteral("UID=[^;]*")),
                                               QStringLiteral("UID=") + role);
        login.remove(QRegularExpression(QStringLiteral(";PWD=[^;]*")));
    }
    DbConnection connection(login + QStringLiteral(";PWD={se;cr}}et}"));
    connection.Open();
    QVERIFY(connection.IsOpen());
}

void DatabaseTest::openFailureTextHoldsNoPassword_data() {
    // Firebird names the missing file, whose name here holds the password.
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<QString>("password");
    const QString folder = fixtures_->Folder() + QStringLiteral("/none/");
    QTest::newRow("Firebird embedded")
        << QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1%2.fdb;UID=SYSDBA;PWD=%2")
               .arg(folder, kWrongPassword)
        << kWrongPassword;
    const QString password = DatabaseFixtures::SysdbaPassword();
    QTest::newRow("Firebird server, keys in other letter cases")
        << QStringLiteral("driver=FIREBIRD/INTERBASE(R) DRIVER;dbname=127.0.0.1:%1%2.fdb;"
                          "uid=SYSDBA;Pwd=%2;charset=UTF8")
               .arg(folder, password)
        << password;
}

void DatabaseTest::openFailureTextHoldsNoPassword() {
    QFETCH(QString, connectionString);
    QFETCH(QString, password);
    DbConnection connection(connectionString);
    QString failure;
    QCOMPARE(FailureKind([&] { connection.Open(); }, &failure), QStringLiteral("EOleException"));
    QVERIFY2(failure.contains(QStringLiteral("/none/")), qPrintable(failure));
    QVERIFY2(!failure.contains(password), qPrintable(failure));
    QVERIFY(!connection.IsOpen());
}

void DatabaseTest::lookupFindsRowByKey_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    QTest::addColumn<QString>("keyField");
    QTest::addColumn<QVariant>("key");
    for (TestDatabaseKind kind : AllKinds()) {
        for (const char* field : {"IntKey", "TextKey", "FloatKey"}) {
            QTest::newRow(qPrintable(Tag(kind, QStringLiteral("%1, integer key").arg(field))))
                << kind << QString::fromLatin1(field) << QVariant(1001);
            QTest::newRow(qPrintable(Tag(kind, QStringLiteral("%1, text key").arg(field))))
                << kind << QString::fromLatin1(field) << QVariant(QStringLiteral("1001"));
        }
    }
}

void DatabaseTest::lookupFindsRowByKey() {
    QFETCH(TestDatabaseKind, kind);
    QFETCH(QString, keyField);
    QFETCH(QVariant, key);
    DbConnection connection(databases_.value(kind));
    connection.Open();
    DbQuery source(connection);
    // A name given twice reads its first column and still counts for the rows kept.
    source.SetSql(QStringLiteral("select IntKey, IntKey, TextKey, FloatKey, Qty from Source "
                                 "order by 1"));
    source.Prepare();
    source.Open();

    const std::optional<QVariant> match = source.Lookup(keyField, key, QStringLiteral("QTY"));
    QVERIFY(match.has_value());
    QCOMPARE(match->toDouble(), 7.5);

    const QVariant nullKey =
        key.typeId() == QMetaType::QString ? QVariant(QStringLiteral("1002")) : QVariant(1002);
    const std::optional<QVariant> nullValue =
        source.Lookup(keyField, nullKey, QStringLiteral("Qty"));
    QVERIFY2(nullValue.has_value(), "a Null value is a match");
    QVERIFY(nullValue->isNull());

    QVERIFY(!source.Lookup(keyField, 9999, QStringLiteral("Qty")).has_value());
    QVERIFY(!source.Lookup(keyField, QVariant(), QStringLiteral("Qty")).has_value());
    QCOMPARE(source.Lookup(keyField, 1003.0, QStringLiteral("Qty"))->toDouble(), 0.0);

    // The index does not move the cursor: the rows still read from the first.
    QList<int> keys;
    for (; !source.Eof(); source.Next())
        keys.append(source.FieldAsInteger(QStringLiteral("IntKey")));
    QCOMPARE(keys, (QList<int>{1001, 1002, 1003}));
}

void DatabaseTest::lookupMatchesKeysAsNormalized_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    QTest::addColumn<QVariant>("key");
    QTest::addColumn<QVariant>("expected"); // the Qty found, or invalid for no match
    const QList<std::tuple<const char*, QVariant, QVariant>> cases{
        {"equal keys: the first row", 1001, 1.0},
        {"text key is trimmed", QStringLiteral("1004"), 4.0},
        {"integer against trimmed text", 1004, 4.0},
        {"integer against whole-number text", 1005, 5.0},
        {"whole double against whole-number text", 1005.0, 5.0},
        {"fraction", 1.5, 6.0},
        {"fraction as other text", QStringLiteral("1.50"), 6.0},
        {"other fraction", 1.25, QVariant()},
        {"plain text", QStringLiteral(" abc "), 7.0},
        {"text differs in case", QStringLiteral("ABC"), QVariant()},
        {"large integer", Q_INT64_C(9100000000000000000), 8.0},
        {"double beyond integers", 1.0e19, 9.0},
        {"beyond integers as text", QStringLiteral("10000000000000000000"), 9.0},
        {"Null key", QVariant(), QVariant()},
    };
    for (TestDatabaseKind kind : AllKinds()) {
        for (const auto& [name, key, expected] : cases)
            QTest::newRow(qPrintable(Tag(kind, QString::fromLatin1(name))))
                << kind << key << expected;
    }
}

void DatabaseTest::lookupMatchesKeysAsNormalized() {
    QFETCH(TestDatabaseKind, kind);
    QFETCH(QVariant, key);
    QFETCH(QVariant, expected);
    DbConnection connection(databases_.value(kind));
    connection.Open();
    DbQuery source(connection);
    source.SetSql(QStringLiteral("select Code, Qty from Text_Keys order by Qty"));
    source.Prepare();
    source.Open();
    const std::optional<QVariant> match =
        source.Lookup(QStringLiteral("Code"), key, QStringLiteral("Qty"));
    QCOMPARE(match.has_value(), expected.isValid());
    if (match)
        QCOMPARE(match->toDouble(), expected.toDouble());
    // The cursor still stands on the first row.
    QCOMPARE(source.FieldAsFloat(QStringLiteral("qty")), 1.0);
}

void DatabaseTest::statementErrorIsProviderError_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("returnsRows");
    for (TestDatabaseKind kind : AllKinds()) {
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("unknown table"))))
            << kind << QStringLiteral("select B.Code from No_Such_Table B") << true;
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("unknown column"))))
            << kind << QStringLiteral("update Stock_Balance set No_Such_Field = 1") << false;
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("syntax"))))
            << kind << QStringLiteral("selec Code frm Parts") << true;
    }
}

void DatabaseTest::statementErrorIsProviderError() {
    QFETCH(TestDatabaseKind, kind);
    QFETCH(QString, sql);
    QFETCH(bool, returnsRows);
    DbConnection connection(databases_.value(kind));
    connection.Open();
    DbQuery query(connection);
    query.SetSql(sql);
    QString failure;
    QCOMPARE(FailureKind(
                 [&] {
                     query.Prepare();
                     returnsRows ? query.Open() : query.Execute();
                 },
                 &failure),
             QStringLiteral("EOleException"));
    QVERIFY2(!failure.isEmpty(), "the provider's text is missing");
    QVERIFY2(!failure.contains(DatabaseFixtures::SysdbaPassword()) &&
                 !failure.contains(DatabaseFixtures::PostgreSqlPassword()),
             qPrintable(failure));
    // The connection stays usable for the next statement.
    query.SetSql(QStringLiteral("select Code from Parts order by Code"));
    query.Prepare();
    query.Open();
    QCOMPARE(query.FieldAsInteger(QStringLiteral("Code")), 1000);
}

void DatabaseTest::misuseAndConversionAreOtherKinds_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    for (TestDatabaseKind kind : AllKinds())
        QTest::newRow(qPrintable(Tag(kind))) << kind;
}

void DatabaseTest::misuseAndConversionAreOtherKinds() {
    QFETCH(TestDatabaseKind, kind);
    DbConnection connection(Seeded(kind));
    DbQuery query(connection);
    query.SetSql(kSelect);
    // A call into a component that cannot work: not the provider's own failure.
    auto isComponentError = [](const std::function<void()>& call) {
        return FailureKind(call) == QStringLiteral("EOleSysError");
    };
    QVERIFY(isComponentError([&] { query.Prepare(); }));
    QVERIFY(isComponentError([&] { connection.BeginTrans(); }));
    connection.Open();
    QVERIFY(isComponentError([&] { query.Open(); }));
    QVERIFY(isComponentError([&] { connection.CommitTrans(); }));

    // General errors: a conversion fault, an unknown field or parameter.
    auto isGeneralError = [](const std::function<void()>& call) {
        return FailureKind(call) == QStringLiteral("Exception");
    };
    query.SetSql(QStringLiteral("select Name, Code from Parts order by Code"));
    query.Prepare();
    query.Open();
    QVERIFY(isGeneralError([&] { query.FieldAsInteger(QStringLiteral("Name")); }));
    QVERIFY(isGeneralError([&] { query.FieldAsFloat(QStringLiteral("Name")); }));
    QVERIFY(isGeneralError([&] { query.FieldValue(QStringLiteral("No_Such_Field")); }));
    QVERIFY(isGeneralError(
        [&] { query.Lookup(QStringLiteral("No_Such_Field"), 1, QStringLiteral("Code")); }));
    QCOMPARE(query.FieldAsText(QStringLiteral("name")), QStringLiteral("Item 1000"));

    DbQuery update(connection);
    update.SetSql(kUpdate);
    QVERIFY(isGeneralError([&] { update.SetParameter(QStringLiteral("Missing"), 1); }));
}

void DatabaseTest::trailingSeparatorIsNotPassedOn_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    QTest::addColumn<QString>("ending");
    for (TestDatabaseKind kind :
         {TestDatabaseKind::Sqlite, TestDatabaseKind::PostgreSql, TestDatabaseKind::MariaDb}) {
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("one separator")))) << kind << ";";
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("two and a blank")))) << kind << ";; ";
    }
}

// A restored connection string ends with its separator; MariaDB's driver refuses that, so no
// ODBC driver is given it.
void DatabaseTest::trailingSeparatorIsNotPassedOn() {
    QFETCH(TestDatabaseKind, kind);
    QFETCH(QString, ending);
    const QString connectionString = fixtures_->Create(kind, QStringLiteral("separator"));
    DbConnection connection(connectionString + ending);
    try {
        connection.Open();
        DbQuery query(connection);
        query.SetSql(QStringLiteral("select 7 as Seven"));
        query.Prepare();
        query.Open();
        QCOMPARE(query.FieldAsInteger(QStringLiteral("Seven")), 7);
    } catch (const Exception& error) {
        QFAIL(qPrintable(error.Message()));
    }
}

void DatabaseTest::firebirdCharset_data() {
    QTest::addColumn<TestDatabaseKind>("kind");
    QTest::addColumn<QString>("charsetPart");
    QTest::addColumn<bool>("opens");
    for (TestDatabaseKind kind :
         {TestDatabaseKind::FirebirdEmbedded, TestDatabaseKind::FirebirdServer}) {
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("none given")))) << kind << "" << true;
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("UTF8"))))
            << kind << ";CHARSET=UTF8" << true;
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("utf8 in small letters"))))
            << kind << ";charset=utf8" << true;
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("WIN1251"))))
            << kind << ";CHARSET=WIN1251" << false;
        QTest::newRow(qPrintable(Tag(kind, QStringLiteral("NONE"))))
            << kind << ";CHARSET=NONE" << false;
    }
}

// The driver attaches in UTF8 whatever it is told; a connection asking for another character
// set is refused when it opens, and one that opens works in the set it asked for.
void DatabaseTest::firebirdCharset() {
    QFETCH(TestDatabaseKind, kind);
    QFETCH(QString, charsetPart);
    QFETCH(bool, opens);
    DbConnection connection(databases_.value(kind) + charsetPart);
    if (!opens) {
        QString message;
        QCOMPARE(FailureKind([&] { connection.Open(); }, &message), QStringLiteral("EOleSysError"));
        const QString asked = charsetPart.section(u'=', 1);
        QVERIFY2(message.contains(QStringLiteral("CHARSET=") + asked) &&
                     message.contains(QStringLiteral("UTF8")),
                 qPrintable(message));
        QVERIFY(!connection.IsOpen());
        return;
    }
    connection.Open();
    DbQuery query(connection);
    query.SetSql(QStringLiteral(
        "select trim(c.rdb$character_set_name) as Charset, cast('Остатки' as varchar(20) "
        "character set win1251) as Text from mon$attachments a join rdb$character_sets c on "
        "c.rdb$character_set_id = a.mon$character_set_id where a.mon$attachment_id = "
        "current_connection"));
    query.Prepare();
    query.Open();
    QCOMPARE(query.FieldAsText(QStringLiteral("Charset")), QStringLiteral("UTF8"));
    QCOMPARE(query.FieldAsText(QStringLiteral("Text")), QStringLiteral("Остатки"));
}

void DatabaseTest::queryOutlivingItsConnection() {
    auto connection = std::make_unique<DbConnection>(databases_.value(TestDatabaseKind::Sqlite));
    connection->Open();
    DbQuery query(*connection);
    query.SetSql(QStringLiteral("select Code from Parts"));
    query.Prepare();
    query.Open();
    connection.reset();
    QVERIFY_THROWS_EXCEPTION(EOleSysError, query.Prepare());
}

void DatabaseTest::stoppedServerFailsNextStatement() {
    PrivateFirebirdServer server;
    QVERIFY2(server.Start(), qPrintable(server.ErrorText()));
    const QString connectionString = fixtures_->CreateFirebirdServer(
        QStringLiteral("private"), server.ServerName(), server.DataFolder());
    DatabaseFixtures::CreateReceiverSchema(connectionString);
    DatabaseFixtures::SeedReceiver(connectionString, DatabaseFixtures::NumberedItems(3));

    DbConnection connection(connectionString);
    connection.Open();
    DbQuery select(connection);
    select.SetSql(kSelect);
    select.Prepare();
    select.Open();
    QCOMPARE(select.FieldAsInteger(QStringLiteral("Code")), 1001);
    DbQuery update(connection);
    update.SetSql(kUpdate);
    update.Prepare();
    update.SetParameter(QStringLiteral("Quantity"), 1);
    update.SetParameter(QStringLiteral("Code"), 1001);
    update.Execute();

    server.Stop();
    QVERIFY(connection.IsOpen());
    QVERIFY_THROWS_EXCEPTION(EOleException, update.Execute());
    QVERIFY_THROWS_EXCEPTION(EOleException, [&] {
        DbQuery next(connection);
        next.SetSql(kSelect);
        next.Prepare();
        next.Open();
    }());
}

QTEST_GUILESS_MAIN(DatabaseTest)
#include "DatabaseTest.moc"

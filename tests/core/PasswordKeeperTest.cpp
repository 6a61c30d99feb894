#include "core/PasswordKeeper.h"
#include "core/SeparatedConnectionString.h"
#include "core/TDm.h"
#include "core/TableEventStore.h"
#include "core/TableFields.h"
#include "platform/Errors.h"

#include <QTest>

#include <memory>

// The data module's tables wired as the service wires them: every post of a receiver or
// source hands the row to HidePasswords.
class KeeperFixture {
public:
    KeeperFixture()
        : keeper(dm.VremTable, events) {
        for (RecordSet* table : {&dm.Connection_Types, &dm.Receiver, &dm.Source, &dm.VremTable})
            table->Open();
        for (RecordSet* table : {&dm.Receiver, &dm.Source}) {
            table->AfterPost = [this](RecordSet& posted) {
                ++afterPosts;
                keeper.HidePasswords(
                    posted.FieldByName(Fields::Shared::Id).AsInteger(), posted,
                    posted.FieldByName(Fields::Shared::Connection_String).AsString());
            };
        }
    }

    RecordSet& Table(const QString& name) { return *dm.TableByName(name); }

    // Inserts the row when the table has no row with the Id, edits it otherwise.
    void Post(const QString& tableName, int id, const QString& connectionString,
              const QVariant& type = 1) {
        RecordSet& table = Table(tableName);
        if (!table.Locate(Fields::Shared::Id, {id})) {
            table.Append();
            table.FieldByName(Fields::Shared::Id).SetAsInteger(id);
        } else {
            table.Edit();
        }
        table.FieldByName(Fields::Shared::Id_Connection_Types).SetValue(type);
        table.FieldByName(Fields::Shared::Connection_String).SetAsString(connectionString);
        table.Post();
    }

    QString Shown(const QString& tableName, int id) {
        RecordSet& table = Table(tableName);
        if (!table.Locate(Fields::Shared::Id, {id}))
            return QStringLiteral("<no row>");
        return table.FieldByName(Fields::Shared::Connection_String).AsString();
    }

    QVariant Held(const QString& tableName, int id) const {
        const QVariantList found = dm.VremTable.Lookup(
            QStringLiteral("IdTable;NameTable"), {id, tableName}, Fields::VremTable::Password);
        return found.isEmpty() ? QVariant() : found.first();
    }

    QString Unmask(const QString& tableName, int id, const QString& shown) {
        RecordSet& table = Table(tableName);
        table.Locate(Fields::Shared::Id, {id});
        return keeper.UnmaskConnectionString(
            id, tableName, PasswordKeeper::ConnectionStringSeparator(table), shown);
    }

    QString Stored(const QString& tableName, int id) {
        RecordSet& table = Table(tableName);
        table.Locate(Fields::Shared::Id, {id});
        return keeper.EncipherConnectionString(
            id, tableName, PasswordKeeper::ConnectionStringSeparator(table),
            table.FieldByName(Fields::Shared::Connection_String).AsString());
    }

    // What LoadTable does with a row read from the settings file.
    void Load(const QString& tableName, int id, const QString& stored, const QVariant& type = 1) {
        RecordSet& table = Table(tableName);
        SuspendedTableEvents suspended(events, table);
        table.Append();
        table.FieldByName(Fields::Shared::Id).SetAsInteger(id);
        table.FieldByName(Fields::Shared::Id_Connection_Types).SetValue(type);
        table.FieldByName(Fields::Shared::Connection_String).SetAsString(stored);
        keeper.HideLoadedPasswords(table, stored);
        table.Post();
    }

    TDm dm;
    TableEventStore events;
    PasswordKeeper keeper;
    int afterPosts = 0;
};

class PasswordKeeperTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choosesSeparator_data();
    void choosesSeparator();
    void splitsConnectionString_data();
    void splitsConnectionString();
    void hidesPasswordOnPost_data();
    void hidesPasswordOnPost();
    void keepsUntouchedAsterisks_data();
    void keepsUntouchedAsterisks();
    void unmasksWhatTheEditorShows_data();
    void unmasksWhatTheEditorShows();
    void switchesSeparatorWithSourceType();
    void enciphersForSettingsFile_data();
    void enciphersForSettingsFile();
    void loadsEncipheredPasswords_data();
    void loadsEncipheredPasswords();
    void loadsAPasswordCutAtItsSeparator_data();
    void loadsAPasswordCutAtItsSeparator();
    void keepsEveryPasswordOfSeveralParts_data();
    void keepsEveryPasswordOfSeveralParts();
    void roundTripsEveryLengthThroughSettingsFile();
    void putsEventsBackWhenThePostFails();
};

void PasswordKeeperTest::choosesSeparator_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QVariant>("type");
    QTest::addColumn<QChar>("separator");
    QTest::newRow("receiver") << QStringLiteral("Receiver") << QVariant(1) << QChar(u';');
    QTest::newRow("receiver of other type")
        << QStringLiteral("Receiver") << QVariant(3) << QChar(u';');
    QTest::newRow("sql source") << QStringLiteral("Source") << QVariant(1) << QChar(u';');
    QTest::newRow("1c source") << QStringLiteral("Source") << QVariant(2) << QChar(u' ');
    QTest::newRow("source of type 0") << QStringLiteral("Source") << QVariant(0) << QChar(u' ');
    QTest::newRow("source without type") << QStringLiteral("Source") << QVariant() << QChar(u' ');
}

void PasswordKeeperTest::choosesSeparator() {
    QFETCH(QString, table);
    QFETCH(QVariant, type);
    QFETCH(QChar, separator);
    KeeperFixture fixture;
    RecordSet& set = fixture.Table(table);
    set.Append();
    set.FieldByName(Fields::Shared::Id_Connection_Types).SetValue(type);
    QCOMPARE(PasswordKeeper::ConnectionStringSeparator(set), separator);
}

void PasswordKeeperTest::splitsConnectionString_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("empty") << QString() << QChar(u';') << QStringList();
    QTest::newRow("one part") << QStringLiteral("a") << QChar(u';') << QStringList{"a"};
    QTest::newRow("separator at end adds none")
        << QStringLiteral("a;b;") << QChar(u';') << QStringList{"a", "b"};
    QTest::newRow("two separators give an empty part")
        << QStringLiteral("a;;b") << QChar(u';') << QStringList{"a", "", "b"};
    QTest::newRow("leading separator")
        << QStringLiteral(";a") << QChar(u';') << QStringList{"", "a"};
    QTest::newRow("only separators") << QStringLiteral(";;") << QChar(u';') << QStringList{"", ""};
    QTest::newRow("blanks") << QStringLiteral("/Da  /Pb ") << QChar(u' ')
                            << QStringList{"/Da", "", "/Pb"};
    QTest::newRow("braced value holds the separator")
        << QStringLiteral("Driver=X;PWD={se;cret};Uid=a") << QChar(u';')
        << QStringList{"Driver=X", "PWD={se;cret}", "Uid=a"};
    QTest::newRow("doubled brace stays inside the braces")
        << QStringLiteral("PWD= {a}};b};Uid=a") << QChar(u';')
        << QStringList{"PWD= {a}};b}", "Uid=a"};
    QTest::newRow("brace inside a value is text")
        << QStringLiteral("Database=/x{y;z}") << QChar(u';') << QStringList{"Database=/x{y", "z}"};
    QTest::newRow("unclosed brace runs to the end")
        << QStringLiteral("Uid=a;PWD={se;cret;Role=R") << QChar(u';')
        << QStringList{"Uid=a", "PWD={se;cret;Role=R"};
    QTest::newRow("quotes hold blanks in a command line")
        << QStringLiteral("/D\"C:\\My Base\" /P\"my pass\" /Nuser") << QChar(u' ')
        << QStringList{"/D\"C:\\My Base\"", "/P\"my pass\"", "/Nuser"};
    QTest::newRow("quotes are text between semicolons")
        << QStringLiteral("Uid=\"a;b\"") << QChar(u';') << QStringList{"Uid=\"a", "b\""};
}

void PasswordKeeperTest::splitsConnectionString() {
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(QStringList, parts);
    QCOMPARE(SeparatedConnectionString::SplitConnectionString(text, separator), parts);
}

void PasswordKeeperTest::hidesPasswordOnPost_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QVariant>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QVariant>("held");
    QTest::addColumn<QString>("unmasked");

    const QString receiver = QStringLiteral("Receiver");
    const QString source = QStringLiteral("Source");
    QTest::newRow("password marker keeps the equals sign")
        << receiver << QVariant(1) << QStringLiteral("Driver=Firebird;Password=abc")
        << QStringLiteral("Driver=Firebird;Password****") << QVariant(QStringLiteral("=abc"))
        << QStringLiteral("Driver=Firebird;Password=abc;");
    QTest::newRow("parts trimmed, separator at the end dropped")
        << receiver << QVariant(1) << QStringLiteral("Driver=Firebird; PWD=abc ;")
        << QStringLiteral("Driver=Firebird;PWD=***") << QVariant(QStringLiteral("abc"))
        << QStringLiteral("Driver=Firebird;PWD=abc;");
    QTest::newRow("1c command line")
        << source << QVariant(3) << QStringLiteral("/DC:\\Base /NAdmin /Psecret")
        << QStringLiteral("/DC:\\Base /NAdmin /P******") << QVariant(QStringLiteral("secret"))
        << QStringLiteral("/DC:\\Base /NAdmin /Psecret ");
    QTest::newRow("source without type uses blanks")
        << source << QVariant() << QStringLiteral("/Nuser /pab;c")
        << QStringLiteral("/Nuser /p****") << QVariant(QStringLiteral("ab;c"))
        << QStringLiteral("/Nuser /pab;c ");
    QTest::newRow("no password part")
        << receiver << QVariant(1) << QStringLiteral("Driver=Firebird;Uid=SYSDBA")
        << QStringLiteral("Driver=Firebird;Uid=SYSDBA") << QVariant()
        << QStringLiteral("Driver=Firebird;Uid=SYSDBA");
    QTest::newRow("pwd inside a blank-separated part is no marker")
        << source << QVariant(2) << QStringLiteral("Uid=a;Pwd=b") << QStringLiteral("Uid=a;Pwd=b")
        << QVariant() << QStringLiteral("Uid=a;Pwd=b");
    QTest::newRow("empty parts kept, control characters trimmed")
        << receiver << QVariant(1) << QStringLiteral("Uid=a;;\tpwd=xy\u0001\t;")
        << QStringLiteral("Uid=a;;pwd=**") << QVariant(QStringLiteral("xy"))
        << QStringLiteral("Uid=a;;pwd=xy;");
    QTest::newRow("inner blanks stay in the password")
        << receiver << QVariant(1) << QStringLiteral("pwd= a b ") << QStringLiteral("pwd=****")
        << QVariant(QStringLiteral(" a b")) << QStringLiteral("pwd= a b;");
    QTest::newRow("slash p is tested first")
        << receiver << QVariant(1) << QStringLiteral("/pwd=abc") << QStringLiteral("/p******")
        << QVariant(QStringLiteral("wd=abc")) << QStringLiteral("/pwd=abc;");
    QTest::newRow("pwd takes any fourth character")
        << receiver << QVariant(1) << QStringLiteral("PwD:abc") << QStringLiteral("PwD:***")
        << QVariant(QStringLiteral("abc")) << QStringLiteral("PwD:abc;");
    QTest::newRow("marker alone holds an empty password")
        << receiver << QVariant(1) << QStringLiteral("Uid=a;pwd") << QStringLiteral("Uid=a;pwd")
        << QVariant(QString()) << QStringLiteral("Uid=a;pwd");
    QTest::newRow("russian password")
        << receiver << QVariant(1) << QStringLiteral("PASSWORD=Пароль")
        << QStringLiteral("PASSWORD*******") << QVariant(QStringLiteral("=Пароль"))
        << QStringLiteral("PASSWORD=Пароль;");
    const QString longPassword = QStringLiteral("Длинный-пароль-больше-шестнадцати-0123456789");
    QTest::newRow("long password held whole")
        << receiver << QVariant(1) << QStringLiteral("Pwd=") + longPassword
        << QStringLiteral("Pwd=") + QString(longPassword.size(), u'*') << QVariant(longPassword)
        << QStringLiteral("Pwd=") + longPassword + u';';
    QTest::newRow("braced password hidden whole")
        << receiver << QVariant(1) << QStringLiteral("Driver=SQLite3;Database=/x;PWD={se;cret}")
        << QStringLiteral("Driver=SQLite3;Database=/x;PWD=*********")
        << QVariant(QStringLiteral("{se;cret}"))
        << QStringLiteral("Driver=SQLite3;Database=/x;PWD={se;cret};");
    QTest::newRow("quoted 1c password hidden whole")
        << source << QVariant(3) << QStringLiteral("/DBase /P\"my pass\" /Nuser")
        << QStringLiteral("/DBase /P********* /Nuser") << QVariant(QStringLiteral("\"my pass\""))
        << QStringLiteral("/DBase /P\"my pass\" /Nuser ");
}

void PasswordKeeperTest::hidesPasswordOnPost() {
    QFETCH(QString, table);
    QFETCH(QVariant, type);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QVariant, held);
    QFETCH(QString, unmasked);
    KeeperFixture fixture;

    fixture.Post(table, 7, typed, type);
    QCOMPARE(fixture.afterPosts, 1);
    QCOMPARE(fixture.Table(table).State(), RecordSetState::Browse);
    QCOMPARE(fixture.Shown(table, 7), shown);
    QCOMPARE(fixture.Held(table, 7), held);
    QCOMPARE(fixture.Unmask(table, 7, shown), unmasked);

    // The handler came back: the next post runs it again, and the text is already normal.
    fixture.Post(table, 7, shown, type);
    QCOMPARE(fixture.afterPosts, 2);
    QCOMPARE(fixture.Shown(table, 7), shown);
    QCOMPARE(fixture.Held(table, 7), held);
    QCOMPARE(fixture.dm.VremTable.RecordCount(), held.isValid() ? 1 : 0);
}

void PasswordKeeperTest::keepsUntouchedAsterisks_data() {
    QTest::addColumn<QString>("retyped");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("held");
    QTest::newRow("asterisks left alone")
        << QStringLiteral("Uid=a;Pwd=***") << QStringLiteral("Uid=a;Pwd=***")
        << QStringLiteral("abc");
    QTest::newRow("asterisks typed anew, same length")
        << QStringLiteral(" Uid=a ; Pwd=*** ") << QStringLiteral("Uid=a;Pwd=***")
        << QStringLiteral("abc");
    QTest::newRow("new password") << QStringLiteral("Uid=a;Pwd=xyz1")
                                  << QStringLiteral("Uid=a;Pwd=****") << QStringLiteral("xyz1");
    QTest::newRow("asterisks of another length are a password")
        << QStringLiteral("Uid=a;Pwd=**") << QStringLiteral("Uid=a;Pwd=**") << QStringLiteral("**");
    QTest::newRow("password emptied")
        << QStringLiteral("Uid=a;Pwd=") << QStringLiteral("Uid=a;Pwd=") << QString();
    QTest::newRow("other marker, same asterisks")
        << QStringLiteral("Uid=a;/p***") << QStringLiteral("Uid=a;/p***") << QStringLiteral("abc");
}

void PasswordKeeperTest::keepsUntouchedAsterisks() {
    QFETCH(QString, retyped);
    QFETCH(QString, shown);
    QFETCH(QString, held);
    KeeperFixture fixture;
    fixture.Post(QStringLiteral("Receiver"), 1, QStringLiteral("Uid=a;Pwd=abc"));

    fixture.Post(QStringLiteral("Receiver"), 1, retyped);
    QCOMPARE(fixture.Shown(QStringLiteral("Receiver"), 1), shown);
    QCOMPARE(fixture.Held(QStringLiteral("Receiver"), 1), QVariant(held));
    QCOMPARE(fixture.dm.VremTable.RecordCount(), 1);
}

void PasswordKeeperTest::unmasksWhatTheEditorShows_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("unmasked");
    const QString receiver = QStringLiteral("Receiver");
    QTest::newRow("posted asterisks")
        << receiver << 1 << QStringLiteral("Uid=a;Pwd=***") << QStringLiteral("Uid=a;Pwd=abc;");
    QTest::newRow("typed over, not posted")
        << receiver << 1 << QStringLiteral("Uid=a;Pwd=typed") << QStringLiteral("Uid=a;Pwd=typed;");
    QTest::newRow("typed asterisks of another length")
        << receiver << 1 << QStringLiteral("Uid=a;Pwd=*****") << QStringLiteral("Uid=a;Pwd=*****;");
    QTest::newRow("edited, not normal yet")
        << receiver << 1 << QStringLiteral(" Uid=b; Pwd=*** ;") << QStringLiteral("Uid=b;Pwd=abc;");
    QTest::newRow("same id in the other table")
        << QStringLiteral("Source") << 1 << QStringLiteral("Pwd=****")
        << QStringLiteral("Pwd=src1;");
    QTest::newRow("nothing held: unchanged")
        << receiver << 2 << QStringLiteral("Uid=a;Pwd=*** ;") << QStringLiteral("Uid=a;Pwd=*** ;");
    QTest::newRow("empty password held: unchanged")
        << receiver << 3 << QStringLiteral("Uid=a;Pwd=;") << QStringLiteral("Uid=a;Pwd=;");
}

void PasswordKeeperTest::unmasksWhatTheEditorShows() {
    QFETCH(QString, table);
    QFETCH(int, id);
    QFETCH(QString, shown);
    QFETCH(QString, unmasked);
    KeeperFixture fixture;
    fixture.Post(QStringLiteral("Receiver"), 1, QStringLiteral("Uid=a;Pwd=abc"));
    fixture.Post(QStringLiteral("Receiver"), 2, QStringLiteral("Uid=a"));
    fixture.Post(QStringLiteral("Receiver"), 3, QStringLiteral("Uid=a;Pwd="));
    fixture.Post(QStringLiteral("Source"), 1, QStringLiteral("Pwd=src1"));

    QCOMPARE(fixture.Unmask(table, id, shown), unmasked);
}

void PasswordKeeperTest::switchesSeparatorWithSourceType() {
    KeeperFixture fixture;
    const QString source = QStringLiteral("Source");
    fixture.Post(source, 4, QStringLiteral("Driver=SQLite3;PWD=abc"), 1);
    QCOMPARE(fixture.Shown(source, 4), QStringLiteral("Driver=SQLite3;PWD=***"));

    fixture.Post(source, 4, QStringLiteral("/DC:\\Base /NAdmin /Psecret"), 2);
    QCOMPARE(fixture.Shown(source, 4), QStringLiteral("/DC:\\Base /NAdmin /P******"));
    QCOMPARE(fixture.Held(source, 4), QVariant(QStringLiteral("secret")));
    QCOMPARE(fixture.Unmask(source, 4, fixture.Shown(source, 4)),
             QStringLiteral("/DC:\\Base /NAdmin /Psecret "));
    QCOMPARE(fixture.Stored(source, 4),
             QStringLiteral("/DC:\\Base /NAdmin /P") +
                 fixture.keeper.Cipher().EncipherPassword(QStringLiteral("secret")));
}

void PasswordKeeperTest::enciphersForSettingsFile_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    // The enciphered texts are the cipher's known pairs: "=abc", "AB", "Пароль".
    QTest::newRow("password marker") << QStringLiteral("Driver=Firebird;Password=abc")
                                     << QStringLiteral("Driver=Firebird;PasswordBy+wZg==");
    QTest::newRow("pwd marker, normalised")
        << QStringLiteral(" Uid=a ; PWD=AB;") << QStringLiteral("Uid=a;PWD=e5c=");
    QTest::newRow("russian") << QStringLiteral("Uid=a;Pwd=Пароль")
                             << QStringLiteral("Uid=a;Pwd=9atd6jC+");
    QTest::newRow("empty password") << QStringLiteral("Uid=a;Pwd=") << QStringLiteral("Uid=a;Pwd=");
    QTest::newRow("no password part") << QStringLiteral("Driver=Firebird;Uid=SYSDBA;;Role=R")
                                      << QStringLiteral("Driver=Firebird;Uid=SYSDBA;;Role=R");
}

void PasswordKeeperTest::enciphersForSettingsFile() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    KeeperFixture fixture;
    fixture.Post(QStringLiteral("Receiver"), 5, typed);
    QCOMPARE(fixture.Stored(QStringLiteral("Receiver"), 5), stored);
}

void PasswordKeeperTest::loadsEncipheredPasswords_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QVariant>("type");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QVariant>("held");
    QTest::addColumn<QString>("unmasked");
    QTest::newRow("password marker")
        << QStringLiteral("Receiver") << QVariant(1)
        << QStringLiteral("Driver=Firebird;PasswordBy+wZg==")
        << QStringLiteral("Driver=Firebird;Password****") << QVariant(QStringLiteral("=abc"))
        << QStringLiteral("Driver=Firebird;Password=abc;");
    QTest::newRow("1c command line")
        << QStringLiteral("Source") << QVariant(3) << QStringLiteral("/DBase /P9atd6jC+")
        << QStringLiteral("/DBase /P******") << QVariant(QStringLiteral("Пароль"))
        << QStringLiteral("/DBase /PПароль ");
    QTest::newRow("no password part")
        << QStringLiteral("Receiver") << QVariant(1) << QStringLiteral("Uid=a;Role=R")
        << QStringLiteral("Uid=a;Role=R") << QVariant() << QStringLiteral("Uid=a;Role=R");
}

void PasswordKeeperTest::loadsEncipheredPasswords() {
    QFETCH(QString, table);
    QFETCH(QVariant, type);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QVariant, held);
    QFETCH(QString, unmasked);
    KeeperFixture fixture;

    fixture.Load(table, 9, stored, type);
    QCOMPARE(fixture.afterPosts, 0);
    QCOMPARE(fixture.Shown(table, 9), shown);
    QCOMPARE(fixture.Held(table, 9), held);
    QCOMPARE(fixture.Unmask(table, 9, shown), unmasked);
    QCOMPARE(fixture.Stored(table, 9), stored);
}

void PasswordKeeperTest::loadsAPasswordCutAtItsSeparator_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QVariant>("type");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QVariant>("held");
    QTest::addColumn<QString>("unmasked");
    QTest::addColumn<QString>("storedAgain");
    const PasswordCipher cipher;
    const auto enciphered = [&](const char* password) {
        return cipher.EncipherPassword(QString::fromUtf8(password));
    };
    // Written by a save that cut the value at the separator: only the head was enciphered.
    QTest::newRow("braced, head enciphered")
        << QStringLiteral("Receiver") << QVariant(1)
        << QStringLiteral("Driver=SQLite3;PWD=%1;cret};Uid=a").arg(enciphered("{se"))
        << QStringLiteral("Driver=SQLite3;PWD=*********;Uid=a")
        << QVariant(QStringLiteral("{se;cret}"))
        << QStringLiteral("Driver=SQLite3;PWD={se;cret};Uid=a;")
        << QStringLiteral("Driver=SQLite3;PWD=%1;Uid=a").arg(enciphered("{se;cret}"));
    QTest::newRow("braced, blank after the cut kept")
        << QStringLiteral("Receiver") << QVariant(1)
        << QStringLiteral("PWD=%1; cr;et} ").arg(enciphered("{se"))
        << QStringLiteral("PWD=***********") << QVariant(QStringLiteral("{se; cr;et}"))
        << QStringLiteral("PWD={se; cr;et};")
        << QStringLiteral("PWD=%1").arg(enciphered("{se; cr;et}"));
    QTest::newRow("quoted, head enciphered")
        << QStringLiteral("Source") << QVariant(3)
        << QStringLiteral("/DBase /P%1 pass\" /Nuser").arg(enciphered("\"my"))
        << QStringLiteral("/DBase /P********* /Nuser") << QVariant(QStringLiteral("\"my pass\""))
        << QStringLiteral("/DBase /P\"my pass\" /Nuser ")
        << QStringLiteral("/DBase /P%1 /Nuser").arg(enciphered("\"my pass\""));
    QTest::newRow("braced, enciphered whole")
        << QStringLiteral("Receiver") << QVariant(1)
        << QStringLiteral("PWD=%1;Uid=a").arg(enciphered("{se;cret}"))
        << QStringLiteral("PWD=*********;Uid=a") << QVariant(QStringLiteral("{se;cret}"))
        << QStringLiteral("PWD={se;cret};Uid=a;")
        << QStringLiteral("PWD=%1;Uid=a").arg(enciphered("{se;cret}"));
}

void PasswordKeeperTest::loadsAPasswordCutAtItsSeparator() {
    QFETCH(QString, table);
    QFETCH(QVariant, type);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QVariant, held);
    QFETCH(QString, unmasked);
    QFETCH(QString, storedAgain);
    KeeperFixture fixture;

    fixture.Load(table, 9, stored, type);
    QCOMPARE(fixture.Shown(table, 9), shown);
    QCOMPARE(fixture.Held(table, 9), held);
    QCOMPARE(fixture.Unmask(table, 9, shown), unmasked);
    QCOMPARE(fixture.Stored(table, 9), storedAgain);
}

void PasswordKeeperTest::keepsEveryPasswordOfSeveralParts_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QVariant>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("unmasked");
    QTest::addColumn<QStringList>("passwords");
    QTest::addColumn<QString>("storedPattern");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("editedUnmasked");

    const QString receiver = QStringLiteral("Receiver");
    QTest::newRow("two markers") << receiver << QVariant(1)
                                 << QStringLiteral("pwd=one;Uid=x;/ptwo2")
                                 << QStringLiteral("pwd=***;Uid=x;/p****")
                                 << QStringLiteral("pwd=one;Uid=x;/ptwo2;")
                                 << QStringList{"one", "two2"}
                                 << QStringLiteral("pwd=%1;Uid=x;/p%2")
                                 << QStringLiteral("pwd=***;Uid=x;/pnew")
                                 << QStringLiteral("pwd=one;Uid=x;/pnew;");
    QTest::newRow("same marker and length twice")
        << receiver << QVariant(1) << QStringLiteral("Pwd=abc;Pwd=xyz")
        << QStringLiteral("Pwd=***;Pwd=***") << QStringLiteral("Pwd=abc;Pwd=xyz;")
        << QStringList{"abc", "xyz"} << QStringLiteral("Pwd=%1;Pwd=%2")
        << QStringLiteral("Pwd=new;Pwd=***") << QStringLiteral("Pwd=new;Pwd=xyz;");
    QTest::newRow("1c command line")
        << QStringLiteral("Source") << QVariant(2) << QStringLiteral("/Nuser /Pfirst /Psecond")
        << QStringLiteral("/Nuser /P***** /P******") << QStringLiteral("/Nuser /Pfirst /Psecond ")
        << QStringList{"first", "second"} << QStringLiteral("/Nuser /P%1 /P%2")
        << QStringLiteral("/Nuser /P***** /P**") << QStringLiteral("/Nuser /Pfirst /P** ");
    QTest::newRow("tag and escape characters in passwords")
        << receiver << QVariant(1) << QStringLiteral("pwd=\u0001a;pwd=b\u0002\u0001c")
        << QStringLiteral("pwd=**;pwd=****") << QStringLiteral("pwd=\u0001a;pwd=b\u0002\u0001c;")
        << QStringList{"\u0001a", "b\u0002\u0001c"} << QStringLiteral("pwd=%1;pwd=%2")
        << QStringLiteral("pwd=**;pwd=****;pwd=z")
        << QStringLiteral("pwd=\u0001a;pwd=b\u0002\u0001c;pwd=z;");
    QTest::newRow("one password led by the tag")
        << receiver << QVariant(1) << QStringLiteral("pwd=\u0001x") << QStringLiteral("pwd=**")
        << QStringLiteral("pwd=\u0001x;") << QStringList{"\u0001x"} << QStringLiteral("pwd=%1")
        << QStringLiteral("Uid=u;pwd=**") << QStringLiteral("Uid=u;pwd=\u0001x;");
    QTest::newRow("empty first password")
        << receiver << QVariant(1) << QStringLiteral("pwd=;pwd=a") << QStringLiteral("pwd=;pwd=*")
        << QStringLiteral("pwd=;pwd=a;") << QStringList{"", "a"} << QStringLiteral("pwd=%1;pwd=%2")
        << QStringLiteral("pwd=;pwd=b") << QStringLiteral("pwd=;pwd=b;");
}

void PasswordKeeperTest::keepsEveryPasswordOfSeveralParts() {
    QFETCH(QString, table);
    QFETCH(QVariant, type);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, unmasked);
    QFETCH(QStringList, passwords);
    QFETCH(QString, storedPattern);
    QFETCH(QString, edited);
    QFETCH(QString, editedUnmasked);

    KeeperFixture fixture;
    fixture.Post(table, 2, typed, type);
    QCOMPARE(fixture.Shown(table, 2), shown);
    QCOMPARE(fixture.Unmask(table, 2, shown), unmasked);
    QCOMPARE(fixture.dm.VremTable.RecordCount(), 1);

    QString stored = storedPattern;
    for (const QString& password : passwords)
        stored = stored.arg(fixture.keeper.Cipher().EncipherPassword(password));
    QCOMPARE(fixture.Stored(table, 2), stored);

    // Typed over in the editor, then posted.
    QCOMPARE(fixture.Unmask(table, 2, edited), editedUnmasked);
    fixture.Post(table, 2, edited, type);
    QCOMPARE(fixture.Unmask(table, 2, fixture.Shown(table, 2)), editedUnmasked);

    // What the settings file keeps comes back whole in the next run.
    KeeperFixture nextRun;
    nextRun.Load(table, 2, stored, type);
    QCOMPARE(nextRun.Shown(table, 2), shown);
    QCOMPARE(nextRun.Unmask(table, 2, shown), unmasked);
    QCOMPARE(nextRun.Stored(table, 2), stored);
}

void PasswordKeeperTest::roundTripsEveryLengthThroughSettingsFile() {
    const QString letters = QStringLiteral("ПарольЁё=*x9-");
    for (int length = 0; length <= 40; ++length) {
        QString password;
        for (int i = 0; i < length; ++i)
            password += letters[(i * 5 + length) % letters.size()];
        const QString typed = QStringLiteral("Uid=a;Password=") + password;
        KeeperFixture fixture;
        fixture.Post(QStringLiteral("Receiver"), 1, typed);
        const QString stored = fixture.Stored(QStringLiteral("Receiver"), 1);
        QVERIFY2(length < 3 || !stored.contains(password), qPrintable(stored));

        KeeperFixture nextRun;
        nextRun.Load(QStringLiteral("Receiver"), 1, stored);
        const QString shown = nextRun.Shown(QStringLiteral("Receiver"), 1);
        QCOMPARE(shown, QStringLiteral("Uid=a;Password") + QString(length + 1, u'*'));
        QCOMPARE(nextRun.Unmask(QStringLiteral("Receiver"), 1, shown), typed + u';');
    }
}

void PasswordKeeperTest::putsEventsBackWhenThePostFails() {
    KeeperFixture fixture;
    RecordSet& receiver = fixture.Table(QStringLiteral("Receiver"));
    fixture.Post(QStringLiteral("Receiver"), 1, QStringLiteral("Uid=a"));
    QCOMPARE(fixture.afterPosts, 1);

    // The field takes no backquote, so the post inside fails.
    QVERIFY_THROWS_EXCEPTION(
        Exception, fixture.keeper.HidePasswords(1, receiver, QStringLiteral("Uid=a`;pwd=x")));
    QVERIFY(receiver.AfterPost);
    receiver.Cancel();
    fixture.Post(QStringLiteral("Receiver"), 1, QStringLiteral("Uid=b;pwd=x"));
    QCOMPARE(fixture.afterPosts, 2);
    QCOMPARE(fixture.Shown(QStringLiteral("Receiver"), 1), QStringLiteral("Uid=b;pwd=*"));
}

QTEST_GUILESS_MAIN(PasswordKeeperTest)
#include "PasswordKeeperTest.moc"

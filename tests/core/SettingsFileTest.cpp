#include "core/SettingsFile.h"
#include "core/ConnectionStatus.h"
#include "core/IdCounters.h"
#include "core/PasswordCipher.h"
#include "core/PasswordKeeper.h"
#include "core/RecordSet.h"
#include "core/TDm.h"
#include "core/TableEventStore.h"
#include "core/TableFields.h"
#include "platform/Errors.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"
#include "platform/TextCodec.h"
#include "support/FileBytes.h"
#include "support/SettingsConfiguration.h"
#include "support/TimeZoneScope.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The data fields of every row, for comparing two tables.
QList<QVariantList> Rows(RecordSet& table) {
    QList<QVariantList> rows;
    for (int row = 0; row < table.RecordCount(); ++row) {
        QVariantList values;
        for (int field = 0; field < table.FieldDefs().size(); ++field)
            if (table.FieldDefs()[field].Kind == FieldKind::Data)
                values.append(table.ValueAt(row, field));
        rows.append(values);
    }
    return rows;
}

QString LoadError(SettingsConfiguration& configuration) {
    try {
        configuration.settingsFile.LoadConfiguration();
    } catch (const Exception& error) {
        return error.Message();
    }
    return QString();
}

void AppendConnection(RecordSet& table, int id, const QVariant& name,
                      const QVariant& updateTime = QVariant()) {
    table.Append();
    table.FieldByName(Fields::Connection::Id).SetAsInteger(id);
    table.FieldByName(Fields::Connection::Name_Connection).SetValue(name);
    table.FieldByName(Fields::Connection::Status).SetAsInteger(NotUpdating);
    table.FieldByName(Fields::Connection::Update_Time).SetValue(updateTime);
    table.Post();
}

// A Connection section of the given number of rows, each with its own Id and name.
QByteArray ManyConnections(int count) {
    QByteArray ids = "1";
    QByteArray names = "n1";
    for (int id = 2; id <= count; ++id) {
        ids += '`' + QByteArray::number(id);
        names += "`n" + QByteArray::number(id);
    }
    return "[Connection]\nId=" + ids + "\nName_Connection=" + names + "\nTime_Update=30\n";
}

const char kWorkedExample[] = R"([Connection]
Id=1`3
Name_Connection=Warehouse`Shop
Status=0`0
Update_Time=`05.03.2009 14:30:00
Id_Receiver=1`2
Id_Source=1`1
Time_Update=30`15
Updated=0`0
Monday=1`1
Tuesday=1`1
Wednesday=1`1
Thursday=1`1
Friday=1`1
Saturday=0`1
Sunday=0`0
TimeStart=9:00:00`8:00:00
TimeEnd=18:00:00`20:00:00
[Source]
Id=
Name_Source=
Connection_String=
Id_Connection_Types=
SQL_Query=
Name_Docking_Field=
Name_Updated_Field=
CustomParameter=
)";

} // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path_;

private Q_SLOTS:
    void init() {
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
        path_ = dir_.filePath(QStringLiteral("%1 %2.ini")
                                  .arg(QString::fromLatin1(QTest::currentTestFunction()),
                                       QString::fromLatin1(QTest::currentDataTag())));
        QFile::remove(path_);
    }

    void loadsWorkedExample() {
        FileBytes::Write(path_, kWorkedExample);
        SettingsConfiguration configuration(path_);
        configuration.settingsFile.LoadConfiguration();

        RecordSet& connection = configuration.dm.Connection;
        QCOMPARE(connection.RecordCount(), 2);
        QCOMPARE(connection.RecNo(), 0);
        QCOMPARE(connection.FieldByName(Fields::Connection::Id).AsInteger(), 1);
        QCOMPARE(connection.FieldByName(Fields::Connection::Name_Connection).AsString(),
                 "Warehouse");
        QVERIFY(connection.FieldByName(Fields::Connection::Update_Time).IsNull());
        QCOMPARE(connection.FieldByName(Fields::Connection::Time_Update).AsInteger(), 30);
        QCOMPARE(connection.FieldByName(Fields::Connection::Saturday).AsInteger(), 0);
        QCOMPARE(connection.FieldByName(Fields::Connection::TimeStart).AsTime(), QTime(9, 0));
        QCOMPARE(connection.FieldByName(Fields::Connection::TimeEnd).AsTime(), QTime(18, 0));
        connection.Next();
        QCOMPARE(connection.FieldByName(Fields::Connection::Id).AsInteger(), 3);
        QCOMPARE(connection.FieldByName(Fields::Connection::Name_Connection).AsString(), "Shop");
        QCOMPARE(connection.FieldByName(Fields::Connection::Update_Time).AsDateTime(),
                 QDateTime(QDate(2009, 3, 5), QTime(14, 30)));
        QCOMPARE(connection.FieldByName(Fields::Connection::Id_Receiver).AsInteger(), 2);
        QCOMPARE(connection.FieldByName(Fields::Connection::Saturday).AsInteger(), 1);
        QCOMPARE(connection.FieldByName(Fields::Connection::TimeStart).AsTime(), QTime(8, 0));
        QCOMPARE(connection.FieldByName(Fields::Connection::TimeEnd).AsTime(), QTime(20, 0));
        QVERIFY(configuration.dm.Source.IsEmpty());
        QVERIFY(configuration.dm.Receiver.IsEmpty());
        QCOMPARE(configuration.counters.Counter_Connection, 3);

        // Written back, the section is the one that was read.
        const QStringList before = ProfileFile(path_).ReadSection("Connection");
        configuration.settingsFile.SaveTable(connection);
        QCOMPARE(ProfileFile(path_).ReadSection("Connection"), before);
        QCOMPARE(connection.FieldByName(Fields::Connection::Id).AsInteger(), 3);
    }

    void missingFileGivesDefaultsAndIsCreatedOnSave() {
        SettingsConfiguration configuration(path_);
        const ServiceSettings settings = configuration.settingsFile.LoadConfiguration();
        QCOMPARE(settings.NumberAttempts, 3);
        QCOMPARE(settings.ShowAllLogs, false);
        QCOMPARE(settings.MaxSizeLogs, 5);
        QCOMPARE(configuration.counters.Counter_Connection, 0);
        QCOMPARE(configuration.counters.Counter_Receiver, 0);
        QCOMPARE(configuration.counters.Counter_Source, 0);
        for (RecordSet* table : {&configuration.dm.Connection, &configuration.dm.Receiver,
                                 &configuration.dm.Source, &configuration.dm.Connection_Types})
            QVERIFY(table->IsEmpty());

        configuration.settingsFile.SaveCountersAndTables();
        const ProfileFile file(path_);
        QCOMPARE(file.ReadSection("Counter_Id"),
                 QStringList({"Counter_Connection=0", "Counter_Receiver=0", "Counter_Source=0"}));
        QCOMPARE(file.ReadSection("Source"),
                 QStringList({"Id=", "Name_Source=", "Connection_String=", "Id_Connection_Types=",
                              "SQL_Query=", "Name_Docking_Field=", "Name_Updated_Field=",
                              "CustomParameter="}));
        QCOMPARE(file.ReadSection("Receiver"),
                 QStringList({"Id=", "Name_Receiver=", "Connection_String=", "Id_Connection_Types=",
                              "Key_Field=", "Name_Updated_Field=", "Name_Table="}));
        QCOMPARE(file.ReadSection("Connection"),
                 QStringList(
                     {"Id=", "Name_Connection=", "Status=", "Update_Time=", "Id_Receiver=",
                      "Id_Source=", "Time_Update=", "Updated=", "Monday=", "Tuesday=", "Wednesday=",
                      "Thursday=", "Friday=", "Saturday=", "Sunday=", "TimeStart=", "TimeEnd="}));
        QVERIFY(file.ReadSection("Settings").isEmpty());
        QVERIFY(file.ReadSection("Connection_Types").isEmpty());
    }

    void readsSettings_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("numberAttempts");
        QTest::addColumn<bool>("showAllLogs");
        QTest::addColumn<int>("maxSizeLogs");
        QTest::newRow("hexadecimal")
            << QByteArray("[Settings]\nNumberAttempts=0x10\n") << 16 << false << 5;
        QTest::newRow("not a number")
            << QByteArray("[Settings]\nNumberAttempts=three\n") << 3 << false << 5;
        QTest::newRow("signed, any case")
            << QByteArray("[settings]\nnumberattempts=-2\nSHOWALLLOGS=7\nMaxSizeLogs=+12\n") << -2
            << true << 12;
        QTest::newRow("logs off") << QByteArray("[Settings]\nShowAllLogs=0\nMaxSizeLogs=1\n") << 3
                                  << false << 1;
    }

    void readsSettings() {
        QFETCH(QByteArray, text);
        FileBytes::Write(path_, text);
        SettingsConfiguration configuration(path_);
        const ServiceSettings settings = configuration.settingsFile.LoadConfiguration();
        QTEST(settings.NumberAttempts, "numberAttempts");
        QTEST(settings.ShowAllLogs, "showAllLogs");
        QTEST(settings.MaxSizeLogs, "maxSizeLogs");
    }

    void valuesComeBackExactly_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::newRow("equals signs")
            << Fields::Source::SQL_Query << "select Qty from Stock where Kind='A' and Code=Partno";
        QTest::newRow("connection string")
            << Fields::Source::Connection_String
            << "Driver=Firebird/InterBase(r) driver;Dbname=/data/x.fdb";
        QTest::newRow("blanks and quotes") << Fields::Source::Name_Source << "  \"Склад\" 'main'  ";
        QTest::newRow("quoted whole") << Fields::Source::Name_Docking_Field << "\"Code\"";
    }

    void valuesComeBackExactly() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        {
            SettingsConfiguration configuration(path_);
            RecordSet& source = configuration.dm.Source;
            source.Append();
            source.FieldByName(Fields::Source::Id).SetAsInteger(1);
            source.FieldByName(Fields::Source::Id_Connection_Types).SetAsInteger(1);
            source.FieldByName(field).SetAsString(value);
            source.Post();
            source.Append();
            source.FieldByName(Fields::Source::Id).SetAsInteger(2);
            source.FieldByName(Fields::Source::Name_Source).SetAsString("second");
            source.Post();
            configuration.settingsFile.SaveTable(source);
        }
        SettingsConfiguration loaded(path_);
        loaded.settingsFile.LoadConfiguration();
        RecordSet& source = loaded.dm.Source;
        QCOMPARE(source.RecordCount(), 2);
        QCOMPARE(source.FieldByName(field).AsString(), value);
        source.Next();
        QCOMPARE(source.FieldByName(Fields::Source::Name_Source).AsString(), "second");
    }

    void shorterLineGivesItsLastValueToTheRest() {
        FileBytes::Write(path_, "[Connection]\nId=1`2`3\nName_Connection=A`B\nTime_Update=5`6`7`8\n"
                                "Monday=1\n");
        SettingsConfiguration configuration(path_);
        configuration.settingsFile.LoadConfiguration();
        RecordSet& connection = configuration.dm.Connection;
        QCOMPARE(connection.RecordCount(), 3);
        const QStringList names = {"A", "B", "B"};
        const QList<int> periods = {5, 6, 7};
        for (int row = 0; row < 3; ++row, connection.Next()) {
            QCOMPARE(connection.FieldByName(Fields::Connection::Id).AsInteger(), row + 1);
            QCOMPARE(connection.FieldByName(Fields::Connection::Name_Connection).AsString(),
                     names[row]);
            QCOMPARE(connection.FieldByName(Fields::Connection::Time_Update).AsInteger(),
                     periods[row]);
            QCOMPARE(connection.FieldByName(Fields::Connection::Monday).AsInteger(), 1);
        }
    }

    void statusIsAlwaysZero() {
        FileBytes::Write(path_, "[Connection]\nId=1`2\nStatus=2`x\nUpdated=1`0\n");
        SettingsConfiguration configuration(path_);
        configuration.settingsFile.LoadConfiguration();
        RecordSet& connection = configuration.dm.Connection;
        QCOMPARE(connection.RecordCount(), 2);
        QCOMPARE(connection.FieldByName(Fields::Connection::Status).AsInteger(), int(NotUpdating));
        QCOMPARE(connection.FieldByName(Fields::Connection::Updated).AsInteger(), 1);
        connection.Next();
        QCOMPARE(connection.FieldByName(Fields::Connection::Status).AsInteger(), int(NotUpdating));

        connection.Edit();
        connection.FieldByName(Fields::Connection::Status).SetAsInteger(ConnectError);
        connection.Post();
        configuration.settingsFile.SaveTable(connection);
        const ProfileFile file(path_);
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Status), "0`0");
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Updated), "1`0");
    }

    void writesTextForms() {
        SettingsConfiguration configuration(path_);
        RecordSet& connection = configuration.dm.Connection;
        AppendConnection(connection, 1, "A", QDateTime(QDate(2009, 3, 5), QTime(0, 0)));
        AppendConnection(connection, 2, QVariant(), QDateTime(QDate(2009, 12, 31), QTime(7, 5, 9)));
        AppendConnection(connection, 3, "C");
        connection.First();
        connection.Edit();
        connection.FieldByName(Fields::Connection::TimeStart).SetAsTime(QTime(9, 0));
        connection.FieldByName(Fields::Connection::Time_Update).SetAsInteger(-15);
        connection.Post();
        configuration.settingsFile.SaveTable(connection);

        const ProfileFile file(path_);
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Id), "1`2`3");
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Update_Time),
                 "05.03.2009`31.12.2009 7:05:09`");
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Name_Connection), "A``C");
        QCOMPARE(file.ReadString("Connection", Fields::Connection::TimeStart), "9:00:00``");
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Time_Update), "-15``");

        SettingsConfiguration loaded(path_);
        loaded.settingsFile.LoadConfiguration();
        QCOMPARE(Rows(loaded.dm.Connection), Rows(connection));
        loaded.dm.Connection.Next();
        QVERIFY(loaded.dm.Connection.FieldByName(Fields::Connection::Name_Connection).IsNull());
    }

    void saveKeepsCursorUnknownKeysAndCancelsPendingEdit() {
        FileBytes::Write(path_, "[Other]\nKept=1\n[Connection]\nId=1`2`3\nName_Connection=A`B`C\n");
        SettingsConfiguration configuration(path_);
        configuration.settingsFile.LoadConfiguration();
        RecordSet& connection = configuration.dm.Connection;
        // A key of another version of the program, added after the load.
        ProfileFile withLegacyKey(path_);
        withLegacyKey.WriteString("Connection", "Legacy", "x`y");
        withLegacyKey.Save();
        connection.Next();
        connection.Edit();
        connection.FieldByName(Fields::Connection::Name_Connection).SetAsString("not posted");
        configuration.settingsFile.SaveTable(connection);

        QCOMPARE(connection.State(), RecordSetState::Browse);
        QCOMPARE(connection.FieldByName(Fields::Connection::Id).AsInteger(), 2);
        QCOMPARE(connection.FieldByName(Fields::Connection::Name_Connection).AsString(), "B");
        const ProfileFile file(path_);
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Name_Connection), "A`B`C");
        QCOMPARE(file.ReadString("Connection", "Legacy"), "x`y");
        QCOMPARE(file.ReadString("Other", "Kept"), "1");
    }

    // A row changed on behalf of a worker is written with the other rows as stored; the
    // operator's unsaved edit stays pending and out of the file, a new row too.
    void savingStoredRowsKeepsPendingEdit_data() {
        QTest::addColumn<bool>("insert");
        QTest::newRow("edit") << false;
        QTest::newRow("insert") << true;
    }

    void savingStoredRowsKeepsPendingEdit() {
        QFETCH(bool, insert);
        FileBytes::Write(path_, "[Connection]\nId=1`2`3\nName_Connection=A`B`C\n");
        SettingsConfiguration configuration(path_);
        configuration.settingsFile.LoadConfiguration();
        RecordSet& connection = configuration.dm.Connection;
        connection.Next();
        if (insert) {
            connection.Insert();
            connection.FieldByName(Fields::Connection::Id).SetAsInteger(4);
        } else {
            connection.Edit();
        }
        connection.FieldByName(Fields::Connection::Name_Connection).SetAsString("not posted");
        QVERIFY(connection.UpdateRow(Fields::Connection::Id, {3},
                                     Fields::Connection::Name_Connection, {"Z"}));

        configuration.settingsFile.SaveStoredRows(connection);

        QCOMPARE(connection.State(), insert ? RecordSetState::Insert : RecordSetState::Edit);
        QCOMPARE(connection.FieldByName(Fields::Connection::Name_Connection).AsString(),
                 "not posted");
        const ProfileFile file(path_);
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Id), "1`2`3");
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Name_Connection), "A`B`Z");
    }

    void loadErrors_data() {
        QTest::addColumn<QByteArray>("connection");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("connectionRows");
        QTest::newRow("integer") << QByteArray("Id=1`x`3\n") << "'x' is not a valid integer value"
                                 << 1;
        QTest::newRow("date and time")
            << QByteArray("Id=1`2\nUpdate_Time=05.03.2009`32.13.2009 10:00:00\n")
            << "'32.13.2009 10:00:00' is not a valid date and time" << 1;
        QTest::newRow("time") << QByteArray("Id=1\nTimeEnd=25:61:00\n")
                              << "'25:61:00' is not a valid time" << 0;
        QTest::newRow("unknown field")
            << QByteArray("Id=1`2\nX=`1\n") << "Connection: Field 'X' not found" << 1;
        QTest::newRow("unknown field, empty value")
            << QByteArray("Id=1`2\nX=\nName_Connection=a`b\n") << QString() << 2;
    }

    void loadErrors() {
        QFETCH(QByteArray, connection);
        QFETCH(QString, error);
        FileBytes::Write(path_,
                         "[Receiver]\nId=1`2\nName_Receiver=R1`R2\n[Connection]\n" + connection);
        SettingsConfiguration configuration(path_);
        QCOMPARE(LoadError(configuration), error);
        QCOMPARE(configuration.dm.Receiver.RecordCount(), 2);
        QTEST(configuration.dm.Connection.RecordCount(), "connectionRows");
        QVERIFY(!configuration.dm.Connection.IsEditing());
    }

    void datesAreStoredInTheHomeFormsWhateverTheSettings() {
        const QDateTime updated(QDate(1940, 3, 5), QTime(14, 30));
        RegionalSettings::SetFormats("M/d/yy", "h:mm:ss AP");
        {
            SettingsConfiguration configuration(path_);
            AppendConnection(configuration.dm.Connection, 1, "A", updated);
            configuration.settingsFile.SaveTable(configuration.dm.Connection);
        }
        QCOMPARE(ProfileFile(path_).ReadString("Connection", Fields::Connection::Update_Time),
                 "05.03.1940 14:30:00");
        RegionalSettings::SetFormats("dd/MM/yyyy", "HH:mm:ss");
        SettingsConfiguration configuration(path_);
        QCOMPARE(LoadError(configuration), QString());
        QCOMPARE(
            configuration.dm.Connection.FieldByName(Fields::Connection::Update_Time).AsDateTime(),
            updated);
    }

    // Written in Moscow, read in Berlin, where summer time skips that hour.
    void aSkippedLocalTimeLoadsAsTheNextValidOne() {
        const TimeZoneScope berlin("Europe/Berlin");
        FileBytes::Write(path_,
                         "[Connection]\nId=1`2\nUpdate_Time=29.03.2026 02:30:00`29.03.2026\n");
        SettingsConfiguration configuration(path_);
        QCOMPARE(LoadError(configuration), QString());
        RecordSet& connection = configuration.dm.Connection;
        QCOMPARE(connection.FieldByName(Fields::Connection::Update_Time).AsDateTime(),
                 QDateTime(QDate(2026, 3, 29), QTime(3, 0)));
        connection.Next();
        QCOMPARE(connection.FieldByName(Fields::Connection::Update_Time).AsDateTime(),
                 QDateTime(QDate(2026, 3, 29), QTime(0, 0)));
    }

    void aDateInNeitherFormFailsToLoad() {
        FileBytes::Write(path_, "[Connection]\nId=1\nUpdate_Time=05/03/2009 14:30:00\n");
        RegionalSettings::SetFormats("dd-MM-yyyy", "H:mm:ss");
        SettingsConfiguration configuration(path_);
        QCOMPARE(LoadError(configuration), "'05/03/2009 14:30:00' is not a valid date and time");
    }

    void countersRiseToHighestId() {
        FileBytes::Write(path_, "[Counter_Id]\nCounter_Connection=2\nCounter_Receiver=10\n"
                                "[Connection]\nId=5`1\n[Receiver]\nId=3\n[Source]\nId=7`4\n"
                                "[Connection_Types]\nId=1`20\nName=a`b\n");
        SettingsConfiguration configuration(path_);
        configuration.settingsFile.LoadConfiguration();
        QCOMPARE(configuration.counters.Counter_Connection, 5);
        QCOMPARE(configuration.counters.Counter_Receiver, 10);
        QCOMPARE(configuration.counters.Counter_Source, 7);
        QCOMPARE(configuration.dm.Connection.FieldByName(Fields::Connection::Id).AsInteger(), 1);
        QCOMPARE(configuration.dm.Connection_Types.RecordCount(), 2);
    }

    void windows1251FileWithEncipheredPasswords() {
        const PasswordCipher cipher;
        const QString text =
            QStringLiteral("[Connection_Types]\nId=1`2\nName=База данных`1С:Предприятие\n"
                           "[Receiver]\nId=1`2\nName_Receiver=Склад Главный`Магазин\n"
                           "Connection_String=Driver=Firebird/InterBase(r) driver;Pwd=%1`"
                           "Dbname=/data/shop.fdb\nId_Connection_Types=1`1\n"
                           "Key_Field=Код`Code\n"
                           "[Source]\nId=4\nName_Source=Учёт\n"
                           "Connection_String=/DC:\\База /NАдмин /P%2\nId_Connection_Types=2\n")
                .arg(cipher.EncipherPassword("секрет"), cipher.EncipherPassword("=пароль"));
        const std::optional<QByteArray> bytes = TextCodec::ToWindows1251(text);
        QVERIFY(bytes);
        QVERIFY(!bytes->isValidUtf8());
        FileBytes::Write(path_, *bytes);

        SettingsConfiguration configuration(path_);
        configuration.settingsFile.LoadConfiguration();
        RecordSet& receiver = configuration.dm.Receiver;
        RecordSet& source = configuration.dm.Source;
        QCOMPARE(configuration.dm.Connection_Types.RecordCount(), 2);
        QCOMPARE(receiver.FieldByName(Fields::Receiver::Name_Receiver).AsString(), "Склад Главный");
        QCOMPARE(receiver.FieldByName(Fields::Receiver::Key_Field).AsString(), "Код");
        QCOMPARE(receiver.FieldByName(Fields::Receiver::Connection_String).AsString(),
                 "Driver=Firebird/InterBase(r) driver;Pwd=******");
        QCOMPARE(configuration.passwords.UnmaskConnectionString(1, "Receiver", u';',
                                                                "Driver=Firebird/InterBase(r) "
                                                                "driver;Pwd=******"),
                 "Driver=Firebird/InterBase(r) driver;Pwd=секрет;");
        receiver.Next();
        QCOMPARE(receiver.FieldByName(Fields::Receiver::Name_Receiver).AsString(), "Магазин");
        QCOMPARE(receiver.FieldByName(Fields::Receiver::Connection_String).AsString(),
                 "Dbname=/data/shop.fdb");
        QCOMPARE(source.FieldByName(Fields::Source::Name_Source).AsString(), "Учёт");
        QCOMPARE(source.FieldByName(Fields::Source::Connection_String).AsString(),
                 "/DC:\\База /NАдмин /P*******");
        QCOMPARE(configuration.passwords.UnmaskConnectionString(4, "Source", u' ', "/P*******"),
                 "/P=пароль ");

        configuration.settingsFile.SaveCountersAndTables();
        const ProfileFile written(path_);
        QCOMPARE(written.ReadString("Source", Fields::Source::Connection_String),
                 "/DC:\\База /NАдмин /P" + cipher.EncipherPassword("=пароль"));
        QCOMPARE(written.ReadString("Connection_Types", Fields::Connection_Types::Name),
                 "База данных`1С:Предприятие");

        SettingsConfiguration reloaded(path_);
        reloaded.settingsFile.LoadConfiguration();
        QCOMPARE(Rows(reloaded.dm.Receiver), Rows(receiver));
        QCOMPARE(Rows(reloaded.dm.Source), Rows(source));
        QCOMPARE(Rows(reloaded.dm.VremTable), Rows(configuration.dm.VremTable));
        QCOMPARE(reloaded.dm.VremTable.RecordCount(), 2);
        QCOMPARE(reloaded.counters.Counter_Source, 4);
    }

    void failedWriteKeepsTheEvents_data() {
        QTest::addColumn<QString>("readOnly");
        QTest::newRow("file") << "file";
        QTest::newRow("folder") << "folder";
    }

    void failedWriteKeepsTheEvents() {
        QFETCH(QString, readOnly);
        // Permissions do not stop root: act as nobody for the length of the test.
        QTemporaryDir folder;
        const bool asRoot = geteuid() == 0;
        if (asRoot) {
            QCOMPARE(chown(QFile::encodeName(folder.path()).constData(), 65534, 65534), 0);
            // The real id too: the writability check asks access(), which goes by it.
            QCOMPARE(setresuid(65534, 65534, 0), 0);
        }
        const auto backToRoot = qScopeGuard([asRoot] {
            if (asRoot)
                QCOMPARE(setresuid(0, 0, 0), 0);
        });
        const QString path = folder.filePath("Corvane.ini");
        const QByteArray target = QFile::encodeName(readOnly == "file" ? path : folder.path());
        const mode_t writableMode = readOnly == "file" ? 0600 : 0700;

        SettingsConfiguration configuration(path);
        RecordSet& receiver = configuration.dm.Receiver;
        receiver.OnNewRecord = [&configuration](RecordSet& table) {
            table.FieldByName(Fields::Receiver::Id)
                .SetAsInteger(configuration.counters.NewReceiverId());
        };
        receiver.AfterPost = [&configuration](RecordSet& table) {
            configuration.settingsFile.SaveTable(table);
        };
        const auto postNamed = [&receiver](const QString& name) {
            receiver.Append();
            receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString(name);
            try {
                receiver.Post();
            } catch (const Exception& error) {
                return error.Message();
            }
            return QString();
        };

        QCOMPARE(postNamed("R1"), QString());
        QCOMPARE(chmod(target.constData(), 0500), 0);
        const QString refused = "Unable to write to " + path;
        QCOMPARE(postNamed("R2"), refused);
        QCOMPARE(receiver.FieldByName(Fields::Receiver::Id).AsInteger(), 2);
        QCOMPARE(postNamed("R3"), refused);
        QCOMPARE(receiver.FieldByName(Fields::Receiver::Id).AsInteger(), 3);
        QCOMPARE(ProfileFile(path).ReadString("Receiver", Fields::Receiver::Id), "1");

        QCOMPARE(chmod(target.constData(), writableMode), 0);
        receiver.Edit();
        receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString("R3 again");
        receiver.Post();
        const ProfileFile file(path);
        QCOMPARE(file.ReadString("Receiver", Fields::Receiver::Id), "1`2`3");
        QCOMPARE(file.ReadString("Receiver", Fields::Receiver::Name_Receiver), "R1`R2`R3 again");
    }

    void killedSaveLeavesOldOrNewContent() {
        // Two contents of one table, each big enough that a kill often lands inside a write.
        SettingsConfiguration oldContent(path_);
        SettingsConfiguration newContent(path_);
        for (int id = 1; id <= 3000; ++id) {
            AppendConnection(oldContent.dm.Connection, id, QStringLiteral("old %1").arg(id));
            AppendConnection(newContent.dm.Connection, id * 2, QStringLiteral("new %1").arg(id),
                             QDateTime(QDate(2020, 1, 1), QTime(12, id % 60)));
        }
        oldContent.settingsFile.SaveTable(oldContent.dm.Connection);
        const QList<QVariantList> oldRows = Rows(oldContent.dm.Connection);
        const QList<QVariantList> newRows = Rows(newContent.dm.Connection);

        QRandomGenerator random(20240611);
        int oldSeen = 0;
        int newSeen = 0;
        for (int round = 0; round < 50; ++round) {
            int started[2];
            QCOMPARE(pipe(started), 0);
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                close(started[0]);
                try {
                    for (int save = 0;; ++save) {
                        SettingsConfiguration& content = save % 2 == 0 ? newContent : oldContent;
                        content.settingsFile.SaveTable(content.dm.Connection);
                        if (save == 0 && write(started[1], "s", 1) != 1)
                            _exit(1);
                    }
                } catch (...) {
                    _exit(2);
                }
            }
            close(started[1]);
            char signal = 0;
            QCOMPARE(read(started[0], &signal, 1), 1);
            close(started[0]);
            usleep(random.bounded(20000));
            QCOMPARE(kill(child, SIGKILL), 0);
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY(WIFSIGNALED(status));

            SettingsConfiguration loaded(path_);
            QCOMPARE(LoadError(loaded), QString());
            const QList<QVariantList> rows = Rows(loaded.dm.Connection);
            QVERIFY(rows == oldRows || rows == newRows);
            (rows == oldRows ? oldSeen : newSeen) += 1;
        }
        QVERIFY(oldSeen > 0);
        QVERIFY(newSeen > 0);
    }

    void everyLineLoadsInItsOwnEncoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("writtenStart"); // how the saved file begins
        const QByteArray connections = "[Connection]\r\nId=1`2\r\nName_Connection=";
        const QByteArray receiver = "\r\n[Receiver]\r\nId=5\r\nName_Receiver=";
        const QByteArray names1251 = *TextCodec::ToWindows1251(QStringLiteral("Склад`Магазин"));
        const QByteArray namesUtf8 = QStringLiteral("Склад`Магазин").toUtf8();
        const QByteArray receiver1251 = *TextCodec::ToWindows1251(QStringLiteral("Основной"));
        const QByteArray receiverUtf8 = QStringLiteral("Основной").toUtf8();
        QTest::newRow("utf-8 file, one windows-1251 line")
            << connections + names1251 + receiver + receiverUtf8 + "\r\n"
            << QByteArray("[");
        QTest::newRow("windows-1251 file, one utf-8 line")
            << connections + namesUtf8 + receiver + receiver1251 + "\r\n"
            << QByteArray("[");
        const QString text = QString::fromUtf8(connections + namesUtf8 + receiver + receiverUtf8);
        QByteArray little = "\xFF\xFE";
        QByteArray big = "\xFE\xFF";
        for (const QChar ch : text) {
            const char low = char(ch.unicode() & 0xFF);
            const char high = char(ch.unicode() >> 8);
            little += QByteArray(1, low) + QByteArray(1, high);
            big += QByteArray(1, high) + QByteArray(1, low);
        }
        QTest::newRow("utf-16 little-endian") << little << QByteArray("\xFF\xFE[\0", 4);
        QTest::newRow("utf-16 big-endian") << big << QByteArray("\xFE\xFF\0[", 4);
    }

    void everyLineLoadsInItsOwnEncoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, writtenStart);
        FileBytes::Write(path_, bytes);
        const QStringList expected = {QStringLiteral("Склад"), QStringLiteral("Магазин"),
                                      QStringLiteral("Основной")};
        for (int round = 0; round < 2; ++round) {
            SettingsConfiguration configuration(path_);
            QCOMPARE(LoadError(configuration), QString());
            RecordSet& connection = configuration.dm.Connection;
            QStringList names;
            for (connection.First(); !connection.Eof(); connection.Next())
                names << connection.FieldByName(Fields::Connection::Name_Connection).AsString();
            names << configuration.dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver)
                         .AsString();
            QCOMPARE(names, expected);
            // A save keeps every name whole, and the file in the encoding it came in.
            configuration.settingsFile.SaveCountersAndTables();
            QVERIFY2(FileBytes::Read(path_).startsWith(writtenStart),
                     FileBytes::Read(path_).left(8).toHex());
        }
    }

    void aFileThatIsNoTextIsRefusedAndLeftAlone_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("utf-16 without its mark") << QByteArray("[\0S\0]\0\r\0\n\0K\0=\0"
                                                               "1\0",
                                                               16);
        QTest::newRow("binary") << QByteArray("\x7F"
                                              "ELF\x02\x01\x01\0\0\0\0\0[Connection]\n",
                                              25);
        QTest::newRow("NUL in a value")
            << QByteArray("[Connection]\nId=1\nName_Connection=a\0b\n", 38);
    }

    void aFileThatIsNoTextIsRefusedAndLeftAlone() {
        QFETCH(QByteArray, bytes);
        FileBytes::Write(path_, bytes);
        SettingsConfiguration configuration(path_);
        QCOMPARE(LoadError(configuration),
                 QStringLiteral("Unable to read from %1: it is not text in UTF-8, Windows-1251 or "
                                "UTF-16 with a byte-order mark; it was left unchanged")
                     .arg(path_));
        AppendConnection(configuration.dm.Connection, 1, QStringLiteral("Новое"));
        QVERIFY_THROWS_EXCEPTION(Exception,
                                 configuration.settingsFile.SaveTable(configuration.dm.Connection));
        QVERIFY_THROWS_EXCEPTION(Exception, configuration.settingsFile.SaveCountersAndTables());
        QCOMPARE(FileBytes::Read(path_), bytes);
    }

    void theFirstOfDuplicateKeysCounts() {
        FileBytes::Write(path_,
                         QStringLiteral("[Connection]\r\nId=1\r\nName_Connection=Первое\r\n"
                                        "Time_Update=30\r\nNAME_CONNECTION=Второе\r\nid=1`2`3\r\n")
                             .toUtf8());
        {
            SettingsConfiguration configuration(path_);
            QCOMPARE(LoadError(configuration), QString());
            RecordSet& connection = configuration.dm.Connection;
            QCOMPARE(connection.RecordCount(), 1);
            QCOMPARE(connection.FieldByName(Fields::Connection::Name_Connection).AsString(),
                     "Первое");
            connection.Edit();
            connection.FieldByName(Fields::Connection::Name_Connection).SetAsString("Третье");
            connection.Post();
            configuration.settingsFile.SaveTable(connection);
        }
        // The later duplicates stay as they were, never read.
        QCOMPARE(QString::fromUtf8(FileBytes::Read(path_)),
                 QStringLiteral("[Connection]\r\nId=1\r\nName_Connection=Третье\r\n"
                                "Time_Update=30\r\nNAME_CONNECTION=Второе\r\nid=1`2`3\r\n"
                                "Status=0\r\nUpdate_Time=\r\nId_Receiver=\r\nId_Source=\r\n"
                                "Updated=\r\nMonday=\r\nTuesday=\r\nWednesday=\r\nThursday=\r\n"
                                "Friday=\r\nSaturday=\r\nSunday=\r\nTimeStart=\r\nTimeEnd=\r\n"));
        SettingsConfiguration reloaded(path_);
        QCOMPARE(LoadError(reloaded), QString());
        QCOMPARE(reloaded.dm.Connection.FieldByName(Fields::Connection::Name_Connection).AsString(),
                 "Третье");
    }

    void tooManyRowsAreRefused() {
        FileBytes::Write(path_, ManyConnections(10001));
        SettingsConfiguration configuration(path_);
        QCOMPARE(LoadError(configuration),
                 QStringLiteral("Connection: the section holds 10001 rows, more than the 10000 a "
                                "table can hold"));
        QCOMPARE(configuration.dm.Connection.RecordCount(), 0);
    }

    // Each file is loaded in a child whose address space may grow by a fixed allowance, which
    // holds the largest table there may be, and a small multiple of the file's size.
    void hostileFilesLoadWithinLittleMemory_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("outcome"); // what the child reports, as a pattern
        constexpr int size = 8 << 20;
        const QByteArray connection = "[Connection]\n";
        QTest::newRow("backquote run")
            << connection + "Id=" + QByteArray(size, '`') + "\n"
            << "^error Connection: the section holds \\d+ rows, more than the 10000 a table can "
               "hold$";
        QTest::newRow("backquotes in a later key")
            << connection + "Id=1`2\nName_Connection=" + QByteArray(size, '`') + "\n"
            << "^loaded 2$";
        QTest::newRow("line of equals signs") << connection + "Id=" + QByteArray(size, '=') + "\n"
                                              << "^error '=+' is not a valid integer value$";
        QByteArray separators;
        while (separators.size() < size)
            separators += "=`[];\t ";
        QTest::newRow("line of every separator")
            << connection + "Id=1\nName_Connection=" + separators + "\n"
            << "^loaded 1$";
        QByteArray sections;
        for (int i = 0; sections.size() < size; ++i)
            sections += "[S" + QByteArray::number(i) + "]\n";
        QTest::newRow("many sections") << sections + connection + "Id=7\n"
                                       << "^loaded 1$";
        QByteArray keys = connection + "Id=1\n";
        for (int i = 0; keys.size() < size; ++i)
            keys += "k" + QByteArray::number(i) + "=\n";
        QTest::newRow("many keys without values") << keys << "^loaded 1$";
        QByteArray duplicateKeys = connection + "Id=1`2\n";
        while (duplicateKeys.size() < size)
            duplicateKeys += "Name_Connection=a`b\n";
        QTest::newRow("deep duplicate keys") << duplicateKeys << "^loaded 2$";
        QByteArray duplicateSections;
        while (duplicateSections.size() < size)
            duplicateSections += connection + "Id=1`2`3\n";
        QTest::newRow("deep duplicate sections") << duplicateSections << "^loaded 3$";
        QTest::newRow("blank lines") << QByteArray(size, '\n') + connection + "Id=4\n"
                                     << "^loaded 1$";
        QTest::newRow("largest table") << ManyConnections(10000) << "^loaded 10000$";
    }

    void hostileFilesLoadWithinLittleMemory() {
        QFETCH(QByteArray, text);
        QFETCH(QString, outcome);
        FileBytes::Write(path_, text);
        int report[2];
        QCOMPARE(pipe(report), 0);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            close(report[0]);
            QFile statm(QStringLiteral("/proc/self/statm"));
            if (!statm.open(QIODevice::ReadOnly))
                _exit(2);
            const rlim_t used = statm.readAll().split(' ').first().toULongLong() * getpagesize();
            constexpr rlim_t allowance = 16 << 20;
            const rlim_t limit = used + allowance + 12 * rlim_t(text.size());
            const rlimit bound{limit, limit};
            if (setrlimit(RLIMIT_AS, &bound) != 0)
                _exit(2);
            QByteArray result;
            try {
                SettingsConfiguration configuration(path_);
                const QString error = LoadError(configuration);
                result =
                    error.isEmpty()
                        ? "loaded " + QByteArray::number(configuration.dm.Connection.RecordCount())
                        : "error " + error.toUtf8();
            } catch (const std::bad_alloc&) {
                result = "out of memory";
            }
            const bool written =
                write(report[1], result.constData(), result.size()) == result.size();
            _exit(written ? 0 : 2);
        }
        close(report[1]);
        QByteArray result;
        char buffer[65536];
        for (ssize_t got; (got = read(report[0], buffer, sizeof buffer)) > 0;)
            result.append(buffer, got);
        close(report[0]);
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                 qPrintable(QStringLiteral("status %1").arg(status)));
        const QString reported = QString::fromUtf8(result);
        QVERIFY2(QRegularExpression(outcome).match(reported).hasMatch(),
                 qPrintable(reported.left(200)));
    }

    void hostileFilesLoadOrFailCleanly_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("connectionRows"); // -1: any outcome but a crash
        for (int seed = 1; seed <= 6; ++seed) {
            QRandomGenerator random(seed);
            QByteArray text;
            for (const char* section : {"Connection_Types", "Source", "Receiver", "Connection"}) {
                text += QByteArray("[") + section + "]\n";
                // Mostly the characters the format gives a meaning to.
                const QByteArray meaningful = "=`\n\r[]; 0123456789.:Id";
                for (int i = 0; i < 4000; ++i) {
                    text += random.bounded(2) == 0
                                ? meaningful[random.bounded(int(meaningful.size()))]
                                : char(random.bounded(256));
                }
                text += '\n';
            }
            QTest::addRow("garbage %d", seed) << text << -1;
        }
        QTest::newRow("line of 10 MB")
            << "[Connection]\nId=1\nName_Connection=" + QByteArray(10 << 20, 'x') + "\n"
            << 1;
        QTest::newRow("10000 rows") << ManyConnections(10000) << 10000;
    }

    void hostileFilesLoadOrFailCleanly() {
        QFETCH(QByteArray, text);
        QFETCH(int, connectionRows);
        FileBytes::Write(path_, text);
        SettingsConfiguration configuration(path_);
        const QString error = LoadError(configuration);
        if (connectionRows >= 0) {
            QCOMPARE(error, QString());
            QCOMPARE(configuration.dm.Connection.RecordCount(), connectionRows);
            QVERIFY(configuration.dm.Connection.FieldByName(Fields::Connection::Name_Connection)
                        .AsString()
                        .size() <= 200);
            return;
        }
        static const QRegularExpression partErrors(
            "^('.*' is not a valid (integer value|date and time|time)|"
            "(Connection_Types|Source|Receiver|Connection): Field '.*' not found|"
            "(Connection_Types|Source|Receiver|Connection): the section holds \\d+ rows, more "
            "than the 10000 a table can hold|"
            "Unable to read from .*: it is not text in UTF-8, Windows-1251 or UTF-16 with a "
            "byte-order mark; it was left unchanged)$",
            QRegularExpression::DotMatchesEverythingOption);
        if (!error.isEmpty())
            QVERIFY2(partErrors.match(error).hasMatch(), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "SettingsFileTest.moc"

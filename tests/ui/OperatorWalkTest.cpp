#include "core/TDm.h"
#include "core/TableFields.h"
#include "engine/ConnectionControl.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"
#include "service/TSynchronization_Service.h"
#include "support/DatabaseFixtures.h"
#include "support/EngineFixture.h"
#include "support/InfobaseFixture.h"
#include "support/RecordingWindowLink.h"
#include "support/ScriptedPrompts.h"
#include "ui/SettingsDialog.h"
#include "ui/TMain.h"
#include "ui/widgets/DbEdit.h"
#include "ui/widgets/DbGrid.h"
#include "ui/widgets/DbLookupComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr std::int64_t kPeriodMs = 5 * 60000;
const QDateTime kStart(QDate(2026, 3, 2), QTime(10, 0)); // a Monday inside the working hours

enum Tab { StartTab, ReceiverTab, SourceTab, ConnectionTab };

// The fields an operator's configuration consists of, per table, in the order compared.
const QStringList kReceiverFields = {Fields::Receiver::Id,
                                     Fields::Receiver::Name_Receiver,
                                     Fields::Receiver::Connection_String,
                                     Fields::Receiver::Id_Connection_Types,
                                     Fields::Receiver::Key_Field,
                                     Fields::Receiver::Name_Table,
                                     Fields::Receiver::Name_Updated_Field};
const QStringList kSourceFields = {Fields::Source::Id,
                                   Fields::Source::Name_Source,
                                   Fields::Source::Connection_String,
                                   Fields::Source::Id_Connection_Types,
                                   Fields::Source::SQL_Query,
                                   Fields::Source::Name_Docking_Field,
                                   Fields::Source::Name_Updated_Field,
                                   Fields::Source::CustomParameter};
const QStringList kConnectionFields = {
    Fields::Connection::Id,          Fields::Connection::Name_Connection,
    Fields::Connection::Id_Receiver, Fields::Connection::Name_Receiver,
    Fields::Connection::Id_Source,   Fields::Connection::Name_Source,
    Fields::Connection::Time_Update, Fields::Connection::Monday,
    Fields::Connection::Tuesday,     Fields::Connection::Wednesday,
    Fields::Connection::Thursday,    Fields::Connection::Friday,
    Fields::Connection::Saturday,    Fields::Connection::Sunday,
    Fields::Connection::TimeStart,   Fields::Connection::TimeEnd,
    Fields::Connection::Update_Time, Fields::Connection::Status};

using Rows = QList<QStringList>;

Rows Snapshot(RecordSet& table, const QStringList& fields) {
    Rows rows;
    for (int row = 0; row < table.RecordCount(); ++row) {
        QStringList values;
        for (const QString& field : fields)
            values.append(table.ValueAt(row, table.FieldIndex(field)).toString());
        rows.append(values);
    }
    return rows;
}

// What Firebird itself says when the database file cannot be opened.
QString ProviderText(const QString& dbName) {
    const QString name = QStringLiteral("OperatorWalkTest-probe");
    QString text;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), name);
        database.setDatabaseName(dbName);
        database.setUserName(QStringLiteral("SYSDBA"));
        database.setPassword(DatabaseFixtures::SysdbaPassword());
        if (!database.open())
            text = database.lastError().databaseText().trimmed();
    }
    QSqlDatabase::removeDatabase(name);
    return text;
}

QString FirebirdString(const QString& path) {
    return QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;UID=SYSDBA;PWD=%2")
        .arg(path, DatabaseFixtures::SysdbaPassword());
}

} // namespace

// One operator's way through the main window, from an empty configuration to a restart:
// receivers, sources and connections made through the widgets, their tests, a connection
// run on a real Firebird receiver from a real SQLite source, and the exit. The steps build
// on each other and run in order.
class OperatorWalkTest : public QObject {
    Q_OBJECT

private:
    template <typename Control> Control* Find(const QString& name) const {
        auto* control = window_->findChild<Control*>(name);
        if (control == nullptr)
            qWarning("no control %s", qPrintable(name));
        return control;
    }
    void Click(const QString& buttonName) const {
        QTest::mouseClick(Find<QAbstractButton>(buttonName), Qt::LeftButton);
    }
    // A connection test runs off the main thread; its end takes the busy cursor away.
    void RunTest(const QString& buttonName) const {
        Click(buttonName);
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::overrideCursor() == nullptr, 30000);
    }
    void ShowTab(Tab tab) const {
        QTabBar* bar = window_->pcMain()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    }
    // Replaces the editor's text as typed, key by key: QTest's keyClicks takes Latin-1 only.
    void Retype(const QString& editorName, const QString& text) const {
        auto* editor = Find<QWidget>(editorName);
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        for (const QChar ch : text) {
            QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QString(ch), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, editor, Qt::Key_unknown, QString(ch),
                                Qt::NoModifier);
        }
    }
    // Types the first letters of an entry into the box, which opens its list and finds the
    // entry there, and takes it with Enter.
    void Choose(const QString& boxName, const QString& typed, const QString& entry) const {
        auto* box = Find<DbLookupComboBox>(boxName);
        box->setFocus();
        // A pause as long as a search by typing lasts, so earlier keys do not add to it.
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        for (const QChar ch : typed)
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        QVERIFY(box->ListVisible());
        QTest::keyClick(box->view(), Qt::Key_Return);
        QTRY_VERIFY(!box->ListVisible());
        QCoreApplication::processEvents();
        QCOMPARE(box->currentText(), entry);
        BackToWindow();
    }
    // A list or dialog that closed took the activation with it; offscreen, no window manager
    // gives it back to the main window.
    void BackToWindow() const {
        window_->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), window_.get());
    }
    DbGrid* Grid(const QString& name) const { return Find<DbGrid>(name); }
    // Clicks the grid's row of the table row with this Id.
    void ClickRow(const QString& gridName, RecordSet& table, int id) const {
        DbGrid* grid = Grid(gridName);
        const int idIndex = table.FieldIndex(Fields::Shared::Id);
        int row = 0;
        while (row < table.RecordCount() && table.ValueAt(row, idIndex).toInt() != id)
            ++row;
        QVERIFY(row < table.RecordCount());
        grid->scrollTo(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(row, 0)).center());
        QCOMPARE(table.FieldByName(Fields::Shared::Id).AsInteger(), id);
    }
    // What the connection grid on "Запуск" shows in one column of the current row.
    QString ShownOnStartTab(int column) const {
        DbGrid* grid = Grid(QStringLiteral("dbgConnection"));
        return grid->model()
            ->data(grid->model()->index(dm_->Connection.RecNo(), column))
            .toString();
    }
    QString Settings() const {
        QFile file(folder_.filePath(QStringLiteral("Corvane.ini")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    ProfileFile SettingsProfile() const {
        return ProfileFile(folder_.filePath(QStringLiteral("Corvane.ini")));
    }
    // The kind of the one message the last action showed.
    DialogKind ShownKind() const { return prompts_.Messages().value(0).Kind; }
    QMap<int, double> ReceiverQuantities() const {
        QMap<int, double> quantities;
        for (const QVariantList& row : DatabaseFixtures::Select(
                 receiverString_, QStringLiteral("select Partno, Quantity from Stock_Balance")))
            quantities.insert(row.at(0).toInt(), row.at(1).toDouble());
        return quantities;
    }
    ServiceEnvironment Environment(WindowLink* window) {
        ServiceEnvironment environment;
        environment.ProgramFolder = folder_.path();
        environment.TimeSource = clock_;
        environment.HandOver = std::make_shared<MainThreadHandOver>();
        environment.OperatorPrompts = &prompts_;
        environment.Window = window;
        return environment;
    }

    DatabaseFixtures databases_;
    InfobaseFixture infobase_;
    QTemporaryDir folder_;
    QString receiverPath_;
    QString receiverString_;
    QString sourceString_;
    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>(kStart);
    ScriptedPrompts prompts_;
    std::unique_ptr<TDm> dm_;
    std::unique_ptr<TMain> window_;
    // The configuration as the window held it when the operator quit.
    Rows receivers_;
    Rows sources_;
    Rows connections_;

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void addReceiverSourcesAndConnections();
    void testButtonsReachBothEnds_data();
    void testButtonsReachBothEnds();
    void brokenReceiverFailsItsTests();
    void startRunsTheCycleAndStopAsks();
    void quitAsksAndTheSettingsLoadAgain();
};

void OperatorWalkTest::initTestCase() {
    RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    // The receiver's name gives it the default table and fields of the stock database.
    receiverString_ = databases_.CreateFirebirdEmbedded(QStringLiteral("Pendrel"));
    receiverPath_ = QDir(databases_.Folder()).filePath(QStringLiteral("Pendrel.fdb"));
    QCOMPARE(receiverString_, FirebirdString(receiverPath_));
    QVERIFY(!DatabaseFixtures::SysdbaPassword().isEmpty());
    DatabaseFixtures::CreateReceiverSchema(receiverString_);
    DatabaseFixtures::SeedReceiver(
        receiverString_, {{1, 1001, 5.0}, {2, 1002, 2.0}, {3, 1003, 7.0}, {4, 1004, 3.0}});
    sourceString_ = databases_.CreateSqlite(QStringLiteral("Учёт"));
    DatabaseFixtures::Run(
        sourceString_,
        {QStringLiteral("create table Stock (Code integer, Qty real)"),
         QStringLiteral("insert into Stock values (1001, 12.5), (1002, 0), (1003, 7), (9999, 1)")});

    QVERIFY(QFile::copy(infobase_.RegistrationFile(), folder_.filePath("Automation.ini")));
    QFile settings(folder_.filePath(QStringLiteral("Corvane.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(
        QStringLiteral("[Connection_Types]\nId=1`2\nName=База данных`1С:Предприятие 7.7\n")
            .toUtf8());
    settings.close();

    dm_ = std::make_unique<TDm>();
    window_ = std::make_unique<TMain>(*dm_, Environment(nullptr));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QCOMPARE(window_->pcMain()->currentIndex(), int(StartTab));
}

void OperatorWalkTest::cleanupTestCase() {
    window_.reset();
    dm_.reset();
}

void OperatorWalkTest::init() {
    QVERIFY(window_);
    prompts_.Clear();
}

// Receiver, SQL source, 1C source and two connections, as the operator types and picks them.
void OperatorWalkTest::addReceiverSourcesAndConnections() {
    ShowTab(ReceiverTab);
    Click("BitBut_Receiver_Insert");
    Retype("dbedtReceiver_Name_Receiver", "Склад");
    Retype("dbedtReceiver_Connection_String", receiverString_);
    Choose("dbloReceiver_Name_Connection_Types", "Б", "База данных");
    Click("BitBut_Receiver_Post");
    QVERIFY(!dm_->Receiver.IsEditing());

    const QString password = DatabaseFixtures::SysdbaPassword();
    const QString shown = Find<DbEdit>("dbedtReceiver_Connection_String")->text();
    QCOMPARE(shown,
             QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;UID=SYSDBA;PWD=%2")
                 .arg(receiverPath_, QString(password.size(), u'*')));
    const ProfileFile file = SettingsProfile();
    QCOMPARE(file.ReadString("Receiver", Fields::Receiver::Name_Receiver), QStringLiteral("Склад"));
    QCOMPARE(file.ReadString("Receiver", Fields::Receiver::Id_Connection_Types),
             QStringLiteral("1"));
    QCOMPARE(file.ReadString("Receiver", Fields::Receiver::Name_Table),
             QStringLiteral("Stock_Balance"));
    const QString stored = file.ReadString("Receiver", Fields::Receiver::Connection_String);
    const QString storedPassword = stored.section(QStringLiteral("PWD="), 1).section(u';', 0, 0);
    QVERIFY2(
        stored.startsWith(
            QStringLiteral("Driver=Firebird/InterBase(r) driver;DBNAME=%1;").arg(receiverPath_)),
        qPrintable(stored));
    QVERIFY2(!storedPassword.isEmpty() && storedPassword != password &&
                 storedPassword != QString(password.size(), u'*'),
             qPrintable(stored));
    QVERIFY(!Settings().contains(password));

    ShowTab(SourceTab);
    Click("BitBut_Source_Insert");
    Retype("dbedtSource_Name_Source", "Учёт");
    Retype("dbedtSource_Connection_String", sourceString_);
    Choose("dbloSource_Name_Connection_Types", "Б", "База данных");
    window_->SetSettingsDialogRunner([this](SettingsDialog& dialog) {
        dialog.show();
        const auto type = [&dialog](const char* name, const QString& text) {
            auto* editor = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
            QTest::keyClicks(editor, text);
        };
        type("dbedtSQL_Query", QStringLiteral("select Code, Qty from Stock"));
        type("dbedtName_Docking_Field", QStringLiteral("Code"));
        type("dbedtName_Updated_Field", QStringLiteral("Qty"));
        dialog.OkButton()->click();
        return dialog.result();
    });
    Click("SpeedButton2");
    BackToWindow();
    Click("BitBut_Source_Post");
    QVERIFY(!dm_->Source.IsEditing());
    QCOMPARE(SettingsProfile().ReadString("Source", Fields::Source::SQL_Query),
             QStringLiteral("select Code, Qty from Stock"));
    QCOMPARE(SettingsProfile().ReadString("Source", Fields::Source::Name_Docking_Field),
             QStringLiteral("Code"));
    QCOMPARE(SettingsProfile().ReadString("Source", Fields::Source::Name_Updated_Field),
             QStringLiteral("Qty"));

    Click("BitBut_Source_Insert");
    Retype("dbedtSource_Name_Source", "База 1С");
    Retype("dbedtSource_Connection_String", infobase_.CommandLine());
    Choose("dbloSource_Name_Connection_Types", "1С", "1С:Предприятие 7.7");
    Click("BitBut_Source_Post");
    QVERIFY(!dm_->Source.IsEditing());
    QCOMPARE(Find<DbEdit>("dbedtSource_Connection_String")->text(),
             QStringLiteral("/D\"%1\" /N%2 /P%3")
                 .arg(infobase_.Folder(), InfobaseFixture::UserName(),
                      QString(InfobaseFixture::Password().size(), u'*')));
    QVERIFY(!Settings().contains(InfobaseFixture::Password()));

    ShowTab(ConnectionTab);
    const std::pair<const char*, const char*> connections[] = {{"Склад из учёта", "Учёт"},
                                                               {"Склад из 1С", "База 1С"}};
    for (const auto& [name, source] : connections) {
        Click("BitBut_Connection_Insert");
        Retype("dbedtConnection_Name_Connection", QString::fromUtf8(name));
        Choose("dbloConnection_Name_Receiver", "Ск", "Склад");
        Choose("dbloConnection_Name_Source", QString::fromUtf8(source), QString::fromUtf8(source));
        Retype("dbnuConnection_Time_Update", "5");
        Click("BitBut_Connection_Post");
        QVERIFY(!dm_->Connection.IsEditing());
    }
    QCOMPARE(SettingsProfile().ReadString("Connection", Fields::Connection::Name_Connection),
             QStringLiteral("Склад из учёта`Склад из 1С"));
    QCOMPARE(SettingsProfile().ReadString("Connection", Fields::Connection::Id_Receiver),
             QStringLiteral("1`1"));
    QCOMPARE(SettingsProfile().ReadString("Connection", Fields::Connection::Id_Source),
             QStringLiteral("1`2"));
    QCOMPARE(SettingsProfile().ReadString("Connection", Fields::Connection::Time_Update),
             QStringLiteral("5`5"));
    QCOMPARE(prompts_.Texts(), QStringList());
}

void OperatorWalkTest::testButtonsReachBothEnds_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("button");
    QTest::newRow("receiver") << int(ReceiverTab) << "Receiver" << 1 << "dbgReceiver"
                              << "BitBut_Receiver_Connection_Test";
    QTest::newRow("SQL source") << int(SourceTab) << "Source" << 1 << "dbgSource"
                                << "BitBut_Source_Connection_Test";
    QTest::newRow("1C source") << int(SourceTab) << "Source" << 2 << "dbgSource"
                               << "BitBut_Source_Connection_Test";
    QTest::newRow("SQL connection")
        << int(ConnectionTab) << "Connection" << 1 << "dbgParam_Connection"
        << "BitBut_Connection_Connection_Test";
    QTest::newRow("1C connection")
        << int(ConnectionTab) << "Connection" << 2 << "dbgParam_Connection"
        << "BitBut_Connection_Connection_Test";
}

void OperatorWalkTest::testButtonsReachBothEnds() {
    QFETCH(int, tab);
    QFETCH(QString, table);
    QFETCH(int, id);
    QFETCH(QString, grid);
    QFETCH(QString, button);
    ShowTab(Tab(tab));
    ClickRow(grid, *dm_->TableByName(table), id);
    RunTest(button);
    QCOMPARE(prompts_.Texts(), QStringList{"Подключение прошло"});
    QCOMPARE(ShownKind(), DialogKind::Information);
    QCOMPARE(QApplication::focusWidget(), Grid(grid));
}

// A receiver pointed at a file that is not there fails alone and in its connection, and
// works again once mended.
void OperatorWalkTest::brokenReceiverFailsItsTests() {
    const QString missing = QDir(databases_.Folder()).filePath(QStringLiteral("gone/Pendrel.fdb"));
    ShowTab(ReceiverTab);
    ClickRow("dbgReceiver", dm_->Receiver, 1);
    Retype("dbedtReceiver_Connection_String", FirebirdString(missing));
    Click("BitBut_Receiver_Post");
    RunTest("BitBut_Receiver_Connection_Test");
    const QString providerText = ProviderText(missing);
    QVERIFY(providerText.contains(missing));
    QCOMPARE(prompts_.Texts(), QStringList{"Подключение не прошло\r\r" + providerText});
    QCOMPARE(ShownKind(), DialogKind::Error);

    prompts_.Clear();
    ShowTab(ConnectionTab);
    ClickRow("dbgParam_Connection", dm_->Connection, 1);
    RunTest("BitBut_Connection_Connection_Test");
    QCOMPARE(prompts_.Texts(),
             QStringList{"Подключение не прошло в связи со следующей причиной:\r\r"
                         "1) Приемник не смог установить соединение с базой данных."});
    QCOMPARE(ShownKind(), DialogKind::Error);

    prompts_.Clear();
    ShowTab(ReceiverTab);
    Retype("dbedtReceiver_Connection_String", receiverString_);
    Click("BitBut_Receiver_Post");
    RunTest("BitBut_Receiver_Connection_Test");
    ShowTab(ConnectionTab);
    RunTest("BitBut_Connection_Connection_Test");
    QCOMPARE(prompts_.Texts(), (QStringList{"Подключение прошло", "Подключение прошло"}));
}

// The SQL connection runs its first cycle at once and the next one after its period.
void OperatorWalkTest::startRunsTheCycleAndStopAsks() {
    ShowTab(StartTab);
    ClickRow("dbgConnection", dm_->Connection, 1);
    QCOMPARE(ReceiverQuantities(), (QMap<int, double>{{1, 5.0}, {2, 2.0}, {3, 7.0}, {4, 3.0}}));
    Click("BitButPlay");
    QCOMPARE(ShownOnStartTab(1), QStringLiteral("Обновляется"));
    QCOMPARE(QApplication::focusWidget(), Grid("dbgConnection"));
    // The receiver it runs on is locked: the operator sees it on its tab.
    ShowTab(ReceiverTab);
    QVERIFY(window_->ReceiverLocked());
    QVERIFY(Find<DbEdit>("dbedtReceiver_Connection_String")->isReadOnly());
    QVERIFY(!Find<QWidget>("BitBut_Receiver_Connection_Test")->isEnabled());
    ShowTab(StartTab);
    QCOMPARE(dm_->Connection.FieldByName(Fields::Connection::Id).AsInteger(), 1);

    QVERIFY(EngineFixture::WaitUntil(
        [this] { return !ShownOnStartTab(2).isEmpty() && clock_->Sleepers() == 1; }));
    QCOMPARE(ShownOnStartTab(2), QStringLiteral("02.03.2026 10:00:00"));
    QCOMPARE(ShownOnStartTab(1), QStringLiteral("Обновляется"));
    QCOMPARE(ReceiverQuantities(), (QMap<int, double>{{1, 12.5}, {2, 0.0}, {3, 7.0}, {4, 3.0}}));

    DatabaseFixtures::Run(sourceString_,
                          {QStringLiteral("update Stock set Qty = 8 where Code = 1003"),
                           QStringLiteral("insert into Stock values (1004, 6)")});
    QCOMPARE(clock_->AdvanceToNextWake(), kPeriodMs);
    QVERIFY(EngineFixture::WaitUntil([this] {
        return ShownOnStartTab(2) == QStringLiteral("02.03.2026 10:05:00") &&
               clock_->Sleepers() == 1;
    }));
    QCOMPARE(ReceiverQuantities(), (QMap<int, double>{{1, 12.5}, {2, 0.0}, {3, 8.0}, {4, 6.0}}));
    QCOMPARE(prompts_.Texts(), QStringList());

    prompts_.Answer(DialogButton::Yes);
    Click("BitButStop");
    QCOMPARE(prompts_.Texts(), QStringList{"Вы подтверждаете остановку данного соединения?"});
    QVERIFY(prompts_.Messages().first().SystemBox);
    QCOMPARE(prompts_.Messages().first().Buttons,
             (DialogButtons{DialogButton::Yes, DialogButton::No}));
    QCOMPARE(ShownOnStartTab(1), QStringLiteral("Не обновляется"));
    QVERIFY(window_->Service().Connections().RunningConnections().empty());
    ShowTab(ReceiverTab);
    QVERIFY(!window_->ReceiverLocked());
    QVERIFY(!Find<DbEdit>("dbedtReceiver_Connection_String")->isReadOnly());
    QVERIFY(Find<QWidget>("BitBut_Receiver_Connection_Test")->isEnabled());
}

// No keeps the window, Yes closes it; the next start finds the same configuration.
void OperatorWalkTest::quitAsksAndTheSettingsLoadAgain() {
    prompts_.Answer(DialogButton::No);
    window_->close();
    QCOMPARE(prompts_.Texts(), QStringList{"Вы действительно хотите выйти из программы?"});
    QVERIFY(prompts_.Messages().first().SystemBox);
    QCOMPARE(prompts_.Messages().first().Buttons,
             (DialogButtons{DialogButton::Yes, DialogButton::No}));
    QVERIFY(window_->isVisible());

    QSignalSpy confirmed(window_.get(), &TMain::CloseConfirmed);
    prompts_.Answer(DialogButton::Yes);
    window_->close();
    QCOMPARE(prompts_.Messages().size(), 2);
    QCOMPARE(confirmed.size(), 1);
    QVERIFY(!window_->isVisible());

    receivers_ = Snapshot(dm_->Receiver, kReceiverFields);
    sources_ = Snapshot(dm_->Source, kSourceFields);
    connections_ = Snapshot(dm_->Connection, kConnectionFields);
    QCOMPARE(receivers_.size(), 1);
    QCOMPARE(sources_.size(), 2);
    QCOMPARE(connections_.size(), 2);
    window_.reset();
    dm_.reset();

    TDm dm;
    RecordingWindowLink link;
    const TSynchronization_Service service(dm, Environment(&link));
    QVERIFY(service.Loaded());
    QCOMPARE(Snapshot(dm.Receiver, kReceiverFields), receivers_);
    QCOMPARE(Snapshot(dm.Source, kSourceFields), sources_);
    QCOMPARE(Snapshot(dm.Connection, kConnectionFields), connections_);
    QCOMPARE(dm.Connection.Lookup(Fields::Connection::Id, {1}, Fields::Connection::Update_Time)
                 .value(0)
                 .toDateTime(),
             kStart.addMSecs(kPeriodMs));
    QCOMPARE(service.UnmaskConnectionString(1, "Receiver", u';', receivers_[0][2]),
             receiverString_ + u';');
    QCOMPARE(service.UnmaskConnectionString(2, "Source", u' ', sources_[1][2]),
             infobase_.CommandLine() + u' ');
    QCOMPARE(prompts_.Messages().size(), 2);
}

QTEST_MAIN(OperatorWalkTest)
#include "OperatorWalkTest.moc"

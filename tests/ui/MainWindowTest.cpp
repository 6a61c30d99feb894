#include "core/ConnectionStatus.h"
#include "core/PasswordCipher.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "engine/ConnectionControl.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"
#include "platform/ProfileFile.h"
#include "platform/RegionalSettings.h"
#include "service/TSynchronization_Service.h"
#include "support/DatabaseFixtures.h"
#include "support/ResponsivenessProbe.h"
#include "support/ScriptedPrompts.h"
#include "support/SilentServer.h"
#include "ui/SettingsDialog.h"
#include "ui/TMain.h"
#include "ui/TrayIcon.h"
#include "ui/widgets/DbCheckBox.h"
#include "ui/widgets/DbEdit.h"
#include "ui/widgets/DbGrid.h"
#include "ui/widgets/DbLookupComboBox.h"
#include "ui/widgets/DbNumberEdit.h"
#include "ui/widgets/DbTimeEdit.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

Q_DECLARE_METATYPE(DialogButton)

namespace {

// A program folder with its settings file, the data module and the main window shown on it.
class Workplace {
public:
    explicit Workplace(const QString& moreSettings = QString()) {
        QFile file(folder.filePath(QStringLiteral("Corvane.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write((QStringLiteral("[Connection_Types]\nId=1`2\n"
                                       "Name=База данных`1С:Предприятие 7.7\n") +
                        moreSettings)
                           .toUtf8());
        file.close();
        Open();
    }

    // The program ended and started again on the same folder.
    void Restart() {
        window.reset();
        Open();
    }

    template <typename Control> Control* Find(const QString& name) const {
        auto* control = window->findChild<Control*>(name);
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
    void Type(const QString& editorName, const QString& text) const {
        // Key by key: QTest's own keyClicks takes Latin-1 only.
        QWidget* editor = Find<QWidget>(editorName);
        for (const QChar ch : text) {
            QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QString(ch), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, editor, Qt::Key_unknown, QString(ch),
                                Qt::NoModifier);
        }
    }
    // Picks the first row of a lookup box's list from the keyboard.
    void PickFirst(const QString& boxName) const {
        QTest::keyClick(Find<QWidget>(boxName), Qt::Key_Down);
    }
    void ShowTab(int index) const { window->pcMain()->setCurrentIndex(index); }
    void ClickRow(const QString& gridName, int row) const {
        auto* grid = Find<DbGrid>(gridName);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(row, 0)).center());
    }
    // One wheel message; a negative delta turns the wheel towards the operator.
    static void Turn(QWidget* widget, int delta) {
        const QPointF at(widget->width() / 2, widget->height() / 2);
        QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget, &wheel);
    }
    QString Settings() const {
        QFile file(folder.filePath(QStringLiteral("Corvane.ini")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    ProfileFile SettingsProfile() const {
        return ProfileFile(folder.filePath(QStringLiteral("Corvane.ini")));
    }

    void AddReceiver(const QString& name, const QString& connectionString) {
        dm.Receiver.Append();
        dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString(name);
        dm.Receiver.FieldByName(Fields::Receiver::Connection_String).SetAsString(connectionString);
        dm.Receiver.FieldByName(Fields::Receiver::Id_Connection_Types).SetAsInteger(1);
        dm.Receiver.Post();
    }
    void AddSource(const QString& name) {
        dm.Source.Append();
        dm.Source.FieldByName(Fields::Source::Name_Source).SetAsString(name);
        dm.Source.FieldByName(Fields::Source::Connection_String)
            .SetAsString(QStringLiteral("Driver=SQLite3;Database=/nonexistent/source.db"));
        dm.Source.FieldByName(Fields::Source::Id_Connection_Types).SetAsInteger(1);
        dm.Source.FieldByName(Fields::Source::SQL_Query).SetAsString(QStringLiteral("select 1"));
        dm.Source.Post();
    }
    void AddConnection(const QString& name, int receiverId, int sourceId) {
        dm.Connection.Append();
        dm.Connection.FieldByName(Fields::Connection::Name_Connection).SetAsString(name);
        dm.Connection.FieldByName(Fields::Connection::Id_Receiver).SetAsInteger(receiverId);
        dm.Connection.FieldByName(Fields::Connection::Id_Source).SetAsInteger(sourceId);
        dm.Connection.Post();
    }
    // One receiver, one source and one connection joining them.
    void AddConfiguration() {
        AddReceiver(
            QStringLiteral("Склад"),
            QStringLiteral("Driver=Firebird/InterBase(r) driver;Dbname=/nonexistent/r.fdb"));
        AddSource(QStringLiteral("Учёт"));
        AddConnection(QStringLiteral("Склад из учёта"), 1, 1);
    }
    void SetStatus(ConnectionStatus status) {
        dm.Connection.Edit();
        dm.Connection.FieldByName(Fields::Connection::Status).SetAsInteger(status);
        dm.Connection.Post();
    }
    ConnectionStatus Status() {
        return ConnectionStatus(dm.Connection.FieldByName(Fields::Connection::Status).AsInteger());
    }

    QTemporaryDir folder;
    // A Monday inside the default working period of a new connection.
    std::shared_ptr<VirtualClock> clock =
        std::make_shared<VirtualClock>(QDateTime(QDate(2026, 3, 2), QTime(10, 0)));
    ScriptedPrompts prompts;
    QList<int> helpContexts;
    TDm dm;
    std::unique_ptr<TMain> window;

private:
    void Open() {
        ServiceEnvironment environment;
        environment.ProgramFolder = folder.path();
        environment.TimeSource = clock;
        environment.HandOver = std::make_shared<MainThreadHandOver>();
        environment.OperatorPrompts = &prompts;
        window = std::make_unique<TMain>(dm, environment);
        window->SetHelpHandler([this](int context) { helpContexts.append(context); });
        window->show();
        [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(window.get());
        // On an X display without a window manager nobody activates the window otherwise.
        window->activateWindow();
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(window.get());
    }
};

QString LabelOf(const QWidget* control);

// What the operator reads on or beside a control.
QString CaptionOf(const QWidget* control) {
    if (const auto* group = qobject_cast<const QGroupBox*>(control))
        return group->title();
    if (const auto* flat = qobject_cast<const QToolButton*>(control))
        return flat->toolTip();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return LabelOf(control);
}

QString LabelOf(const QWidget* control) {
    for (const QLabel* label : control->window()->findChildren<QLabel*>())
        if (label->buddy() == control)
            return label->text();
    return QString();
}

QColor BaseOf(const QWidget* control) {
    return control->palette().color(QPalette::Base);
}

// The caption the X server holds for a window, as a window manager reads it.
QString ShownCaption(const QWidget& window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("-notype"),
                 QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(10000))
        return QStringLiteral("xprop did not answer");
    const QString line = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const qsizetype open = line.indexOf(QLatin1Char('"'));
    return open < 0 ? line : line.mid(open + 1).chopped(1);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
    }

    void windowAndTabs() {
        Workplace place;
        QCOMPARE(place.window->windowTitle(), QStringLiteral("Сервис синхронизаций 1.1"));
        QVERIFY(place.dm.TaskScheduler.isActive());
        QCOMPARE(place.window->minimumSize(), place.window->maximumSize());
        QVERIFY(!(place.window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QTabWidget* tabs = place.window->pcMain();
        QCOMPARE(tabs->objectName(), QStringLiteral("pcMain"));
        const QStringList names = {"tsConnection", "tsReceiver", "tsSource", "tsParam_Connection"};
        const QStringList captions = {"Запуск", "Приемник", "Источник", "Настройка соединения"};
        QCOMPARE(tabs->count(), names.size());
        for (int tab = 0; tab < tabs->count(); ++tab) {
            QCOMPARE(tabs->widget(tab)->objectName(), names[tab]);
            QCOMPARE(tabs->tabText(tab), captions[tab]);
        }
        QCOMPARE(tabs->currentIndex(), 0);
        const QList<QLabel*> labels = place.window->findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(),
                            [](const QLabel* label) { return label->text() == "минут"; }));
        QCOMPARE(QApplication::focusWidget(), place.Find<QWidget>("dbgConnection"));
    }

    // A desktop shows every window's caption as the program sets it, with nothing added.
    void windowSystemShowsTheCaptionsAsSet() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("the captions a desktop shows are read from its X server");
        Workplace place;
        QDialog dialog(place.window.get());
        dialog.setWindowTitle(QStringLiteral("Дополнительные настройки источника"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (QWidget* window :
             {static_cast<QWidget*>(place.window.get()), static_cast<QWidget*>(&dialog)})
            QCOMPARE(ShownCaption(*window), window->windowTitle());
    }

    void settingsThatFailToLoadAreShownAndKept() {
        Workplace place(QStringLiteral("[Connection]\nId=1`x\n"));
        QCOMPARE(place.prompts.Texts(), QStringList{"'x' is not a valid integer value"});
        QCOMPARE(place.prompts.Messages().first().Kind, DialogKind::Error);
        QCOMPARE(place.prompts.Messages().first().Buttons, DialogButtons{DialogButton::Ok});
        QVERIFY(!place.window->Service().Loaded());
        const QString before = place.Settings();
        const QString path = place.folder.filePath("Corvane.ini");
        place.window.reset();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), before);
    }

    void controlCaptions_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const char* rows[][2] = {
            {"grbConnection", " Соединения  "},
            {"grbStart_or_Stop_Connection", " Запуск соединения  "},
            {"BitButPlay", "Запуск"},
            {"BitButStop", "Стоп"},
            {"grbReceiver", " Приемники  "},
            {"grbParameter_Receiver", " Параметры приемника  "},
            {"dbedtReceiver_Name_Receiver", "Название приемника"},
            {"dbedtReceiver_Connection_String", "Строка подключения"},
            {"dbloReceiver_Name_Connection_Types", "Тип подключения"},
            {"SpeedButton1", "Дополнительные настройки приемника"},
            {"BitBut_Receiver_Connection_Test", "Проверить подключение"},
            {"BitBut_Receiver_Insert", "Добавить приемник"},
            {"BitBut_Receiver_Delete", "Удалить приемник"},
            {"BitBut_Receiver_Post", "Сохранить"},
            {"BitBut_Receiver_Cancel", "Отменить"},
            {"grbSource", " Источники  "},
            {"grbParameter_Source", " Параметры источника  "},
            {"dbedtSource_Name_Source", "Название источника"},
            {"dbedtSource_Connection_String", "Строка подключения"},
            {"dbloSource_Name_Connection_Types", "Тип подключения"},
            {"SpeedButton2", "Дополнительные настройки источника"},
            {"BitBut_Source_Connection_Test", "Проверить подключение"},
            {"BitBut_Source_Insert", "Добавить источник"},
            {"BitBut_Source_Delete", "Удалить источник"},
            {"BitBut_Source_Post", "Сохранить"},
            {"BitBut_Source_Cancel", "Отменить"},
            {"grbParam_Connection", " Соединения  "},
            {"grbParameter_Connection", " Параметры соединения  "},
            {"dbedtConnection_Name_Connection", "Название соединения"},
            {"dbloConnection_Name_Receiver", "Название приемника"},
            {"dbloConnection_Name_Source", "Название источника"},
            {"grbParameter_Connection_UpdatePeriod", " Период обновления "},
            {"dbnuConnection_Time_Update", "Частота обновления"},
            {"dbchkMonday", "Пон."},
            {"dbchkTuesday", "Втр."},
            {"dbchkWednesday", "Ср."},
            {"dbchkThursday", "Чтв."},
            {"dbchkFriday", "Пт."},
            {"dbchkSaturday", "Сбт."},
            {"dbchkSunday", "Вскр."},
            {"dbdtTimeStart", "Выполнять с"},
            {"dbdtTimeEnd", "по"},
            {"BitBut_Connection_Connection_Test", "Проверить соединение"},
            {"BitBut_Connection_Insert", "Добавить соединение"},
            {"BitBut_Connection_Delete", "Удалить соединение"},
            {"BitBut_Connection_Post", "Сохранить"},
            {"BitBut_Connection_Cancel", "Отменить"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1]);
    }
    void controlCaptions() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        Workplace place;
        const auto* control = place.Find<QWidget>(name);
        QVERIFY(control);
        QCOMPARE(CaptionOf(control), caption);
        if (name == "dbchkMonday")
            QCOMPARE(LabelOf(control), QStringLiteral("Дни недели"));
        if (name.startsWith("BitButP") || name.startsWith("BitButS"))
            QVERIFY(control->font().bold());
    }

    void actionsAndMenus_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("item");
        const char* rows[][5] = {
            {"Play", "Запуск", "", "pmConnection", "N6"},
            {"Stop", "Стоп", "", "pmConnection", "N7"},
            {"Receiver_Insert", "Добавить приемник", "Insert", "pmReceiver", "N8"},
            {"Receiver_Delete", "Удалить приемник", "Delete", "pmReceiver", "N9"},
            {"Source_Insert", "Добавить источник", "Insert", "pmSource", "N10"},
            {"Source_Delete", "Удалить источник", "Delete", "pmSource", "N11"},
            {"Connection_Insert", "Добавить соединение", "Insert", "pmParam_Connection", "N12"},
            {"Connection_Delete", "Удалить соединение", "Delete", "pmParam_Connection", "N13"},
            {"Receiver_Post", "Сохранить", "Post", "", ""},
            {"Source_Post", "Сохранить", "Post", "", ""},
            {"Connection_Post", "Сохранить", "Post", "", ""},
            {"Receiver_Cancel", "Отменить", "Cancel", "", ""},
            {"Source_Cancel", "Отменить", "Cancel", "", ""},
            {"Connection_Cancel", "Отменить", "Cancel", "", ""},
            {"Help", "Help", "", "", ""},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1])
                                  << QString::fromUtf8(row[2]) << QString::fromUtf8(row[3])
                                  << QString::fromUtf8(row[4]);
    }
    void actionsAndMenus() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, hint);
        QFETCH(QString, menu);
        QFETCH(QString, item);
        Workplace place;
        const auto* action = place.Find<QAction>(name);
        QVERIFY(action);
        QCOMPARE(action->text(), caption);
        QCOMPARE(action->statusTip(), hint);
        QVERIFY(!action->icon().isNull());
        if (name == "Help")
            QCOMPARE(action->shortcut(), QKeySequence(Qt::Key_F1));
        if (menu.isEmpty())
            return;
        const auto* popup = place.Find<QMenu>(menu);
        QVERIFY(popup);
        const auto* menuItem = popup->findChild<QAction*>(item);
        QVERIFY(menuItem);
        QVERIFY(popup->actions().contains(menuItem));
        QCOMPARE(menuItem->text(), caption);
    }

    void everyButtonAndItemHasAnIcon() {
        Workplace place;
        QList<QAction*> actions = place.window->findChildren<QAction*>();
        actions += place.window->Tray().Menu().actions();
        QStringList bare;
        for (const QAction* action : std::as_const(actions)) {
            // A popup menu's own action stands for the menu, which is never shown as an item.
            const auto* menu = qobject_cast<const QMenu*>(action->parent());
            const bool standsForMenu = menu && menu->menuAction() == action;
            if (!action->isSeparator() && !standsForMenu && action->icon().isNull())
                bare.append(action->objectName());
        }
        for (const QPushButton* button : place.window->findChildren<QPushButton*>())
            if (button->icon().isNull())
                bare.append(button->objectName());
        QVERIFY2(bare.isEmpty(), qPrintable(bare.join(u',')));
    }

    void gridColumns_data() {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("popup");
        QTest::newRow("dbgConnection")
            << "dbgConnection"
            << QStringList{Fields::Connection::Name_Connection, Fields::Connection::CalStatus,
                           Fields::Connection::Update_Time}
            << QStringList{"Название соединения", "Статус", "Время последнего обновления"}
            << "pmConnection";
        QTest::newRow("dbgReceiver")
            << "dbgReceiver"
            << QStringList{Fields::Receiver::Name_Receiver, Fields::Receiver::Connection_String,
                           Fields::Receiver::Name_Connection_Types}
            << QStringList{"Название приемника", "Строка подключения", "Тип подключения"}
            << "pmReceiver";
        QTest::newRow("dbgSource")
            << "dbgSource"
            << QStringList{Fields::Source::Name_Source, Fields::Source::Connection_String,
                           Fields::Source::Name_Connection_Types}
            << QStringList{"Название источника", "Строка подключения", "Тип подключения"}
            << "pmSource";
        QTest::newRow("dbgParam_Connection")
            << "dbgParam_Connection"
            << QStringList{Fields::Connection::Name_Connection, Fields::Connection::Name_Receiver,
                           Fields::Connection::Name_Source}
            << QStringList{"Название соединения", "Название приемника", "Название источника"}
            << "pmParam_Connection";
    }
    void gridColumns() {
        QFETCH(QString, grid);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, titles);
        Workplace place;
        const auto* view = place.Find<DbGrid>(grid);
        QVERIFY(view);
        QCOMPARE(view->model()->columnCount(), fields.size());
        for (int column = 0; column < fields.size(); ++column) {
            QCOMPARE(view->FieldNameAt(column), fields[column]);
            QCOMPARE(
                view->model()->headerData(column, Qt::Horizontal).toString().replace(u'\n', u' '),
                titles[column]);
        }
        QCOMPARE(view->contextMenuPolicy(), Qt::CustomContextMenu);
    }

    void operatorAddsReceiverSourceAndConnection() {
        Workplace place;
        place.ShowTab(1);
        place.Click("BitBut_Receiver_Insert");
        place.Type("dbedtReceiver_Name_Receiver", "Склад");
        place.Type("dbedtReceiver_Connection_String",
                   "Driver=Firebird/InterBase(r) driver;Dbname=/data/Pendrel.fdb;PWD=secret");
        place.PickFirst("dbloReceiver_Name_Connection_Types");
        place.Click("BitBut_Receiver_Post");
        QVERIFY(!place.dm.Receiver.IsEditing());

        place.ShowTab(2);
        place.Click("BitBut_Source_Insert");
        place.Type("dbedtSource_Name_Source", "Учёт");
        place.Type("dbedtSource_Connection_String", "Driver=SQLite3;Database=/data/s.db;pwd=key2");
        place.PickFirst("dbloSource_Name_Connection_Types");
        place.Click("BitBut_Source_Post");
        QVERIFY(!place.dm.Source.IsEditing());

        place.ShowTab(3);
        place.Click("BitBut_Connection_Insert");
        place.Type("dbedtConnection_Name_Connection", "Склад из учёта");
        place.PickFirst("dbloConnection_Name_Receiver");
        place.PickFirst("dbloConnection_Name_Source");
        place.Click("BitBut_Connection_Post");
        QVERIFY(!place.dm.Connection.IsEditing());
        QCOMPARE(place.prompts.Texts(), QStringList());

        const ProfileFile file = place.SettingsProfile();
        QCOMPARE(file.ReadString("Receiver", Fields::Receiver::Name_Receiver),
                 QStringLiteral("Склад"));
        QCOMPARE(file.ReadString("Receiver", Fields::Receiver::Id_Connection_Types),
                 QStringLiteral("1"));
        QCOMPARE(file.ReadString("Receiver", Fields::Receiver::Key_Field),
                 QStringLiteral("Partno"));
        QCOMPARE(file.ReadString("Source", Fields::Source::Name_Source), QStringLiteral("Учёт"));
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Name_Connection),
                 QStringLiteral("Склад из учёта"));
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Id_Receiver),
                 QStringLiteral("1"));
        QCOMPARE(file.ReadString("Connection", Fields::Connection::Id_Source), QStringLiteral("1"));
        const QString receiverString =
            file.ReadString("Receiver", Fields::Receiver::Connection_String);
        QVERIFY2(receiverString.contains("Pendrel.fdb"), qPrintable(receiverString));
        QVERIFY2(!place.Settings().contains("secret"), qPrintable(place.Settings()));
        QVERIFY2(!place.Settings().contains("key2"), qPrintable(place.Settings()));

        place.ShowTab(1);
        const QString shown = place.Find<DbEdit>("dbedtReceiver_Connection_String")->text();
        QVERIFY2(!shown.contains("secret") && shown.contains("******"), qPrintable(shown));
        QCOMPARE(place.window->Service().UnmaskConnectionString(1, "Receiver", u';', shown),
                 QStringLiteral(
                     "Driver=Firebird/InterBase(r) driver;Dbname=/data/Pendrel.fdb;PWD=secret;"));
    }

    // ODBC's braces hold a ";" and a doubled "}"; the whole value is the password.
    void bracedPasswordStaysWholeFromTheEditorToTheDatabase() {
        const QString password = QStringLiteral("{se;cr}}et}");
        const QString login = DatabaseFixtures::CreatePostgreSqlLogin(
            QStringLiteral("corvane_braced_window"), QStringLiteral("se;cr}et"));
        const QString shown = login + QStringLiteral(";PWD=") + QString(password.size(), u'*');
        Workplace place;
        place.ShowTab(1);
        place.Click("BitBut_Receiver_Insert");
        place.Type("dbedtReceiver_Name_Receiver", "Склад");
        place.Type("dbedtReceiver_Connection_String", login + QStringLiteral(";PWD=") + password);
        place.PickFirst("dbloReceiver_Name_Connection_Types");
        place.Click("BitBut_Receiver_Post");
        QVERIFY(!place.dm.Receiver.IsEditing());
        QCOMPARE(place.Find<DbEdit>("dbedtReceiver_Connection_String")->text(), shown);
        const QAbstractItemModel* grid = place.Find<DbGrid>("dbgReceiver")->model();
        QStringList cells;
        for (int column = 0; column < grid->columnCount(); ++column)
            cells.append(grid->index(0, column).data().toString());
        QVERIFY2(cells.contains(shown), qPrintable(cells.join(u'|')));
        QCOMPARE(
            place.SettingsProfile().ReadString("Receiver", Fields::Receiver::Connection_String),
            login + QStringLiteral(";PWD=") + PasswordCipher().EncipherPassword(password));

        for (int run = 0; run < 2; ++run) {
            place.prompts.Clear();
            place.RunTest("BitBut_Receiver_Connection_Test");
            QCOMPARE(place.prompts.Texts(), QStringList{"Подключение прошло"});
            place.Restart();
            place.ShowTab(1);
            QCOMPARE(place.Find<DbEdit>("dbedtReceiver_Connection_String")->text(), shown);
        }
        QVERIFY2(!place.Settings().contains(QStringLiteral("cr}}et")),
                 qPrintable(place.Settings()));
    }

    void failedSaveAtTheEndIsShownInAnErrorBox() {
        Workplace place;
        place.AddConfiguration();
        const QString path = place.folder.filePath(QStringLiteral("Corvane.ini"));
        // A folder where the file was: nothing can be written there any more.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
        place.prompts.Clear();
        place.window.reset();
        QCOMPARE(place.prompts.Messages().size(), 1);
        QCOMPARE(place.prompts.Messages().first().Kind, DialogKind::Error);
        QVERIFY2(place.prompts.Messages().first().Text.startsWith(
                     QStringLiteral("Настройки не сохранены при завершении программы: ")),
                 qPrintable(place.prompts.Messages().first().Text));
    }

    void locksFollowTheConnectionStatus_data() {
        QTest::addColumn<ConnectionStatus>("status");
        QTest::addColumn<bool>("locked");
        QTest::newRow("NotUpdating") << NotUpdating << false;
        QTest::newRow("Updating") << Updating << true;
        QTest::newRow("UpdateError") << UpdateError << false;
        QTest::newRow("Stopping") << Stopping << true;
        QTest::newRow("ConnectError") << ConnectError << true;
        QTest::newRow("WaitingForPeriod") << WaitingForPeriod << true;
    }
    void locksFollowTheConnectionStatus() {
        QFETCH(ConnectionStatus, status);
        QFETCH(bool, locked);
        Workplace place;
        place.AddConfiguration();
        place.SetStatus(status);
        place.window->RefreshControls();

        const QColor expected =
            QApplication::palette().color(locked ? QPalette::Button : QPalette::Base);
        QCOMPARE(place.window->ReceiverLocked(), locked);
        QCOMPARE(place.window->SourceLocked(), locked);
        for (const char* name : {"dbedtReceiver_Name_Receiver", "dbedtReceiver_Connection_String",
                                 "dbedtSource_Name_Source", "dbedtSource_Connection_String",
                                 "dbedtConnection_Name_Connection"}) {
            QCOMPARE(place.Find<DbEdit>(name)->isReadOnly(), locked);
            QCOMPARE(BaseOf(place.Find<QWidget>(name)), expected);
        }
        for (const char* name :
             {"dbloReceiver_Name_Connection_Types", "dbloSource_Name_Connection_Types",
              "dbloConnection_Name_Receiver", "dbloConnection_Name_Source"}) {
            QCOMPARE(place.Find<DbLookupComboBox>(name)->DataLink().ReadOnly(), locked);
            QCOMPARE(BaseOf(place.Find<QWidget>(name)), expected);
        }
        for (const char* name : {"dbnuConnection_Time_Update", "dbdtTimeStart", "dbdtTimeEnd"}) {
            QCOMPARE(place.Find<QAbstractSpinBox>(name)->isReadOnly(), locked);
            QCOMPARE(BaseOf(place.Find<QWidget>(name)), expected);
        }
        for (const QString& day : Fields::Connection::WeekDays)
            QCOMPARE(place.Find<QWidget>("dbchk" + day)->isEnabled(), !locked);
        for (const char* name : {"BitBut_Receiver_Connection_Test", "BitBut_Receiver_Delete",
                                 "BitBut_Source_Connection_Test", "BitBut_Source_Delete",
                                 "BitBut_Connection_Connection_Test", "BitBut_Connection_Delete"})
            QCOMPARE(place.Find<QWidget>(name)->isEnabled(), !locked);
        for (const char* name : {"N9", "N11", "N13"})
            QCOMPARE(place.Find<QAction>(name)->isEnabled(), !locked);
        for (const char* name : {"N8", "N10", "N12", "BitBut_Receiver_Insert", "BitButPlay"})
            QVERIFY(place.Find<QObject>(name)->property("enabled").toBool());

        // Another connection's row on a receiver nobody runs is free.
        place.AddReceiver("Магазин", "Driver=Firebird/InterBase(r) driver;Dbname=/d/m.fdb");
        QVERIFY(place.dm.Receiver.Locate(Fields::Receiver::Id, {2}));
        QVERIFY(!place.window->ReceiverLocked());
        QVERIFY(place.Find<QWidget>("BitBut_Receiver_Delete")->isEnabled());
        QCOMPARE(place.dm.Connection.RecNo(), 0);
    }

    void lockedControlsLookLocked() {
        Workplace place;
        place.AddConfiguration();
        const std::pair<int, QStringList> tabs[] = {
            {1,
             {"dbedtReceiver_Name_Receiver", "dbedtReceiver_Connection_String",
              "dbloReceiver_Name_Connection_Types"}},
            {2,
             {"dbedtSource_Name_Source", "dbedtSource_Connection_String",
              "dbloSource_Name_Connection_Types"}},
            {3,
             {"dbedtConnection_Name_Connection", "dbloConnection_Name_Receiver",
              "dbloConnection_Name_Source", "dbnuConnection_Time_Update", "dbdtTimeStart",
              "dbdtTimeEnd"}}};
        const auto looks = [&place, &tabs] {
            QMap<QString, QImage> images;
            for (const auto& [tab, names] : tabs) {
                place.ShowTab(tab);
                for (const QString& name : names)
                    images.insert(name, place.Find<QWidget>(name)->grab().toImage());
            }
            return images;
        };
        const QMap<QString, QImage> free = looks();
        place.SetStatus(Updating);
        place.window->RefreshControls();
        const QMap<QString, QImage> locked = looks();
        for (auto image = free.cbegin(); image != free.cend(); ++image)
            QVERIFY2(image.value() != locked.value(image.key()), qPrintable(image.key()));
    }

    void emptyReceiverTableIsLocked() {
        Workplace place;
        place.window->RefreshControls();
        QVERIFY(place.window->ReceiverLocked());
        QVERIFY(place.Find<DbEdit>("dbedtReceiver_Name_Receiver")->isReadOnly());
        QCOMPARE(BaseOf(place.Find<QWidget>("dbedtReceiver_Name_Receiver")),
                 QApplication::palette().color(QPalette::Button));
        QVERIFY(!place.Find<QWidget>("BitBut_Receiver_Delete")->isEnabled());
        QVERIFY(!place.Find<QAction>("N9")->isEnabled());
        QVERIFY(!place.Find<QWidget>("BitBut_Receiver_Post")->isEnabled());
        QVERIFY(place.Find<QWidget>("BitBut_Receiver_Insert")->isEnabled());

        // A new row is never locked: no connection refers to its Id.
        place.Click("BitBut_Receiver_Insert");
        QVERIFY(!place.window->ReceiverLocked());
        QVERIFY(!place.Find<DbEdit>("dbedtReceiver_Name_Receiver")->isReadOnly());
        QVERIFY(place.Find<QWidget>("BitBut_Receiver_Post")->isEnabled());
        QVERIFY(place.Find<QWidget>("BitBut_Receiver_Cancel")->isEnabled());
    }

    void deleteAsksFirst_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("question");
        QTest::addColumn<DialogButton>("answer");
        const char* rows[][3] = {{"Receiver", "BitBut_Receiver_Delete", "Удалить приемник?"},
                                 {"Source", "BitBut_Source_Delete", "Удалить источник?"},
                                 {"Connection", "BitBut_Connection_Delete", "Удалить соединение?"}};
        for (const auto& row : rows) {
            for (const DialogButton answer : {DialogButton::Yes, DialogButton::No})
                QTest::addRow("%s %s", row[0], answer == DialogButton::Yes ? "Yes" : "No")
                    << row[0] << row[1] << QString::fromUtf8(row[2]) << answer;
        }
    }
    void deleteAsksFirst() {
        QFETCH(QString, table);
        QFETCH(QString, button);
        QFETCH(QString, question);
        QFETCH(DialogButton, answer);
        Workplace place;
        place.AddConfiguration();
        place.prompts.Answer(answer);
        place.Click(button);

        QCOMPARE(place.prompts.Messages().size(), 1);
        const ScriptedPrompts::Shown& shown = place.prompts.Messages().first();
        QCOMPARE(shown.Text, question);
        QVERIFY(!shown.SystemBox);
        QCOMPARE(shown.Kind, DialogKind::Confirmation);
        QCOMPARE(shown.Buttons, (DialogButtons{DialogButton::Yes, DialogButton::No}));
        const bool deleted = answer == DialogButton::Yes;
        QCOMPARE(place.dm.TableByName(table)->RecordCount(), deleted ? 0 : 1);
        QCOMPARE(place.SettingsProfile().ReadString(table, Fields::Shared::Id), deleted ? "" : "1");
        // Nothing else goes: the other tables keep their rows.
        QCOMPARE(place.dm.Receiver.RecordCount() + place.dm.Source.RecordCount() +
                     place.dm.Connection.RecordCount(),
                 deleted ? 2 : 3);
    }

    void pendrelDefaults_data() {
        QTest::addColumn<QString>("connectionString");
        QTest::addColumn<QString>("nameTable");
        QTest::addColumn<QStringList>("expected"); // Key_Field, Name_Table, Name_Updated_Field
        const QString driver = "Driver=Firebird/InterBase(r) driver;Dbname=";
        const QStringList filled = {"Partno", "Stock_Balance", "Quantity"};
        QTest::newRow("as named") << driver + "/data/Pendrel.fdb"
                                  << "" << filled;
        QTest::newRow("upper case") << driver + "C:\\BASES\\PENDREL.FDB"
                                    << "" << filled;
        QTest::newRow("lower case") << driver + "/data/pendrel.fdb"
                                    << "" << filled;
        QTest::newRow("other database") << driver + "/data/shop.fdb"
                                        << "" << QStringList{"", "", ""};
        QTest::newRow("one name set") << driver + "/data/Pendrel.fdb"
                                      << "Balance" << QStringList{"", "Balance", ""};
    }
    void pendrelDefaults() {
        QFETCH(QString, connectionString);
        QFETCH(QString, nameTable);
        QFETCH(QStringList, expected);
        Workplace place;
        place.ShowTab(1);
        place.Click("BitBut_Receiver_Insert");
        place.Type("dbedtReceiver_Connection_String", connectionString);
        place.dm.Receiver.FieldByName(Fields::Receiver::Name_Table).SetAsString(nameTable);
        place.Click("BitBut_Receiver_Post");
        QVERIFY(!place.dm.Receiver.IsEditing());
        QCOMPARE(
            (QStringList{
                place.dm.Receiver.FieldByName(Fields::Receiver::Key_Field).AsString(),
                place.dm.Receiver.FieldByName(Fields::Receiver::Name_Table).AsString(),
                place.dm.Receiver.FieldByName(Fields::Receiver::Name_Updated_Field).AsString()}),
            expected);
        QCOMPARE(place.SettingsProfile().ReadString("Receiver", Fields::Receiver::Key_Field),
                 expected[0]);
    }

    void periodZeroIsRefused() {
        Workplace place;
        place.ShowTab(3);
        place.Click("BitBut_Connection_Insert");
        place.Find<DbNumberEdit>("dbnuConnection_Time_Update")->setValue(0);
        // An empty time with unticked days would fail the second check too: it is not made.
        place.dm.Connection.FieldByName(Fields::Connection::TimeStart).Clear();
        place.Click("BitBut_Connection_Post");

        QCOMPARE(place.prompts.Messages().size(), 1);
        const ScriptedPrompts::Shown& shown = place.prompts.Messages().first();
        QCOMPARE(shown.Text,
                 QStringLiteral("Время обновления соединения не может быть меньше 1 минуты."));
        QCOMPARE(shown.Kind, DialogKind::Warning);
        QCOMPARE(shown.Buttons, DialogButtons{DialogButton::Yes});
        QCOMPARE(place.dm.Connection.State(), RecordSetState::Insert);
        QCOMPARE(place.dm.Connection.FieldByName(Fields::Connection::Time_Update).AsInteger(), 0);
        QCOMPARE(place.SettingsProfile().ReadString("Connection", Fields::Connection::Id),
                 QString());
    }

    void workingPeriodCheck_data() {
        QTest::addColumn<bool>("startSet");
        QTest::addColumn<bool>("endSet");
        QTest::addColumn<QString>("days"); // Monday first, 1 ticked
        QTest::addColumn<bool>("passes");
        QTest::newRow("both times, no day") << true << true << "0000000" << true;
        QTest::newRow("both times, weekdays") << true << true << "1111100" << true;
        QTest::newRow("no start, every day") << false << true << "1111111" << true;
        QTest::newRow("no end, Sunday unticked") << true << false << "1111110" << false;
        QTest::newRow("no times, every day") << false << false << "1111111" << true;
        QTest::newRow("no times, no day") << false << false << "0000000" << false;
    }
    void workingPeriodCheck() {
        QFETCH(bool, startSet);
        QFETCH(bool, endSet);
        QFETCH(QString, days);
        QFETCH(bool, passes);
        Workplace place;
        place.ShowTab(3);
        place.Click("BitBut_Connection_Insert");
        RecordSet& connection = place.dm.Connection;
        if (!startSet)
            connection.FieldByName(Fields::Connection::TimeStart).Clear();
        if (!endSet)
            connection.FieldByName(Fields::Connection::TimeEnd).Clear();
        for (int day = 0; day < Fields::Connection::WeekDays.size(); ++day) {
            auto* box = place.Find<DbCheckBox>("dbchk" + Fields::Connection::WeekDays[day]);
            if (box->isChecked() != (days[day] == u'1'))
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
            QCOMPARE(connection.FieldByName(Fields::Connection::WeekDays[day]).AsInteger(),
                     days[day] == u'1' ? 1 : 0);
        }
        QCOMPARE(place.Find<DbTimeEdit>("dbdtTimeStart")->text() == "  :  :  ", !startSet);
        place.Click("BitBut_Connection_Post");

        QCOMPARE(place.prompts.Texts(),
                 passes ? QStringList() : QStringList{"Не проставлен период работы соединения."});
        QCOMPARE(connection.IsEditing(), !passes);
        if (!passes) {
            QCOMPARE(place.prompts.Messages().first().Kind, DialogKind::Warning);
            QCOMPARE(place.prompts.Messages().first().Buttons, DialogButtons{DialogButton::Yes});
        }
    }

    void leavingTabWithPendingEdit_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<DialogButton>("answer");
        QTest::addColumn<bool>("periodZero");
        QTest::addColumn<bool>("tabChanges");
        QTest::addColumn<int>("rowsAfter");
        const std::tuple<int, const char*, const char*> tabs[] = {
            {1, "Receiver", "dbedtReceiver_Name_Receiver"},
            {2, "Source", "dbedtSource_Name_Source"},
            {3, "Connection", "dbedtConnection_Name_Connection"}};
        for (const auto& [tab, table, editor] : tabs) {
            QTest::addRow("%s Yes", table)
                << tab << editor << DialogButton::Yes << false << true << 1;
            QTest::addRow("%s No", table)
                << tab << editor << DialogButton::No << false << true << 0;
            QTest::addRow("%s Cancel", table)
                << tab << editor << DialogButton::Cancel << false << false << 1;
        }
        QTest::newRow("Connection Yes, period 0")
            << 3 << "dbedtConnection_Name_Connection" << DialogButton::Yes << true << false << 1;
    }
    void leavingTabWithPendingEdit() {
        QFETCH(int, tab);
        QFETCH(QString, editor);
        QFETCH(DialogButton, answer);
        QFETCH(bool, periodZero);
        QFETCH(bool, tabChanges);
        QFETCH(int, rowsAfter);
        Workplace place;
        place.ShowTab(tab);
        const QString table = QStringList{"", "Receiver", "Source", "Connection"}[tab];
        RecordSet& set = *place.dm.TableByName(table);
        set.Insert();
        if (table == "Receiver")
            set.FieldByName(Fields::Receiver::Connection_String)
                .SetAsString("Dbname=/data/Pendrel.fdb");
        place.Type(editor, "Новый");
        if (periodZero)
            place.Find<DbNumberEdit>("dbnuConnection_Time_Update")->setValue(0);
        place.prompts.Answer(answer);
        place.ShowTab(0);

        QVERIFY(!place.prompts.Messages().isEmpty());
        const ScriptedPrompts::Shown& question = place.prompts.Messages().first();
        QCOMPARE(question.Text, QStringLiteral("Вы подтверждаете сохранение измененных данных?"));
        QVERIFY(question.SystemBox);
        QCOMPARE(question.Buttons,
                 (DialogButtons{DialogButton::Yes, DialogButton::No, DialogButton::Cancel}));
        QCOMPARE(place.prompts.Messages().size(), periodZero ? 2 : 1);
        if (periodZero)
            QCOMPARE(place.prompts.Messages().last().Text,
                     QStringLiteral("Время обновления соединения не может быть меньше 1 минуты."));
        QCOMPARE(place.window->pcMain()->currentIndex(), tabChanges ? 0 : tab);
        QCOMPARE(set.RecordCount(), rowsAfter);
        QCOMPARE(set.IsEditing(), !tabChanges);
        if (!tabChanges)
            QCOMPARE(place.Find<DbEdit>(editor)->text(), QStringLiteral("Новый"));
        const bool stored = answer == DialogButton::Yes && !periodZero;
        QCOMPARE(place.SettingsProfile().ReadString(table, Fields::Shared::Id), stored ? "1" : "");
        if (table == "Receiver" && stored)
            QCOMPARE(place.dm.Receiver.FieldByName(Fields::Receiver::Key_Field).AsString(),
                     QString());
    }

    void enteringTabsMovesToFirstRow() {
        Workplace place;
        place.AddReceiver("Первый", "Dbname=/a.fdb");
        place.AddReceiver("Второй", "Dbname=/b.fdb");
        QCOMPARE(place.dm.Receiver.RecNo(), 1);
        place.ShowTab(1);
        QCOMPARE(place.dm.Receiver.RecNo(), 0);
    }

    void connectionLookupsShowRenamedRows() {
        Workplace place;
        place.AddConfiguration();
        place.ShowTab(1);
        place.dm.Receiver.Edit();
        place.dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString("Склад новый");
        place.dm.Receiver.Post();
        place.ShowTab(3);
        QCOMPARE(place.Find<DbLookupComboBox>("dbloConnection_Name_Receiver")->currentText(),
                 QStringLiteral("Склад новый"));
        QCOMPARE(place.dm.Connection.FieldByName(Fields::Connection::Id_Receiver).AsInteger(), 1);
        QCOMPARE(place.dm.Connection.FieldByName(Fields::Connection::Id_Source).AsInteger(), 1);
        QVERIFY(!place.dm.Connection.IsEditing());
    }

    void escapeCancelsPendingEditsThenAsksToQuit_data() {
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("Escape") << Qt::KeyboardModifiers(Qt::NoModifier);
        QTest::newRow("Shift+Escape") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    }
    void escapeCancelsPendingEditsThenAsksToQuit() {
        QFETCH(Qt::KeyboardModifiers, modifiers);
        Workplace place;
        place.AddConfiguration();
        place.dm.Receiver.Edit();
        place.dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString("Правка");
        place.dm.Connection.Edit();
        place.dm.Connection.FieldByName(Fields::Connection::Name_Connection).SetAsString("Правка");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape, modifiers);

        QVERIFY(!place.dm.Receiver.IsEditing());
        QVERIFY(!place.dm.Connection.IsEditing());
        QCOMPARE(place.dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).AsString(),
                 QStringLiteral("Склад"));
        QCOMPARE(place.prompts.Texts(), QStringList());
        QVERIFY(place.window->isVisible());

        place.prompts.Answer(DialogButton::No);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape, modifiers);
        QCOMPARE(place.prompts.Texts(), QStringList{"Вы действительно хотите выйти из программы?"});
        QVERIFY(place.prompts.Messages().first().SystemBox);
        QCOMPARE(place.prompts.Messages().first().Buttons,
                 (DialogButtons{DialogButton::Yes, DialogButton::No}));
        QVERIFY(place.window->isVisible());

        QSignalSpy confirmed(place.window.get(), &TMain::CloseConfirmed);
        place.prompts.Answer(DialogButton::Yes);
        QTest::keyClick(place.window.get(), Qt::Key_Escape, modifiers);
        QCOMPARE(confirmed.size(), 1);
        QVERIFY(!place.window->isVisible());
    }

    void escapeWithOpenListCancelsNothing() {
        Workplace place;
        place.AddConfiguration();
        place.ShowTab(1);
        place.dm.Receiver.Edit();
        place.dm.Receiver.FieldByName(Fields::Receiver::Name_Receiver).SetAsString("Правка");
        auto* box = place.Find<DbLookupComboBox>("dbloReceiver_Name_Connection_Types");
        box->showPopup();
        QVERIFY(box->ListVisible());
        QTest::keyClick(place.window.get(), Qt::Key_Escape);
        QVERIFY(place.dm.Receiver.IsEditing());
        QCOMPARE(place.prompts.Texts(), QStringList());
        box->hidePopup();
        QTRY_VERIFY(!box->ListVisible());
    }

    void wheelMovesOneRow_data() {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("tab");
        QTest::newRow("dbgConnection") << "dbgConnection"
                                       << "Connection" << 0;
        QTest::newRow("dbgReceiver") << "dbgReceiver"
                                     << "Receiver" << 1;
        QTest::newRow("dbgSource") << "dbgSource"
                                   << "Source" << 2;
        QTest::newRow("dbgParam_Connection") << "dbgParam_Connection"
                                             << "Connection" << 3;
    }
    void wheelMovesOneRow() {
        QFETCH(QString, grid);
        QFETCH(QString, table);
        QFETCH(int, tab);
        Workplace place;
        for (int row = 1; row <= 4; ++row) {
            place.AddReceiver(QString::number(row), "Dbname=/r.fdb");
            place.AddSource(QString::number(row));
            place.AddConnection(QString::number(row), row, row);
        }
        place.ShowTab(tab);
        RecordSet& set = *place.dm.TableByName(table);
        set.First();
        QWidget* viewport = place.Find<DbGrid>(grid)->viewport();
        const auto turn = [viewport](int delta) {
            const QPointF at(viewport->width() / 2, viewport->height() / 2);
            QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
        };
        turn(-960);
        QCOMPARE(set.RecNo(), 1);
        turn(-120);
        QCOMPARE(set.RecNo(), 2);
        turn(960);
        QCOMPARE(set.RecNo(), 1);
        turn(0);
        QCOMPARE(set.RecNo(), 2);
        QCOMPARE(place.Find<DbGrid>(grid)->currentIndex().row(), 2);
    }

    void receiverTypeListOffersDatabasesOnly() {
        Workplace place;
        place.ShowTab(1);
        place.Click("BitBut_Receiver_Insert");
        auto* box = place.Find<DbLookupComboBox>("dbloReceiver_Name_Connection_Types");
        box->showPopup();
        QVERIFY(box->ListVisible());
        QVERIFY(place.dm.Connection_Types.Filtered());
        QCOMPARE(place.dm.Connection_Types.RecordCount(), 1);
        QCOMPARE(box->count(), 1);
        QCOMPARE(box->itemText(0), QStringLiteral("База данных"));
        box->hidePopup();
        QTRY_VERIFY(!place.dm.Connection_Types.Filtered());
        QCOMPARE(place.dm.Connection_Types.RecordCount(), 2);

        place.ShowTab(2);
        place.prompts.Clear();
        place.Click("BitBut_Source_Insert");
        auto* sourceBox = place.Find<DbLookupComboBox>("dbloSource_Name_Connection_Types");
        sourceBox->showPopup();
        QVERIFY(!place.dm.Connection_Types.Filtered());
        QCOMPARE(sourceBox->count(), 2);
        sourceBox->hidePopup();
    }

    void receiverTypeLimitHoldsForEveryWayOfChoosing_data() {
        QTest::addColumn<QString>("way");
        for (const char* way : {"Down", "End", "PageDown", "wheel", "typing"})
            QTest::newRow(way) << way;
    }
    void receiverTypeLimitHoldsForEveryWayOfChoosing() {
        QFETCH(QString, way);
        Workplace place;
        place.AddReceiver("Склад", "Dbname=/r.fdb");
        place.ShowTab(1);
        auto* box = place.Find<DbLookupComboBox>("dbloReceiver_Name_Connection_Types");
        box->setFocus();
        if (way == "wheel") {
            Workplace::Turn(box, -120);
        } else if (way == "typing") {
            place.Type("dbloReceiver_Name_Connection_Types", "1");
            QVERIFY(box->ListVisible());
            QTest::keyClick(box->view(), Qt::Key_End);
            QTest::keyClick(box->view(), Qt::Key_Return);
            QTRY_VERIFY(!box->ListVisible());
        } else {
            const QMap<QString, Qt::Key> keys = {
                {"Down", Qt::Key_Down}, {"End", Qt::Key_End}, {"PageDown", Qt::Key_PageDown}};
            QTest::keyClick(box, keys.value(way));
        }
        if (place.dm.Receiver.IsEditing())
            place.Click("BitBut_Receiver_Post");

        QCOMPARE(place.dm.Receiver.FieldByName(Fields::Receiver::Id_Connection_Types).AsInteger(),
                 1);
        QCOMPARE(box->currentText(), QStringLiteral("База данных"));
        QCOMPARE(
            place.SettingsProfile().ReadString("Receiver", Fields::Receiver::Id_Connection_Types),
            "1");
        QCOMPARE(place.prompts.Texts(), QStringList());
    }

    void leavingAnEditedRowStoresItAsSaveDoes_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("grid");
        QTest::addColumn<bool>("byWheel");
        QTest::addColumn<QStringList>("messages");
        for (const bool byWheel : {false, true}) {
            const char* way = byWheel ? "wheel" : "click";
            QTest::addRow("connection, period 0, %s", way)
                << 3 << "dbgParam_Connection" << byWheel
                << QStringList{"Время обновления соединения не может быть меньше 1 минуты."};
            QTest::addRow("receiver of Pendrel.fdb, %s", way)
                << 1 << "dbgReceiver" << byWheel << QStringList();
        }
    }
    void leavingAnEditedRowStoresItAsSaveDoes() {
        QFETCH(int, tab);
        QFETCH(QString, grid);
        QFETCH(bool, byWheel);
        QFETCH(QStringList, messages);
        Workplace place;
        place.AddReceiver("Первый", "Dbname=/a.fdb");
        place.AddReceiver("Второй", "Dbname=/b.fdb");
        place.AddSource("Учёт");
        place.AddConnection("Первое", 1, 1);
        place.AddConnection("Второе", 2, 1);
        place.ShowTab(tab);
        const bool connection = tab == 3;
        RecordSet& set = connection ? place.dm.Connection : place.dm.Receiver;
        QCOMPARE(set.RecNo(), 0);
        if (connection) {
            place.Type("dbedtConnection_Name_Connection", "Правка");
            place.Find<DbNumberEdit>("dbnuConnection_Time_Update")->setValue(0);
        } else {
            place.Type("dbedtReceiver_Connection_String", ";Dbname=/data/Pendrel.fdb");
        }
        QVERIFY(set.IsEditing());
        if (byWheel)
            Workplace::Turn(place.Find<DbGrid>(grid)->viewport(), -120);
        else
            place.ClickRow(grid, 1);

        QCOMPARE(place.prompts.Texts(), messages);
        const bool stays = !messages.isEmpty();
        QCOMPARE(set.IsEditing(), stays);
        QCOMPARE(set.RecNo(), stays ? 0 : 1);
        QTRY_COMPARE(place.Find<DbGrid>(grid)->currentIndex().row(), stays ? 0 : 1);
        if (connection) {
            QCOMPARE(place.Find<DbEdit>("dbedtConnection_Name_Connection")->text(),
                     QStringLiteral("ПравкаПервое"));
            QCOMPARE(place.SettingsProfile().ReadString("Connection",
                                                        Fields::Connection::Name_Connection),
                     QStringLiteral("Первое`Второе"));
        } else {
            QCOMPARE(place.SettingsProfile().ReadString("Receiver", Fields::Receiver::Name_Table),
                     QStringLiteral("Stock_Balance`"));
            QCOMPARE(place.SettingsProfile().ReadString("Receiver", Fields::Receiver::Key_Field),
                     QStringLiteral("Partno`"));
        }
    }

    void endingWithAnEditedConnectionAsksFirst_data() {
        QTest::addColumn<int>("period");
        QTest::addColumn<DialogButton>("keep");
        QTest::addColumn<bool>("warned");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("stored");
        QTest::newRow("kept") << 5 << DialogButton::Yes << false << true << "ПравкаПервое";
        QTest::newRow("kept with period 0") << 0 << DialogButton::Yes << true << false << "Первое";
        QTest::newRow("dropped") << 5 << DialogButton::No << false << true << "Первое";
        QTest::newRow("cancelled") << 5 << DialogButton::Cancel << false << false << "Первое";
    }
    void endingWithAnEditedConnectionAsksFirst() {
        QFETCH(int, period);
        QFETCH(DialogButton, keep);
        QFETCH(bool, warned);
        QFETCH(bool, closes);
        QFETCH(QString, stored);
        Workplace place;
        place.AddReceiver("Первый", "Dbname=/a.fdb");
        place.AddSource("Учёт");
        place.AddConnection("Первое", 1, 1);
        place.ShowTab(3);
        place.Type("dbedtConnection_Name_Connection", "Правка");
        place.Find<DbNumberEdit>("dbnuConnection_Time_Update")->setValue(period);
        QVERIFY(place.dm.Connection.IsEditing());

        place.prompts.Answer(DialogButton::Yes);
        place.prompts.Answer(keep);
        place.window->close();

        QStringList messages{"Вы действительно хотите выйти из программы?",
                             "Вы подтверждаете сохранение измененных данных?"};
        if (warned)
            messages.append("Время обновления соединения не может быть меньше 1 минуты.");
        QCOMPARE(place.prompts.Texts(), messages);
        QCOMPARE(place.window->isVisible(), !closes);
        QCOMPARE(place.dm.Connection.IsEditing(), !closes);
        QCOMPARE(
            place.SettingsProfile().ReadString("Connection", Fields::Connection::Name_Connection),
            stored);
    }

    void failedSaveAfterAGridClickIsShown() {
        Workplace place;
        place.AddReceiver("Первый", "Dbname=/a.fdb");
        place.AddReceiver("Второй", "Dbname=/b.fdb");
        place.ShowTab(1);
        place.Type("dbedtReceiver_Name_Receiver", "Правка");
        // A settings file that can no longer be written makes the post fail.
        const QString path = place.folder.filePath("Corvane.ini");
        QFile::remove(path);
        QVERIFY(QDir().mkdir(path));
        place.ClickRow("dbgReceiver", 1);
        QCOMPARE(place.prompts.Messages().size(), 1);
        QCOMPARE(place.prompts.Messages().first().Kind, DialogKind::Error);
        QVERIFY(!place.prompts.Messages().first().Text.isEmpty());
        QDir().rmdir(path);
    }

    void longTextsAndSettingsButtonsAreReadable() {
        const QString longString = QStringLiteral(
            "Driver=Firebird/InterBase(r) driver;Dbname=192.168.100.200/3050:/srv/firebird/"
            "branches/north/Pendrel.fdb;Uid=SYSDBA;Role=STOCK_KEEPER;Charset=WIN1251");
        Workplace place(QStringLiteral("[Receiver]\nId=1\nName_Receiver=Склад на Лесной\n"
                                       "Connection_String=%1\nId_Connection_Types=1\n"
                                       "[Connection]\nId=1\nName_Connection=Остатки склада на "
                                       "Лесной из учёта\nUpdate_Time=10.12.2026 15:26:07\n")
                            .arg(longString));
        auto* grid = place.Find<DbGrid>("dbgConnection");
        for (int column = 0; column < grid->model()->columnCount(); ++column) {
            const QString text = grid->model()->index(0, column).data().toString();
            // The cell's own margins come on top of the text.
            QVERIFY2(grid->columnWidth(column) >= grid->fontMetrics().horizontalAdvance(text) + 8,
                     qPrintable(text));
        }
        QCOMPARE(grid->model()->index(0, 2).data().toString(),
                 QStringLiteral("10.12.2026 15:26:07"));
        place.ShowTab(1);
        auto* editor = place.Find<DbEdit>("dbedtReceiver_Connection_String");
        QCOMPARE(editor->text(), longString);
        QVERIFY(editor->fontMetrics().horizontalAdvance(longString) > editor->width());
        QCOMPARE(editor->cursorPosition(), 0);
        for (const char* settings : {"SpeedButton1", "SpeedButton2"})
            QVERIFY2(!place.Find<QToolButton>(settings)->autoRaise(), settings);
    }

    void currentRowsAreHighlightedAtStart() {
        Workplace place(QStringLiteral("[Receiver]\nId=1`2\nName_Receiver=Первый`Второй\n"
                                       "[Source]\nId=1`2\nName_Source=Первый`Второй\n"
                                       "[Connection]\nId=1`2\nName_Connection=Первое`Второе\n"));
        const std::pair<const char*, RecordSet*> grids[] = {
            {"dbgConnection", &place.dm.Connection},
            {"dbgReceiver", &place.dm.Receiver},
            {"dbgSource", &place.dm.Source},
            {"dbgParam_Connection", &place.dm.Connection}};
        for (const auto& [name, table] : grids) {
            QCOMPARE(table->RecordCount(), 2);
            const DbGrid* grid = place.Find<DbGrid>(name);
            QVERIFY2(grid->selectionModel()->isRowSelected(table->RecNo(), QModelIndex()), name);
            QCOMPARE(grid->currentIndex().row(), table->RecNo());
        }
    }

    void playAndStopReachTheConnection() {
        Workplace place;
        place.AddConfiguration();
        place.Click("BitButPlay");
        QCOMPARE(place.Status(), Updating);
        QCOMPARE(QApplication::focusWidget(), place.Find<QWidget>("dbgConnection"));

        place.prompts.Answer(DialogButton::No);
        place.Click("BitButStop");
        QCOMPARE(place.prompts.Texts(),
                 QStringList{"Вы подтверждаете остановку данного соединения?"});
        QVERIFY(place.prompts.Messages().first().SystemBox);
        QVERIFY(place.Status() != NotUpdating);

        place.prompts.Answer(DialogButton::Yes);
        place.Find<QAction>("N7")->trigger();
        QCOMPARE(place.prompts.Messages().size(), 2);
        QTRY_COMPARE(place.Status(), NotUpdating);
        QTRY_VERIFY(place.window->Service().Connections().RunningConnections().empty());
    }

    void workerLeavesThePendingEditAlone_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("warning");
        QTest::newRow("period 0 typed into another connection")
            << "period 0"
            << QStringLiteral("Время обновления соединения не может быть меньше 1 минуты.");
        QTest::newRow("working period emptied in another connection")
            << "no period" << QStringLiteral("Не проставлен период работы соединения.");
        QTest::newRow("new connection with its defaults") << "insert" << QString();
    }

    // Connection A runs while the operator edits B on the settings tab and has not saved: A's
    // cycle changes A's row, in the grid too, and leaves B's edit pending with its editors
    // open; Save then makes both checks.
    void workerLeavesThePendingEditAlone() {
        QFETCH(QString, edit);
        QFETCH(QString, warning);
        Workplace place;
        place.AddConfiguration();
        place.AddConnection(QStringLiteral("Второе"), 1, 1);
        RecordSet& connection = place.dm.Connection;
        connection.First();
        // Triggered, not clicked: no event may run A's first steps before B is edited.
        place.Find<QAction>("Play")->trigger();
        QCOMPARE(place.Status(), Updating);
        place.ShowTab(3);
        QVERIFY(connection.Locate(Fields::Connection::Id, {2}));
        if (edit == u"period 0") {
            place.Find<DbNumberEdit>("dbnuConnection_Time_Update")->setValue(0);
        } else if (edit == u"no period") {
            place.Find<DbCheckBox>("dbchkMonday")->click();
            connection.FieldByName(Fields::Connection::TimeStart).Clear();
        } else {
            place.Find<QAction>("Connection_Insert")->trigger();
        }
        const RecordSetState pending = connection.State();
        const int current = connection.RecNo();
        QVERIFY(connection.IsEditing());

        // A's first cycle fails to reach its receiver and goes to sleep.
        QTRY_COMPARE(place.clock->Sleepers(), 1);

        QCOMPARE(connection.State(), pending);
        QCOMPARE(connection.RecNo(), current);
        QCOMPARE(
            place.dm.Connection.Lookup(Fields::Connection::Id, {1}, Fields::Connection::Status),
            QVariantList{int(ConnectError)});
        const QAbstractItemModel* grid = place.Find<DbGrid>("dbgConnection")->model();
        int statusColumn = 0;
        while (grid->headerData(statusColumn, Qt::Horizontal).toString() != u"Статус")
            ++statusColumn;
        QCOMPARE(grid->index(0, statusColumn).data().toString(),
                 QStringLiteral("Ошибка подключения"));
        QVERIFY(place.Find<QAbstractButton>("BitBut_Connection_Post")->isEnabled());
        QVERIFY(!place.Find<DbNumberEdit>("dbnuConnection_Time_Update")->isReadOnly());
        QCOMPARE(place.Find<DbNumberEdit>("dbnuConnection_Time_Update")->value(),
                 edit == u"period 0" ? 0 : 30);
        QCOMPARE(place.SettingsProfile().ReadString("Connection", Fields::Connection::Time_Update),
                 "30`30");
        QCOMPARE(place.SettingsProfile().ReadString("Connection", Fields::Connection::Monday),
                 "1`1");
        QVERIFY(place.prompts.Messages().isEmpty());

        place.Click("BitBut_Connection_Post");

        if (warning.isEmpty()) {
            QVERIFY(place.prompts.Messages().isEmpty());
            QCOMPARE(connection.State(), RecordSetState::Browse);
            QCOMPARE(place.SettingsProfile().ReadString("Connection", Fields::Connection::Id),
                     "1`2`3");
        } else {
            QCOMPARE(place.prompts.Texts(), QStringList{warning});
            QCOMPARE(connection.State(), pending);
            QCOMPARE(
                place.SettingsProfile().ReadString("Connection", Fields::Connection::Time_Update),
                "30`30");
        }
    }

    void testButtonsCheckTheirRows_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("grid");
        QTest::newRow("receiver, empty")
            << "BitBut_Receiver_Connection_Test" << 1 << false
            << "Вы должны сначала вести следующие поля \"Тип подключения\" и \"Строка "
               "подключения\"."
            << "dbgReceiver";
        QTest::newRow("receiver") << "BitBut_Receiver_Connection_Test" << 1 << true
                                  << "Подключение не прошло\r\r"
                                  << "dbgReceiver";
        QTest::newRow("source, empty")
            << "BitBut_Source_Connection_Test" << 2 << false
            << "Вы должны сначала вести следующие поля \"Тип подключения\", \"Строка "
               "подключения\" и \"SQL запрос\"(если выбрана SQL-база)."
            << "dbgSource";
        QTest::newRow("connection, empty")
            << "BitBut_Connection_Connection_Test" << 3 << false
            << "Вы должны сначала вести следующие поля \"Название приемника\" и \"Название "
               "источника\"."
            << "dbgParam_Connection";
        QTest::newRow("connection") << "BitBut_Connection_Connection_Test" << 3 << true
                                    << "Подключение не прошло в связи со следующими причинами:"
                                    << "dbgParam_Connection";
    }
    void testButtonsCheckTheirRows() {
        QFETCH(QString, button);
        QFETCH(int, tab);
        QFETCH(bool, filled);
        QFETCH(QString, message);
        QFETCH(QString, grid);
        Workplace place;
        if (filled) {
            place.AddConfiguration();
        } else {
            place.AddReceiver("Склад", QString());
            place.dm.Source.Append();
            place.dm.Source.FieldByName(Fields::Source::Id_Connection_Types).SetAsInteger(1);
            place.dm.Source.Post();
            place.AddConnection("Пустое", 0, 0);
        }
        place.ShowTab(tab);
        place.RunTest(button);
        QCOMPARE(place.prompts.Messages().size(), 1);
        QVERIFY2(place.prompts.Messages().first().Text.startsWith(message),
                 qPrintable(place.prompts.Messages().first().Text));
        QCOMPARE(place.prompts.Messages().first().Kind,
                 filled ? DialogKind::Error : DialogKind::Information);
        QCOMPARE(QApplication::focusWidget(), place.Find<QWidget>(grid));
    }

    void connectionTestLeavesTheWindowResponsive() {
        SilentServer silent(std::chrono::seconds(20));
        Workplace place;
        place.AddReceiver("Склад", silent.FirebirdConnectionString());
        place.ShowTab(1);
        ResponsivenessProbe probe;
        place.Click("BitBut_Receiver_Connection_Test");
        // From here on the test only waits on the silent port.
        probe.Start();
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        for (const char* button :
             {"BitBut_Receiver_Connection_Test", "BitBut_Source_Connection_Test",
              "BitBut_Connection_Connection_Test"})
            QVERIFY2(!place.Find<QWidget>(button)->isEnabled(), button);
        QTest::qWait(1000);
        probe.Stop();
        QVERIFY2(probe.WorstLateness() <= 50, qPrintable(QString::number(probe.WorstLateness())));
        QCOMPARE(place.prompts.Texts(), QStringList());

        silent.Release();
        QTRY_COMPARE_WITH_TIMEOUT(place.prompts.Messages().size(), 1, 30000);
        QVERIFY(place.prompts.Messages().first().Text.startsWith("Подключение не прошло\r\r"));
        QCOMPARE(place.prompts.Messages().first().Kind, DialogKind::Error);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(place.Find<QWidget>("BitBut_Receiver_Connection_Test")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), place.Find<QWidget>("dbgReceiver"));
    }

    void closingTheWindowDoesNotWaitForATest() {
        SilentServer silent(std::chrono::seconds(20));
        QElapsedTimer clock;
        clock.start();
        {
            Workplace place;
            place.AddReceiver("Склад", silent.FirebirdConnectionString());
            place.ShowTab(1);
            place.Click("BitBut_Receiver_Connection_Test");
        }
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // The attempt ends with nobody left to tell.
        silent.Release();
        QTest::qWait(100);
    }

    void settingsButtonsOpenTheDialogOfTheRow() {
        Workplace place;
        place.AddConfiguration();
        QStringList opened;
        place.window->SetSettingsDialogRunner([&opened](SettingsDialog& dialog) {
            opened.append(QString::fromLatin1(dialog.metaObject()->className()));
            return int(QDialog::Rejected);
        });
        place.ShowTab(1);
        place.Click("SpeedButton1");
        place.ShowTab(2);
        place.Click("SpeedButton2");
        QCOMPARE(opened, (QStringList{"TfrmAdSetReceiver", "TfrmAdSetSourceSql"}));
        QCOMPARE(place.prompts.Texts(), QStringList());
    }

    void helpOpensTheTopicOfTheActiveTab() {
        Workplace place;
        for (int tab = 0; tab < 4; ++tab) {
            place.ShowTab(tab);
            QTest::keyClick(place.window.get(), Qt::Key_F1);
        }
        QCOMPARE(place.helpContexts, (QList<int>{6, 7, 8, 9}));
    }

    void tableErrorsReachTheErrorBox() {
        Workplace place;
        place.ShowTab(1);
        place.Click("BitBut_Receiver_Insert");
        // A settings file that can no longer be written makes the post fail.
        const QString path = place.folder.filePath("Corvane.ini");
        QFile::remove(path);
        QVERIFY(QDir().mkdir(path));
        place.Type("dbedtReceiver_Name_Receiver", "Склад");
        place.Click("BitBut_Receiver_Post");
        QCOMPARE(place.prompts.Messages().size(), 1);
        QCOMPARE(place.prompts.Messages().first().Kind, DialogKind::Error);
        QCOMPARE(place.prompts.Messages().first().Buttons, DialogButtons{DialogButton::Ok});
        QVERIFY(!place.prompts.Messages().first().Text.isEmpty());
        QDir().rmdir(path);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

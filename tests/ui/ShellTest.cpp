#include "core/TDm.h"
#include "platform/Clock.h"
#include "platform/MainThreadHandOver.h"
#include "service/TSynchronization_Service.h"
#include "support/RecordingWindowLink.h"
#include "support/ScriptedPrompts.h"
#include "support/TestPaths.h"
#include "ui/HelpTopics.h"
#include "ui/SingleInstance.h"
#include "ui/TMain.h"
#include "ui/TrayIcon.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

QString ProgramPath() {
    return TestPaths::BinaryDir() + QStringLiteral("/src/app/corvane");
}

QString BuiltHelpFolder() {
    return TestPaths::BinaryDir() + QStringLiteral("/src/app/help");
}

// The service on an empty configuration in a folder of its own, as the window gets it.
struct ServiceOnTables {
    ServiceOnTables() {
        ServiceEnvironment environment;
        environment.ProgramFolder = folder.path();
        environment.TimeSource = std::make_shared<SystemClock>();
        environment.HandOver = std::make_shared<MainThreadHandOver>();
        environment.OperatorPrompts = &prompts;
        environment.Window = &link;
        service = std::make_unique<TSynchronization_Service>(dm, environment);
    }

    QTemporaryDir folder;
    ScriptedPrompts prompts;
    RecordingWindowLink link;
    TDm dm;
    std::unique_ptr<TSynchronization_Service> service;
};

// The real main window on an empty configuration.
struct MainWindowPlace {
    MainWindowPlace() {
        ServiceEnvironment environment;
        environment.ProgramFolder = folder.path();
        environment.TimeSource = std::make_shared<SystemClock>();
        environment.HandOver = std::make_shared<MainThreadHandOver>();
        environment.OperatorPrompts = &prompts;
        window = std::make_unique<TMain>(dm, environment);
    }

    QTemporaryDir folder;
    ScriptedPrompts prompts;
    TDm dm;
    std::unique_ptr<TMain> window;
};

// The program started as a user would, its single-instance files in runtimeFolder.
std::unique_ptr<QProcess> StartProgram(const QString& runtimeFolder, const QString& programFolder) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(ProgramPath(), {QStringLiteral("--folder"), programFolder});
    return process;
}

QAction* MenuItem(QMenu& menu, const QString& name) {
    for (QAction* item : menu.actions())
        if (item->objectName() == name)
            return item;
    return nullptr;
}

int ShownTrayIcons(const QObject& root) {
    int shown = 0;
    for (const QSystemTrayIcon* icon : root.findChildren<QSystemTrayIcon*>())
        shown += icon->isVisible() ? 1 : 0;
    return shown;
}

} // namespace

// The shell: one instance per user across real processes, the tray icon and its menu, the
// help pages of the four tabs.
class ShellTest : public QObject {
    Q_OBJECT

public Q_SLOTS:
    // Stands in for the system browser.
    void OpenUrl(const QUrl& url) { openedUrls_.append(url); }

private Q_SLOTS:
    void init() {
        openedUrls_.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "OpenUrl");
    }
    void cleanup() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void secondStartShowsTheRunningWindowAndEnds();
    void lockOfACrashedInstanceDoesNotBlock();
    void endSignalClosesInOrder();
    void trayMenuItems_data();
    void trayMenuItems();
    void noTrayIconAfterStart();
    void minimiseWithoutTrayKeepsTheWindowOnTheTaskbar();
    void minimiseAndRestoreWithTray_data();
    void minimiseAndRestoreWithTray();
    void exitFromTheTrayMenu_data();
    void exitFromTheTrayMenu();
    void confirmedExitFromTheTrayEndsTheProgram_data();
    void confirmedExitFromTheTrayEndsTheProgram();
    void helpOpensThePageOfTheActiveTab_data();
    void helpOpensThePageOfTheActiveTab();
    void missingHelpPageIsTold();

private:
    QList<QUrl> openedUrls_;
};

void ShellTest::secondStartShowsTheRunningWindowAndEnds() {
    QTemporaryDir runtime;
    QTemporaryDir programFolder;
    SingleInstance running(runtime.path());
    QVERIFY(running.TryLock());
    QVERIFY(running.Listen());
    ServiceOnTables place;
    QWidget window;
    TrayIcon tray(&window, *place.service, [] { return true; });
    connect(&running, &SingleInstance::ShowRequested, &tray, &TrayIcon::RestoreFromTray);
    tray.SetTrayIcon(TrayOperation::Add);
    QVERIFY(!window.isVisible());

    const std::unique_ptr<QProcess> second = StartProgram(runtime.path(), programFolder.path());
    QVERIFY2(second->waitForStarted(), qPrintable(second->errorString()));
    // The running instance answers from its event loop, so wait with the loop running.
    QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, 20000);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(window.isVisible());
    QVERIFY(!window.isMinimized());
    QVERIFY(!tray.IconShown());
    // It ended before it had tables or a window: nothing was written into its folder.
    QVERIFY(QDir(programFolder.path()).isEmpty());
    // The running instance keeps its lock.
    QVERIFY(QFileInfo::exists(running.LockPath()));
}

void ShellTest::lockOfACrashedInstanceDoesNotBlock() {
    QTemporaryDir runtime;
    QTemporaryDir programFolder;
    SingleInstance probe(runtime.path());
    const std::unique_ptr<QProcess> first = StartProgram(runtime.path(), programFolder.path());
    QVERIFY2(first->waitForStarted(), qPrintable(first->errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(probe.ServerPath()), 20000);
    QVERIFY(!probe.TryLock());
    first->kill();
    QVERIFY(first->waitForFinished());
    QCOMPARE(first->exitStatus(), QProcess::CrashExit);
    QVERIFY(QFileInfo::exists(probe.LockPath()));
    QVERIFY(QFileInfo::exists(probe.ServerPath()));

    QVERIFY(probe.TryLock());
    QVERIFY(probe.Listen());
    QSignalSpy shown(&probe, &SingleInstance::ShowRequested);
    const std::unique_ptr<QProcess> next = StartProgram(runtime.path(), programFolder.path());
    QVERIFY(next->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(next->state() == QProcess::NotRunning, 20000);
    QCOMPARE(next->exitCode(), 0);
    QCOMPARE(shown.count(), 1);
}

// The system asks the program to end (a service manager, the demo's Ctrl+C): it ends as after a
// confirmed exit, with the configuration written.
void ShellTest::endSignalClosesInOrder() {
    QTemporaryDir runtime;
    QTemporaryDir programFolder;
    SingleInstance probe(runtime.path());
    const std::unique_ptr<QProcess> program = StartProgram(runtime.path(), programFolder.path());
    QVERIFY2(program->waitForStarted(), qPrintable(program->errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(probe.ServerPath()), 20000);
    const QString settings = QDir(programFolder.path()).filePath(QStringLiteral("Corvane.ini"));
    QVERIFY(!QFileInfo::exists(settings));

    program->terminate();
    QTRY_VERIFY_WITH_TIMEOUT(program->state() == QProcess::NotRunning, 20000);
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
    QVERIFY(QFileInfo::exists(settings));
    QVERIFY(probe.TryLock());
}

void ShellTest::trayMenuItems_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("separator");
    QTest::newRow("N1") << 0 << QStringLiteral("Запустить") << false << false;
    QTest::newRow("N2") << 1 << QStringLiteral("Остановить") << false << false;
    QTest::newRow("N3") << 2 << QString() << false << true;
    QTest::newRow("N4") << 3 << QStringLiteral("Открыть") << true << false;
    QTest::newRow("N5") << 4 << QStringLiteral("Выход") << true << false;
}

void ShellTest::trayMenuItems() {
    QFETCH(int, position);
    QFETCH(QString, caption);
    QFETCH(bool, visible);
    QFETCH(bool, separator);
    ServiceOnTables place;
    QWidget window;
    TrayIcon tray(&window, *place.service);
    QCOMPARE(tray.Menu().objectName(), QStringLiteral("pmTreyMenu"));
    QCOMPARE(tray.Icon().contextMenu(), &tray.Menu());
    QCOMPARE(tray.Icon().toolTip(), QStringLiteral("Сервис синхронизаций"));
    const QList<QAction*> items = tray.Menu().actions();
    QCOMPARE(items.size(), 5);
    QAction* item = items.at(position);
    QCOMPARE(item->objectName(), QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(item->text(), caption);
    QCOMPARE(item->isVisible(), visible);
    QCOMPARE(item->isSeparator(), separator);
}

void ShellTest::noTrayIconAfterStart() {
    MainWindowPlace place;
    place.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(place.window.get()));
    QVERIFY(!place.window->Tray().IconShown());
    QCOMPARE(ShownTrayIcons(*place.window), 0);
    QCOMPARE(place.window->findChildren<QSystemTrayIcon*>().size(), 1);
}

void ShellTest::minimiseWithoutTrayKeepsTheWindowOnTheTaskbar() {
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("a tray is available on this platform");
    MainWindowPlace place;
    place.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(place.window.get()));
    place.window->showMinimized();
    QTRY_VERIFY(place.window->isMinimized());
    QTest::qWait(50);
    QVERIFY(place.window->isVisible());
    QVERIFY(!place.window->Tray().IconShown());
}

void ShellTest::minimiseAndRestoreWithTray_data() {
    QTest::addColumn<QString>("restore");
    QTest::newRow("left click") << QStringLiteral("click");
    QTest::newRow("double click") << QStringLiteral("double click");
    QTest::newRow("menu item Открыть") << QStringLiteral("N4");
}

void ShellTest::minimiseAndRestoreWithTray() {
    QFETCH(QString, restore);
    ServiceOnTables place;
    QWidget window;
    TrayIcon tray(&window, *place.service, [] { return true; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (int round = 0; round < 3; ++round) {
        window.showMinimized();
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(tray.IconShown());
        QCOMPARE(ShownTrayIcons(window), 1);

        // The context menu opens on a right click and leaves the window where it is.
        Q_EMIT tray.Icon().activated(QSystemTrayIcon::Context);
        QVERIFY(!window.isVisible());
        if (restore == QLatin1String("click"))
            Q_EMIT tray.Icon().activated(QSystemTrayIcon::Trigger);
        else if (restore == QLatin1String("double click"))
            Q_EMIT tray.Icon().activated(QSystemTrayIcon::DoubleClick);
        else
            MenuItem(tray.Menu(), restore)->trigger();
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QVERIFY(!tray.IconShown());
        QCOMPARE(ShownTrayIcons(window), 0);
    }
}

void ShellTest::exitFromTheTrayMenu_data() {
    QTest::addColumn<DialogButton>("answer");
    QTest::newRow("Yes") << DialogButton::Yes;
    QTest::newRow("No") << DialogButton::No;
}

void ShellTest::exitFromTheTrayMenu() {
    QFETCH(DialogButton, answer);
    MainWindowPlace place;
    TMain& window = *place.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // In the tray, as a minimise leaves it where a tray is available.
    window.Tray().SetTrayIcon(TrayOperation::Add);
    window.hide();
    place.prompts.Answer(answer);

    MenuItem(window.Tray().Menu(), QStringLiteral("N5"))->trigger();
    QCOMPARE(place.prompts.Texts(),
             QStringList{QStringLiteral("Вы действительно хотите выйти из программы?")});
    QVERIFY(place.prompts.Messages().first().SystemBox);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.Tray().IconShown(), answer == DialogButton::No);
}

void ShellTest::confirmedExitFromTheTrayEndsTheProgram_data() {
    QTest::addColumn<bool>("endSignal");
    QTest::newRow("Выход") << false;
    QTest::newRow("SIGTERM") << true;
}

void ShellTest::confirmedExitFromTheTrayEndsTheProgram() {
    QFETCH(bool, endSignal);
    MainWindowPlace place;
    TMain& window = *place.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // A hidden window's close does not end the event loop by itself.
    window.Tray().SetTrayIcon(TrayOperation::Add);
    window.hide();
    place.prompts.Answer(DialogButton::Yes);
    QTimer::singleShot(0, &window, [&window, endSignal] {
        if (endSignal)
            window.CloseWithoutQuestion();
        else
            MenuItem(window.Tray().Menu(), QStringLiteral("N5"))->trigger();
    });
    // Ends a program that would otherwise go on without its window.
    QTimer neverEnded;
    neverEnded.setSingleShot(true);
    connect(&neverEnded, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    neverEnded.start(10000);

    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window.Tray().IconShown());
}

void ShellTest::helpOpensThePageOfTheActiveTab_data() {
    QTest::addColumn<QString>("tab");
    QTest::addColumn<int>("context");
    QTest::newRow("Запуск") << QStringLiteral("tsConnection") << 6;
    QTest::newRow("Приемник") << QStringLiteral("tsReceiver") << 7;
    QTest::newRow("Источник") << QStringLiteral("tsSource") << 8;
    QTest::newRow("Настройка соединения") << QStringLiteral("tsParam_Connection") << 9;
}

void ShellTest::helpOpensThePageOfTheActiveTab() {
    QFETCH(QString, tab);
    QFETCH(int, context);
    MainWindowPlace place;
    TMain& window = *place.window;
    HelpTopics help(BuiltHelpFolder(), place.prompts);
    window.SetHelpHandler([&help](int number) { help.ShowTopic(number); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget* page = window.pcMain()->findChild<QWidget*>(tab);
    QVERIFY(page);
    window.pcMain()->setCurrentWidget(page);

    window.findChild<QAction*>(QStringLiteral("Help"))->trigger();
    QCOMPARE(place.prompts.Texts(), QStringList());
    const QString pagePath = BuiltHelpFolder() + QStringLiteral("/%1.html").arg(context);
    QCOMPARE(openedUrls_, QList<QUrl>{QUrl::fromLocalFile(pagePath)});
    // The page shipped beside the program is the one of this tab.
    QFile shipped(pagePath);
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(shipped.readAll());
    QVERIFY(text.contains(
        QStringLiteral("<h1>Вкладка «%1»</h1>").arg(QString::fromUtf8(QTest::currentDataTag()))));
}

void ShellTest::missingHelpPageIsTold() {
    QTemporaryDir emptyFolder;
    ScriptedPrompts prompts;
    HelpTopics help(emptyFolder.path(), prompts);
    QVERIFY(!help.ShowTopic(7));
    QCOMPARE(openedUrls_, QList<QUrl>());
    QCOMPARE(prompts.Messages().size(), 1);
    const ScriptedPrompts::Shown& shown = prompts.Messages().first();
    QCOMPARE(shown.Kind, DialogKind::Warning);
    QCOMPARE(shown.Buttons, DialogButtons{DialogButton::Yes});
    QCOMPARE(shown.Text, QStringLiteral("Не найдена страница справки %1 (раздел 7).")
                             .arg(QDir(emptyFolder.path()).filePath(QStringLiteral("7.html"))));
}

QTEST_MAIN(ShellTest)

#include "ShellTest.moc"

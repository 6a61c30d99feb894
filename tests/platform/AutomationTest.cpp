#include "support/FailureKind.h"
#include "support/InfobaseFixture.h"

#include "platform/AutomationObject.h"
#include "platform/Errors.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include <signal.h>

namespace {

const QString kClear = QStringLiteral("глОчиститьТаблицуОстатковОЛЕ()");
const QString kFill = QStringLiteral("глЗаполнитьТаблицуОстатковОЛЕ()");
const QString kSplash = QStringLiteral("NO_SPLASH_SHOW");

QString Add(const QString& code) {
    return QStringLiteral("глДобавитьВТаблицуОстатковОЛЕ(%1)").arg(code);
}
QString Get(const QString& code) {
    return QStringLiteral("глПолучитьИзТаблицыОстатковОЛЕ(%1)").arg(code);
}
QString Filter(const QString& filter) {
    return QStringLiteral("глЗадатьФильтрСкладовОЛЕ(\"%1\")").arg(filter);
}

QString ProgId() {
    return ProgIdForType(3);
}

// The answer as the transfer reads it.
QString Eval(AutomationObject& object, const QString& expression) {
    return object.EvalExpr(expression).toString().trimmed();
}

void Open(AutomationObject& object, const InfobaseFixture& infobase) {
    const QVariant result = object.Initialize(object.RMTrade(), infobase.CommandLine(), kSplash);
    if (result.toInt() != -1)
        throw std::runtime_error("the infobase did not open");
}

// RMTrade, Initialize, or an expression after opening the infobase.
QVariant Invoke(AutomationObject& object, const InfobaseFixture& infobase, const QString& call) {
    if (call == QLatin1String("RMTrade"))
        return object.RMTrade();
    if (call == QLatin1String("Initialize"))
        return object.Initialize(object.RMTrade(), infobase.CommandLine(), kSplash);
    Open(object, infobase);
    return object.EvalExpr(call);
}

bool ProcessGone(pid_t pid) {
    return ::kill(pid, 0) == -1 && errno == ESRCH;
}

void WriteFile(const QString& path, const QString& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.write(text.toUtf8()) >= 0);
}

} // namespace

class AutomationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void progIdForType_data();
    void progIdForType();
    void initialize_data();
    void initialize();
    void balanceTableRoundTrip();
    void warehouseFilter_data();
    void warehouseFilter();
    void fillFailsWithoutReadableBalances_data();
    void fillFailsWithoutReadableBalances();
    void balancesAreReadAtEveryFill();
    void serverReportsError_data();
    void serverReportsError();
    void callsBeforeOpeningFail();
    void failureSwitch_data();
    void failureSwitch();
    void creationFails_data();
    void creationFails();
    void programPathRelativeToRegistration();
    void serverLostDuringCall_data();
    void serverLostDuringCall();
    void serverKilledDuringCall();
    void releaseEndsServer_data();
    void releaseEndsServer();
    void abortEndsSlowCall();
    void abortRequestedBeforeCall();
    void worksOnStdThread();
};

void AutomationTest::progIdForType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("progId");
    QTest::newRow("0") << 0 << QString();
    QTest::newRow("1 database") << 1 << QString();
    QTest::newRow("2") << 2 << QStringLiteral("V1CEnterprise.Application");
    QTest::newRow("3") << 3 << QStringLiteral("V77.Application");
    QTest::newRow("4") << 4 << QStringLiteral("V77S.Application");
    QTest::newRow("5") << 5 << QStringLiteral("V77L.Application");
    QTest::newRow("6") << 6 << QStringLiteral("V77M.Application");
    QTest::newRow("7") << 7 << QString();
    QTest::newRow("-1") << -1 << QString();
}

void AutomationTest::progIdForType() {
    QFETCH(int, type);
    QFETCH(QString, progId);
    QCOMPARE(ProgIdForType(type), progId);
}

void AutomationTest::initialize_data() {
    QTest::addColumn<QString>("commandLine"); // {folder} stands for the infobase folder
    QTest::addColumn<int>("result");
    QTest::newRow("right user and password") << "/D\"{folder}\" /NАдминистратор /Pсекрет1" << -1;
    QTest::newRow("switches in lower case, quoted values, other words")
        << "ENTERPRISE /d\"{folder}\" /n\"администратор\" /p\"секрет1\" /M" << -1;
    QTest::newRow("user with an empty password") << "/D\"{folder}\" /NКладовщик" << -1;
    QTest::newRow("wrong password") << "/D\"{folder}\" /NАдминистратор /Pсекрет" << 0;
    QTest::newRow("password in other letter case")
        << "/D\"{folder}\" /NАдминистратор /PСЕКРЕТ1" << 0;
    QTest::newRow("no password") << "/D\"{folder}\" /NАдминистратор" << 0;
    QTest::newRow("unknown user") << "/D\"{folder}\" /NГость /Pсекрет1" << 0;
    QTest::newRow("folder without infobase") << "/D\"{folder}/нет\" /NАдминистратор /Pсекрет1" << 0;
    QTest::newRow("no folder") << "/NАдминистратор /Pсекрет1" << 0;
}

void AutomationTest::initialize() {
    QFETCH(QString, commandLine);
    QFETCH(int, result);
    InfobaseFixture infobase;
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    const QVariant rmTrade = object.RMTrade();
    QVERIFY(rmTrade.isValid());
    const QVariant answer = object.Initialize(
        rmTrade, commandLine.replace(QLatin1String("{folder}"), infobase.Folder()), kSplash);
    // An automation Boolean: a 16-bit integer.
    QCOMPARE(answer.metaType(), QMetaType::fromType<qint16>());
    QCOMPARE(answer.toInt(), result);
}

void AutomationTest::balanceTableRoundTrip() {
    InfobaseFixture infobase;
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    Open(object, infobase);
    QCOMPARE(Eval(object, kClear), QString());
    for (const char16_t* code : {u"1001", u"1002", u"9999"})
        QCOMPARE(Eval(object, Add(QString::fromUtf16(code))), QString());
    QCOMPARE(Eval(object, Filter(QString())), QStringLiteral("1"));
    QCOMPARE(Eval(object, kFill), QStringLiteral("1"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), QStringLiteral("12.5"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1002"))), QStringLiteral("0"));
    QCOMPARE(object.EvalExpr(Get(QStringLiteral("1001"))).toDouble(), 12.5);
    // Unknown to the infobase, and known but not added.
    QCOMPARE(Eval(object, Get(QStringLiteral("9999"))), QStringLiteral("-1"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1003"))), QStringLiteral("-1"));

    QCOMPARE(Eval(object, kClear), QString());
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), QStringLiteral("-1"));
    QCOMPARE(Eval(object, Add(QStringLiteral("1003"))), QString());
    QCOMPARE(Eval(object, kFill), QStringLiteral("1"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1003"))), QStringLiteral("7"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), QStringLiteral("-1"));
}

void AutomationTest::warehouseFilter_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("balance1001");
    QTest::addColumn<QString>("balance1003");
    QTest::newRow("empty: all warehouses") << ""
                                           << "1"
                                           << "12.5"
                                           << "7";
    QTest::newRow("one warehouse") << "Основной"
                                   << "1"
                                   << "10"
                                   << "0";
    QTest::newRow("two warehouses") << "Основной, Розница"
                                    << "1"
                                    << "12.5"
                                    << "7";
    QTest::newRow("letter case ignored") << "розница"
                                         << "1"
                                         << "2.5"
                                         << "7";
    // A refused filter leaves the one before it, here the empty one.
    QTest::newRow("unknown warehouse") << "Розница,Дальний"
                                       << "Склад не найден: Дальний"
                                       << "12.5"
                                       << "7";
}

void AutomationTest::warehouseFilter() {
    QFETCH(QString, filter);
    QFETCH(QString, answer);
    QFETCH(QString, balance1001);
    QFETCH(QString, balance1003);
    InfobaseFixture infobase;
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    Open(object, infobase);
    Eval(object, Add(QStringLiteral("1001")));
    Eval(object, Add(QStringLiteral("1003")));
    QCOMPARE(Eval(object, Filter(filter)), answer);
    QCOMPARE(Eval(object, kFill), QStringLiteral("1"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), balance1001);
    QCOMPARE(Eval(object, Get(QStringLiteral("1003"))), balance1003);
}

void AutomationTest::fillFailsWithoutReadableBalances_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("file missing") << "remove";
    QTest::newRow("folder in its place") << "folder";
    QTest::newRow("line without quantity") << "1001;Основной";
    QTest::newRow("quantity not a number") << "1001;Основной;много";
}

void AutomationTest::fillFailsWithoutReadableBalances() {
    QFETCH(QString, damage);
    InfobaseFixture infobase;
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    Open(object, infobase);
    Eval(object, Add(QStringLiteral("1001")));
    QCOMPARE(Eval(object, kFill), QStringLiteral("1"));

    QVERIFY(QFile::remove(infobase.BalancesFile()));
    if (damage == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(infobase.BalancesFile()));
    else if (damage != QLatin1String("remove"))
        infobase.WriteBalances({QStringLiteral("1002;Основной;1"), damage});
    QCOMPARE(Eval(object, kFill), QStringLiteral("-1"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), QStringLiteral("-1"));
    // A filter naming a warehouse needs the balances too.
    QCOMPARE(Eval(object, Filter(QStringLiteral("Основной"))),
             QStringLiteral("Не удалось прочитать остатки информационной базы"));

    QDir().rmdir(infobase.BalancesFile());
    infobase.WriteBalances({QStringLiteral("1001;Основной;4")});
    QCOMPARE(Eval(object, kFill), QStringLiteral("1"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), QStringLiteral("4"));
}

void AutomationTest::balancesAreReadAtEveryFill() {
    InfobaseFixture infobase;
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    Open(object, infobase);
    Eval(object, Add(QStringLiteral("1001")));
    QCOMPARE(Eval(object, kFill), QStringLiteral("1"));
    infobase.WriteBalances(
        {QStringLiteral("1001;Основной;3,25"), QStringLiteral("1001;Склад 2;1")});
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), QStringLiteral("12.5"));
    QCOMPARE(Eval(object, kFill), QStringLiteral("1"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), QStringLiteral("4.25"));
    QCOMPARE(Eval(object, Filter(QStringLiteral("Склад 2"))), QStringLiteral("1"));
    QCOMPARE(Eval(object, kFill), QStringLiteral("1"));
    QCOMPARE(Eval(object, Get(QStringLiteral("1001"))), QStringLiteral("1"));
}

void AutomationTest::serverReportsError_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown function")
        << "глНеизвестная()"
        << "Процедура или функция с указанным именем не определена (глНеизвестная)";
    QTest::newRow("not a call") << "2+2"
                                << "Синтаксическая ошибка в выражении: 2+2";
    QTest::newRow("control characters travel both ways")
        << "a\tb\nc\\d\r"
        << "Синтаксическая ошибка в выражении: a\tb\nc\\d\r";
    QTest::newRow("filter without quotes") << "глЗадатьФильтрСкладовОЛЕ(Основной)"
                                           << "Фильтр складов должен быть строкой";
    QTest::newRow("add without code") << "глДобавитьВТаблицуОстатковОЛЕ()"
                                      << "Не задан код товара";
}

void AutomationTest::serverReportsError() {
    QFETCH(QString, expression);
    QFETCH(QString, message);
    InfobaseFixture infobase;
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    Open(object, infobase);
    QString failure;
    QCOMPARE(FailureKind([&] { object.EvalExpr(expression); }, &failure),
             QStringLiteral("EOleException"));
    QCOMPARE(failure, message);
    // The server goes on serving.
    Eval(object, Add(QStringLiteral("1003")));
    Eval(object, kFill);
    QCOMPARE(Eval(object, Get(QStringLiteral("1003"))), QStringLiteral("7"));
}

void AutomationTest::callsBeforeOpeningFail() {
    InfobaseFixture infobase;
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    QVERIFY_THROWS_EXCEPTION(EOleException, object.EvalExpr(kClear));
    QCOMPARE(object
                 .Initialize(object.RMTrade(),
                             infobase.CommandLine(infobase.UserName(), QStringLiteral("x")),
                             kSplash)
                 .toInt(),
             0);
    QVERIFY_THROWS_EXCEPTION(EOleException, object.EvalExpr(kClear));
    // Initialize wants the RMTrade value back.
    QVERIFY_THROWS_EXCEPTION(
        EOleException, object.Initialize(QStringLiteral("x"), infobase.CommandLine(), kSplash));
    Open(object, infobase);
    QCOMPARE(Eval(object, kClear), QString());
}

void AutomationTest::failureSwitch_data() {
    QTest::addColumn<QString>("serverSwitch");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    QTest::newRow("RMTrade") << "--fail=RMTrade:Сервер занят"
                             << "RMTrade"
                             << "Сервер занят";
    QTest::newRow("Initialize") << "--fail=Initialize:Монопольный режим"
                                << "Initialize"
                                << "Монопольный режим";
    QTest::newRow("one global function")
        << "--fail=глЗаполнитьТаблицуОстатковОЛЕ:Нет доступа к складу" << kFill
        << "Нет доступа к складу";
    QTest::newRow("every expression, message with a colon")
        << "--fail=EvalExpr:Ошибка: база заблокирована" << kClear << "Ошибка: база заблокирована";
}

void AutomationTest::failureSwitch() {
    QFETCH(QString, serverSwitch);
    QFETCH(QString, call);
    QFETCH(QString, message);
    InfobaseFixture infobase({serverSwitch});
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    QString failure;
    QCOMPARE(FailureKind([&] { Invoke(object, infobase, call); }, &failure),
             QStringLiteral("EOleException"));
    QCOMPARE(failure, message);
    QVERIFY(object.ProcessId() != 0);
}

void AutomationTest::creationFails_data() {
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("registration"); // empty: no file
    const QString server = InfobaseFixture::ServerProgram();
    QTest::newRow("ProgID not registered")
        << "V77X.Application" << QStringLiteral("[V77.Application]\nProgram=%1\n").arg(server);
    QTest::newRow("empty ProgID") << ""
                                  << QStringLiteral("[V77.Application]\nProgram=%1\n").arg(server);
    QTest::newRow("no registration file") << "V77.Application"
                                          << "";
    QTest::newRow("no program named") << "V77.Application"
                                      << "[V77.Application]\nArguments=--delay=1\n";
    QTest::newRow("program missing") << "V77.Application"
                                     << "[V77.Application]\nProgram=no-such-server\n";
    QTest::newRow("program not executable") << "V77.Application"
                                            << "[V77.Application]\nProgram=Automation.ini\n";
}

void AutomationTest::creationFails() {
    QFETCH(QString, progId);
    QFETCH(QString, registration);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Automation.ini"));
    if (!registration.isEmpty())
        WriteFile(path, registration);
    QString failure;
    QCOMPARE(FailureKind([&] { AutomationObject object(progId, path); }, &failure),
             QStringLiteral("EOleSysError"));
    QVERIFY(!failure.isEmpty());
}

void AutomationTest::programPathRelativeToRegistration() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Automation.ini"));
    WriteFile(path,
              QStringLiteral("[v77m.application]\nProgram=%1\n")
                  .arg(QDir(folder.path()).relativeFilePath(InfobaseFixture::ServerProgram())));
    AutomationObject object(ProgIdForType(6), path);
    QCOMPARE(object.RMTrade().toString(), QStringLiteral("Торговля+Склад"));
}

void AutomationTest::serverLostDuringCall_data() {
    QTest::addColumn<QString>("serverSwitch");
    QTest::addColumn<QString>("call");
    // How the message tells the server's own end; empty where it has none to tell.
    QTest::addColumn<QString>("end");
    QTest::newRow("ends during Initialize")
        << "--exit-during=Initialize"
        << "Initialize"
        << "завершился во время вызова Initialize (код выхода 3)";
    QTest::newRow("ends during a global function")
        << "--exit-during=глПолучитьИзТаблицыОстатковОЛЕ" << Get(QStringLiteral("1001"))
        << "завершился во время вызова EvalExpr (код выхода 3)";
    QTest::newRow("answers garbage to RMTrade") << "--garble=RMTrade"
                                                << "RMTrade"
                                                << "";
    QTest::newRow("answers garbage to an expression") << "--garble=EvalExpr" << kClear << "";
    QTest::newRow("program is no server") << "--no-such-switch"
                                          << "RMTrade"
                                          << "";
}

void AutomationTest::serverLostDuringCall() {
    QFETCH(QString, serverSwitch);
    QFETCH(QString, call);
    QFETCH(QString, end);
    InfobaseFixture infobase({serverSwitch});
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    const pid_t pid = object.ProcessId();
    QString failure;
    QCOMPARE(FailureKind([&] { Invoke(object, infobase, call); }, &failure),
             QStringLiteral("EOleSysError"));
    QVERIFY(!failure.isEmpty());
    QVERIFY2(failure.contains(end), qPrintable(failure));
    QCOMPARE(object.ProcessId(), 0);
    QVERIFY(ProcessGone(pid));
    QVERIFY_THROWS_EXCEPTION(EOleSysError, object.RMTrade());
}

void AutomationTest::serverKilledDuringCall() {
    InfobaseFixture infobase({QStringLiteral("--delay=20000")});
    AutomationObject object(ProgId(), infobase.RegistrationFile());
    const pid_t pid = object.ProcessId();
    std::thread killer([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(pid, SIGKILL);
    });
    QElapsedTimer timer;
    timer.start();
    QString message;
    const QString failure = FailureKind([&] { object.RMTrade(); }, &message);
    killer.join();
    QCOMPARE(failure, QStringLiteral("EOleSysError"));
    QVERIFY2(message.endsWith(QStringLiteral("(сигнал 9)")), qPrintable(message));
    // Ended by the kill, not by the server's answer.
    QVERIFY(timer.elapsed() < 20000);
    QVERIFY(ProcessGone(pid));
}

void AutomationTest::releaseEndsServer_data() {
    QTest::addColumn<QString>("scenario");
    QTest::newRow("after use") << "use";
    QTest::newRow("after an error of the server") << "server error";
    QTest::newRow("caller fails half-way") << "caller fails";
    QTest::newRow("server ignores the end of its input") << "ignores input";
}

void AutomationTest::releaseEndsServer() {
    QFETCH(QString, scenario);
    InfobaseFixture infobase;
    QString registration = infobase.RegistrationFile();
    if (scenario == QLatin1String("ignores input")) {
        registration = infobase.Folder() + QStringLiteral("/Sleeper.ini");
        WriteFile(registration,
                  QStringLiteral("[%1]\nProgram=/bin/sleep\nArguments=60\n").arg(ProgId()));
    }
    pid_t pid = 0;
    try {
        AutomationObject object(ProgId(), registration);
        pid = object.ProcessId();
        QVERIFY(pid > 0);
        QVERIFY(!ProcessGone(pid));
        if (scenario == QLatin1String("use")) {
            Open(object, infobase);
            Eval(object, kClear);
        } else if (scenario == QLatin1String("server error")) {
            QVERIFY_THROWS_EXCEPTION(EOleException, object.EvalExpr(kClear));
        } else if (scenario == QLatin1String("caller fails")) {
            object.RMTrade();
            throw std::runtime_error("caller failed");
        }
    } catch (const std::runtime_error&) {
    }
    QVERIFY(pid > 0);
    QVERIFY(ProcessGone(pid));
}

void AutomationTest::abortEndsSlowCall() {
    InfobaseFixture infobase({QStringLiteral("--delay=60000")});
    std::stop_source stop;
    AutomationObject object(ProgId(), infobase.RegistrationFile(), stop.get_token());
    const pid_t pid = object.ProcessId();
    std::thread ending([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.request_stop();
    });
    QElapsedTimer timer;
    timer.start();
    const QString failure = FailureKind([&] { object.RMTrade(); });
    ending.join();
    QCOMPARE(failure, QStringLiteral("EOleSysError"));
    // The server would have answered after a minute.
    QVERIFY(timer.elapsed() < 30000);
    QCOMPARE(object.ProcessId(), 0);
    QVERIFY(ProcessGone(pid));
}

void AutomationTest::abortRequestedBeforeCall() {
    InfobaseFixture infobase;
    std::stop_source stop;
    stop.request_stop();
    AutomationObject object(ProgId(), infobase.RegistrationFile(), stop.get_token());
    const pid_t pid = object.ProcessId();
    QCOMPARE(FailureKind([&] { object.RMTrade(); }), QStringLiteral("EOleSysError"));
    QVERIFY(ProcessGone(pid));
}

void AutomationTest::worksOnStdThread() {
    InfobaseFixture infobase;
    QStringList answers;
    pid_t pid = 0;
    QString failure;
    std::jthread worker([&](std::stop_token stop) {
        try {
            AutomationObject object(ProgIdForType(2), infobase.RegistrationFile(), stop);
            pid = object.ProcessId();
            answers
                << object.Initialize(object.RMTrade(), infobase.CommandLine(), kSplash).toString();
            for (const QString& expression :
                 {kClear, Add(QStringLiteral("1001")), Filter(QStringLiteral("Розница")), kFill,
                  Get(QStringLiteral("1001")), Get(QStringLiteral("1002"))})
                answers << Eval(object, expression);
        } catch (const Exception& error) {
            failure = error.Message();
        }
    });
    worker.join();
    QCOMPARE(failure, QString());
    QCOMPARE(answers,
             QStringList({QStringLiteral("-1"), QString(), QString(), QStringLiteral("1"),
                          QStringLiteral("1"), QStringLiteral("2.5"), QStringLiteral("-1")}));
    QVERIFY(ProcessGone(pid));
}

QTEST_GUILESS_MAIN(AutomationTest)
#include "AutomationTest.moc"

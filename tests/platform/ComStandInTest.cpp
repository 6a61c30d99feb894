#include "support/ComStandIn.h"
#include "support/InfobaseFixture.h"
#include "support/WinePrefix.h"

#include "platform/AutomationObject.h"
#include "platform/Errors.h"

#include <QTest>

#include <functional>
#include <memory>

namespace {

// Each call's answer as "=<type> <value>", "!<message>" for an error the server raised,
// "?<message>" for a failure of the path to it.
QStringList Outcomes(AutomationObject& object, const QString& commandLine,
                     const QStringList& expressions) {
    QStringList outcomes;
    const auto record = [&outcomes](const std::function<QVariant()>& call) {
        try {
            const QVariant value = call();
            outcomes.append(QStringLiteral("=%1 %2").arg(QString::fromLatin1(value.typeName()),
                                                         value.toString()));
        } catch (const EOleException& error) {
            outcomes.append(u'!' + error.Message());
        } catch (const EOleSysError& error) {
            outcomes.append(u'?' + error.Message());
        }
    };
    record([&] {
        return object.Initialize(object.RMTrade(), commandLine, QStringLiteral("NO_SPLASH_SHOW"));
    });
    for (const QString& expression : expressions)
        record([&] { return object.EvalExpr(expression); });
    return outcomes;
}

} // namespace

// The COM stand-in, driven through Wine and the automation bridge, answers every call as the
// process stand-in does on the same infobase folder.
class ComStandInTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WinePrefix> prefix_;

private Q_SLOTS:
    void initTestCase() {
        QString problem;
        prefix_ = ComStandIn::RegisteredPrefix(problem);
        if (!problem.isEmpty())
            QSKIP(qPrintable(problem));
    }

    void answersAsTheProcessStandIn_data() {
        QTest::addColumn<QStringList>("balances");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("expressions");
        QTest::addColumn<QStringList>("switches");
        const QStringList defaults{"1001;Основной;10", "1001;Розница;2.5", "1002;Основной;0",
                                   "1003;Розница;7"};
        const QStringList gets{
            "глПолучитьИзТаблицыОстатковОЛЕ(1001)", "глПолучитьИзТаблицыОстатковОЛЕ(1002)",
            "глПолучитьИзТаблицыОстатковОЛЕ(1003)", "глПолучитьИзТаблицыОстатковОЛЕ(4004)"};
        const QStringList addAll{
            "глОчиститьТаблицуОстатковОЛЕ()", "глДобавитьВТаблицуОстатковОЛЕ(1001)",
            "глДобавитьВТаблицуОстатковОЛЕ( 1002 )", "глДобавитьВТаблицуОстатковОЛЕ(4004)"};
        QTest::newRow("balances of added codes")
            << defaults << InfobaseFixture::UserName() << InfobaseFixture::Password()
            << addAll + QStringList{"глЗаполнитьТаблицуОстатковОЛЕ()"} + gets << QStringList();
        QTest::newRow("warehouse filter")
            << defaults << InfobaseFixture::UserName() << InfobaseFixture::Password()
            << addAll + QStringList{"глЗадатьФильтрСкладовОЛЕ(\"розница\")",
                                    "глЗаполнитьТаблицуОстатковОЛЕ()",
                                    "глПолучитьИзТаблицыОстатковОЛЕ(1001)",
                                    "глЗадатьФильтрСкладовОЛЕ(\"Розница, Дальний\")",
                                    "глЗадатьФильтрСкладовОЛЕ(\" Основной ,Розница\")",
                                    "глЗаполнитьТаблицуОстатковОЛЕ()",
                                    "глПолучитьИзТаблицыОстатковОЛЕ(1001)",
                                    "глЗадатьФильтрСкладовОЛЕ(Основной)"}
            << QStringList();
        QTest::newRow("decimal comma, names in other letter case")
            << QStringList{"1001;Основной;1,25", "1001;Розница;0.5"} << QStringLiteral("кладовщик")
            << QString()
            << QStringList{"ГЛДОБАВИТЬВТАБЛИЦУОСТАТКОВОЛЕ(1001)", "глзаполнитьтаблицуостатковоле()",
                           "глПолучитьИзТаблицыОстатковОЛЕ(1001)"}
            << QStringList();
        QTest::newRow("unreadable balances")
            << QStringList{"1001;Основной;10", "1002;Основной"} << InfobaseFixture::UserName()
            << InfobaseFixture::Password()
            << QStringList{"глДобавитьВТаблицуОстатковОЛЕ(1001)",
                           "глЗадатьФильтрСкладовОЛЕ(\"Основной\")",
                           "глЗаполнитьТаблицуОстатковОЛЕ()",
                           "глПолучитьИзТаблицыОстатковОЛЕ(1001)"}
            << QStringList();
        QTest::newRow("errors the infobase reports")
            << defaults << InfobaseFixture::UserName() << InfobaseFixture::Password()
            << QStringList{"глНеизвестная()",
                           "2+2",
                           "глОчиститьТаблицуОстатковОЛЕ(1)",
                           "глДобавитьВТаблицуОстатковОЛЕ()",
                           "глЗаполнитьТаблицуОстатковОЛЕ(да)",
                           "глДобавитьВТаблицуОстатковОЛЕ(код\tс\\табуляцией)"}
            << QStringList();
        QTest::newRow("wrong password")
            << defaults << InfobaseFixture::UserName() << QStringLiteral("Секрет1")
            << QStringList{"глОчиститьТаблицуОстатковОЛЕ()"} << QStringList();
        QTest::newRow("unknown user")
            << defaults << QStringLiteral("Гость") << InfobaseFixture::Password()
            << QStringList{"глЗаполнитьТаблицуОстатковОЛЕ()"} << QStringList();
        QTest::newRow("answer switch")
            << defaults << InfobaseFixture::UserName() << InfobaseFixture::Password()
            << QStringList{"глДобавитьВТаблицуОстатковОЛЕ(1001)", "глЗаполнитьТаблицуОстатковОЛЕ()",
                           "глПолучитьИзТаблицыОстатковОЛЕ(1001)"}
            << QStringList{"--answer", "глПолучитьИзТаблицыОстатковОЛЕ:много"};
        QTest::newRow("fail switches")
            << defaults << InfobaseFixture::UserName() << InfobaseFixture::Password()
            << QStringList{"глДобавитьВТаблицуОстатковОЛЕ(1001)", "глЗаполнитьТаблицуОстатковОЛЕ()"}
            << QStringList{"--fail=глЗаполнитьТаблицуОстатковОЛЕ:Нет доступа к остаткам", "--fail",
                           "глДобавитьВТаблицуОстатковОЛЕ:занято"};
        QTest::newRow("fail switch on a method")
            << defaults << InfobaseFixture::UserName() << InfobaseFixture::Password()
            << QStringList{"глОчиститьТаблицуОстатковОЛЕ()"}
            << QStringList{"--fail", "initialize:Нет лицензии"};
        QTest::newRow("exit switch")
            << defaults << InfobaseFixture::UserName() << InfobaseFixture::Password()
            << QStringList{"глДобавитьВТаблицуОстатковОЛЕ(1001)", "глЗаполнитьТаблицуОстатковОЛЕ()",
                           "глПолучитьИзТаблицыОстатковОЛЕ(1001)"}
            << QStringList{"--exit-during", "глЗаполнитьТаблицуОстатковОЛЕ"};
    }
    void answersAsTheProcessStandIn() {
        QFETCH(QStringList, balances);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QStringList, expressions);
        QFETCH(QStringList, switches);
        const InfobaseFixture infobase(switches);
        infobase.WriteBalances(balances);
        const QString wineRegistration = infobase.Folder() + QStringLiteral("/Wine.ini");
        ComStandIn::WriteRegistration(wineRegistration);
        const QString commandLine = infobase.CommandLine(user, password);

        AutomationObject process(ProgIdForType(3), infobase.RegistrationFile(), {});
        const QStringList expected = Outcomes(process, commandLine, expressions);
        QStringList words;
        for (const QString& word : switches)
            words.append(word.contains(u' ') ? u'"' + word + u'"' : word);
        qputenv(ComStandIn::kSwitchesVariable, words.join(u' ').toUtf8());
        AutomationObject com(ProgIdForType(3), wineRegistration, {});
        QCOMPARE(Outcomes(com, commandLine, expressions), expected);
    }
};

QTEST_GUILESS_MAIN(ComStandInTest)
#include "ComStandInTest.moc"

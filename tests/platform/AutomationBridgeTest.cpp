#include "support/FailureKind.h"
#include "support/TestPaths.h"
#include "support/WinePrefix.h"

#include "platform/AutomationObject.h"
#include "platform/AutomationProtocol.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>

namespace {

const QString kDictionary = QStringLiteral("Scripting.Dictionary");
const QString kFileSystem = QStringLiteral("Scripting.FileSystemObject");
const QString kMissing = QStringLiteral("Corvane.NoSuchObject");
const QString kKey = QStringLiteral("ключ");

QString BridgeProgram() {
    return TestPaths::BinaryDir() + QStringLiteral("/automation-bridge.exe");
}

QString PidList(const QList<pid_t>& pids) {
    QStringList names;
    for (const pid_t pid : pids) {
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
        names << QStringLiteral("%1 %2").arg(pid).arg(
            command.open(QIODevice::ReadOnly)
                ? QString::fromLocal8Bit(command.readAll().replace('\0', ' '))
                : QString());
    }
    return names.join(QStringLiteral("; "));
}

} // namespace

// The bridge under Wine, driving Wine's own scripting objects through AutomationObject.
class AutomationBridgeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void methodAndPropertyGet();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void failureKinds_data();
    void failureKinds();
    void objectResultPassesBack();
    void releaseLeavesNoProcess_data();
    void releaseLeavesNoProcess();

private:
    std::unique_ptr<AutomationObject> Create(const QString& progId) const;

    std::unique_ptr<WinePrefix> prefix_;
    QTemporaryDir folder_;
    QString registration_;
};

void AutomationBridgeTest::initTestCase() {
    prefix_ = std::make_unique<WinePrefix>(QStringLiteral("tests"));
    registration_ = folder_.filePath(QStringLiteral("Automation.ini"));
    QFile file(registration_);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const QString& progId : {kDictionary, kFileSystem, kMissing})
        file.write(QStringLiteral("[%1]\nProgram=wine\nArguments=\"%2\" %1\n")
                       .arg(progId, BridgeProgram())
                       .toUtf8());
}

void AutomationBridgeTest::cleanupTestCase() {
    prefix_.reset();
}

void AutomationBridgeTest::init() {
    if (!prefix_->IsUsable())
        QSKIP(qPrintable(prefix_->Problem()));
    if (!QFileInfo::exists(BridgeProgram()))
        QSKIP("automation-bridge.exe is not built: no x86_64-w64-mingw32-g++");
}

std::unique_ptr<AutomationObject> AutomationBridgeTest::Create(const QString& progId) const {
    return std::make_unique<AutomationObject>(progId, registration_);
}

void AutomationBridgeTest::methodAndPropertyGet() {
    const auto dictionary = Create(kDictionary);
    QCOMPARE(dictionary->Call(QStringLiteral("Add"), {QStringLiteral("один"), 1}), QVariant());
    QCOMPARE(dictionary->Call(QStringLiteral("Add"), {QStringLiteral("два"), 2}), QVariant());
    QCOMPARE(dictionary->Call(QStringLiteral("Count"), {}), QVariant(qlonglong(2)));
    QCOMPARE(dictionary->Call(QStringLiteral("exists"), {QStringLiteral("два")}),
             AutomationProtocol::Boolean(true));
}

void AutomationBridgeTest::valuesRoundTrip_data() {
    QTest::addColumn<QVariant>("value");
    QTest::newRow("Cyrillic text") << QVariant(QStringLiteral("Остаток на складе «Основной» №1"));
    QTest::newRow("text with separators") << QVariant(QStringLiteral("a\tb\nc\r\\d \"e\""));
    QTest::newRow("empty text") << QVariant(QString(""));
    QTest::newRow("integer") << QVariant(qlonglong(-42));
    QTest::newRow("integer beyond 32 bits") << QVariant(qlonglong(1) << 40);
    QTest::newRow("floating-point") << QVariant(12.5);
    QTest::newRow("floating-point, shortest form") << QVariant(0.1);
    QTest::newRow("True") << AutomationProtocol::Boolean(true);
    QTest::newRow("False") << AutomationProtocol::Boolean(false);
    QTest::newRow("nothing") << QVariant();
}

void AutomationBridgeTest::valuesRoundTrip() {
    QFETCH(QVariant, value);
    const auto dictionary = Create(kDictionary);
    dictionary->Call(QStringLiteral("Add"), {kKey, value});
    const QVariant back = dictionary->Call(QStringLiteral("Item"), {kKey});
    QCOMPARE(back.metaType(), value.metaType());
    QCOMPARE(back, value);
}

void AutomationBridgeTest::failureKinds_data() {
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("code");
    QTest::newRow("unknown name") << kDictionary << QStringLiteral("НетТакого") << QVariantList()
                                  << "EOleSysError"
                                  << "0x80020006";
    QTest::newRow("wrong argument count")
        << kDictionary << QStringLiteral("Add") << QVariantList{kKey} << "EOleSysError"
        << "0x8002000E";
    QTest::newRow("exception raised by the object")
        << kDictionary << QStringLiteral("Add") << QVariantList{kKey, 2} << "EOleException"
        << "0x800A01C9";
    QTest::newRow("ProgID that does not exist")
        << kMissing << QStringLiteral("Count") << QVariantList() << "EOleSysError"
        << "0x800401F3";
}

void AutomationBridgeTest::failureKinds() {
    QFETCH(QString, progId);
    QFETCH(QString, method);
    QFETCH(QVariantList, arguments);
    QFETCH(QString, kind);
    QFETCH(QString, code);
    const auto object = Create(progId);
    const bool created = progId != kMissing;
    if (created)
        object->Call(QStringLiteral("Add"), {kKey, 1});
    QString message;
    QCOMPARE(FailureKind([&] { object->Call(method, arguments); }, &message), kind);
    QVERIFY2(message.contains(code, Qt::CaseInsensitive), qPrintable(message));
    // The failure was the call's alone: the bridge goes on serving the same object.
    if (created)
        QCOMPARE(object->Call(QStringLiteral("Count"), {}), QVariant(qlonglong(1)));
    else
        QCOMPARE(FailureKind([&] { object->Call(QStringLiteral("Count"), {}); }),
                 QStringLiteral("EOleSysError"));
    QVERIFY(object->ProcessId() != 0);
}

void AutomationBridgeTest::objectResultPassesBack() {
    const auto fileSystem = Create(kFileSystem);
    const QVariant folder =
        fileSystem->Call(QStringLiteral("GetFolder"), {QStringLiteral("C:\\windows")});
    QVERIFY(folder.canConvert<AutomationProtocol::ServerObject>());
    QCOMPARE(fileSystem->Call(QStringLiteral("BuildPath"), {folder, QStringLiteral("файл.txt")}),
             QVariant(QStringLiteral("C:\\windows\\файл.txt")));
}

void AutomationBridgeTest::releaseLeavesNoProcess_data() {
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("released after use") << false;
    QTest::newRow("cancelled, as when the program ends") << true;
}

void AutomationBridgeTest::releaseLeavesNoProcess() {
    QFETCH(bool, cancelled);
    pid_t bridge = 0;
    {
        const auto dictionary = Create(kDictionary);
        bridge = dictionary->ProcessId();
        QCOMPARE(dictionary->Call(QStringLiteral("Count"), {}), QVariant(qlonglong(0)));
        QVERIFY(prefix_->Processes().contains(bridge));
        if (cancelled) {
            dictionary->Cancel();
            QCOMPARE(FailureKind([&] { dictionary->Call(QStringLiteral("Count"), {}); }),
                     QStringLiteral("EOleSysError"));
        }
    }
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(bridge)));
    // Wine's server outlives its last program by a few seconds, then ends with its helpers.
    QVERIFY2(prefix_->WaitUntilIdle(std::chrono::seconds(20)),
             qPrintable(PidList(prefix_->Processes())));
}

QTEST_GUILESS_MAIN(AutomationBridgeTest)
#include "AutomationBridgeTest.moc"

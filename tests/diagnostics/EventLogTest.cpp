#include "diagnostics/EventLog.h"
#include "core/TDm.h"
#include "core/TableFields.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/RegionalSettings.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <typeinfo>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using enum EventCode;

namespace {

const QDateTime kNow(QDate(2024, 3, 5), QTime(9, 5, 3));
const QString kNowStamp = QStringLiteral("05.03.2024 9:05:03");

// Connection 1 has all its names, 2 a receiver and source that are not there, 3 a receiver
// without a name and an update at midnight.
const int kFull = 1;
const int kMissingEnds = 2;
const int kMidnight = 3;
const int kUnknown = 99;

enum class Fault { ReadOnlyFolder, FolderIsFile, LogIsFolder, DiskFull, UnreadableLog };

// Root passes every permission check; file access as "nobody" lets the permission bits count.
[[nodiscard]] auto AsUnprivileged() {
    const bool root = ::geteuid() == 0;
    if (root) {
        ::setfsgid(65534);
        ::setfsuid(65534);
    }
    return qScopeGuard([root] {
        if (root) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    });
}

int OpenDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString Line(const QString& stamp, const QString& text) {
    return stamp + QStringLiteral("  ") + text + QStringLiteral("\r\n");
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class EventLogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void writesTheLineOfEachCode_data();
    void writesTheLineOfEachCode();
    void appendsOneLinePerEventWithItsOwnStamp();
    void readsTheSettingsAtEachEvent();
    void rotatesPastTheLimit_data();
    void rotatesPastTheLimit();
    void zeroLimitKeepsOnlyTheLastEvent();
    void leavesTheCursorsWhereTheyAre();
    void raisesFileErrorsWithoutLeavingTheFileOpen_data();
    void raisesFileErrorsWithoutLeavingTheFileOpen();

private:
    void AddRow(RecordSet& table, const QVariantMap& values);
    QString LogFolder() const { return QDir(programDir_->path()).filePath(QStringLiteral("Log")); }
    QString LogsPath() const { return LogFolder() + QStringLiteral("/Logs.txt"); }
    QString StLogsPath() const { return LogFolder() + QStringLiteral("/StLogs.txt"); }

    std::unique_ptr<QTemporaryDir> programDir_;
    std::unique_ptr<TDm> dm_;
    std::unique_ptr<VirtualClock> clock_;
    std::unique_ptr<EventLog> log_;
    bool showAllLogs_ = true;
    int maxSizeLogs_ = 5;
};

void EventLogTest::initTestCase() {
    RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"));
}

void EventLogTest::init() {
    programDir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(programDir_->isValid());
    // Reachable for the checks that run without root's rights.
    QVERIFY(QFile::setPermissions(programDir_->path(), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ReadOther |
                                                           QFile::ExeOther));

    dm_ = std::make_unique<TDm>();
    dm_->Connection.Open();
    dm_->Receiver.Open();
    dm_->Source.Open();
    AddRow(dm_->Receiver, {{Fields::Receiver::Id, 1},
                           {Fields::Receiver::Name_Receiver, QStringLiteral("Склад на Ленина")}});
    AddRow(dm_->Receiver, {{Fields::Receiver::Id, 2}});
    AddRow(dm_->Source, {{Fields::Source::Id, 1},
                         {Fields::Source::Name_Source, QStringLiteral("Бухгалтерия 1С")}});
    AddRow(dm_->Source,
           {{Fields::Source::Id, 3}, {Fields::Source::Name_Source, QStringLiteral("Магазин SQL")}});
    AddRow(dm_->Connection,
           {{Fields::Connection::Id, kFull},
            {Fields::Connection::Name_Connection, QStringLiteral("Склад")},
            {Fields::Connection::Id_Receiver, 1},
            {Fields::Connection::Id_Source, 1},
            {Fields::Connection::Update_Time, QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58))}});
    AddRow(dm_->Connection, {{Fields::Connection::Id, kMissingEnds},
                             {Fields::Connection::Name_Connection, QStringLiteral("Без концов")},
                             {Fields::Connection::Id_Receiver, 7}});
    AddRow(dm_->Connection,
           {{Fields::Connection::Id, kMidnight},
            {Fields::Connection::Name_Connection, QStringLiteral("Полночь")},
            {Fields::Connection::Id_Receiver, 2},
            {Fields::Connection::Id_Source, 3},
            {Fields::Connection::Update_Time, QDateTime(QDate(2024, 3, 1), QTime(0, 0))}});

    clock_ = std::make_unique<VirtualClock>(kNow);
    showAllLogs_ = true;
    maxSizeLogs_ = 5;
    log_ = std::make_unique<EventLog>(
        *dm_, programDir_->path(), [this] { return showAllLogs_; }, [this] { return maxSizeLogs_; },
        *clock_);
}

void EventLogTest::cleanup() {
    log_.reset();
    clock_.reset();
    dm_.reset();
    // A fault may have left a folder that cannot be emptied.
    QFile::setPermissions(LogFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    programDir_.reset();
}

void EventLogTest::AddRow(RecordSet& table, const QVariantMap& values) {
    table.Insert();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        table.FieldByName(it.key()).SetValue(it.value());
    table.Post();
}

void EventLogTest::writesTheLineOfEachCode_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("showAllLogs");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");

    // By number, as older logs and the operators' tools know them.
    const QList<std::pair<int, QString>> texts = {
        {1, QStringLiteral("Соединение с именем \"Склад\" было запущенно.")},
        {3, QStringLiteral("Соединение с именем \"Склад\" было остановлено.")},
        {4, QStringLiteral("Соединение с именем \"Склад\" ожидает рабочего периода.")},
        {7, QStringLiteral("Соединение с именем \"Склад\" подключилось к приемнику данных с "
                           "именем \"Склад на Ленина\".")},
        {8, QStringLiteral("Соединение с именем \"Склад\" подключилось к источнику данных с "
                           "именем \"Бухгалтерия 1С\".")},
        {9, QStringLiteral("В соединение с именем \"Склад\" выполнился \"Select\" запрос к "
                           "приемнику с именем \"Склад на Ленина\".")},
        {10, QStringLiteral("В соединение с именем \"Склад\" функция "
                            "\"глОчиститьТаблицуОстатковОЛЕ\" выполнена успешно на источнике "
                            "данных с именем \"Бухгалтерия 1С\".")},
        {11, QStringLiteral("В соединение с именем \"Склад\" функция "
                            "\"глДобавитьВТаблицуОстатковОЛЕ\" выполнена успешно на источнике "
                            "данных с именем \"Бухгалтерия 1С\".")},
        {12, QStringLiteral("В соединение с именем \"Склад\" функция \"глЗадатьФильтрСкладовОЛЕ\" "
                            "выполнена успешно на источнике данных с именем \"Бухгалтерия 1С\".")},
        {13, QStringLiteral("В соединение с именем \"Склад\" функция "
                            "\"глЗаполнитьТаблицуОстатковОЛЕ\" выполнена успешно на источнике "
                            "данных с именем \"Бухгалтерия 1С\".")},
        {14, QStringLiteral("В соединение с именем \"Склад\" функция "
                            "\"глПолучитьИзТаблицыОстатковОЛЕ\" выполнена успешно на источнике "
                            "данных с именем \"Бухгалтерия 1С\".")},
        {15, QStringLiteral("В соединение с именем \"Склад\" выполнился \"Select\" запрос к "
                            "источнику с именем \"Бухгалтерия 1С\".")},
        {16, QStringLiteral("В соединение с именем \"Склад\" выполнился \"Update\" запрос к "
                            "приемнику с именем \"Склад на Ленина\".")},
        {17, QStringLiteral("Соединение с именем \"Склад\" отключилось от приемника данных с "
                            "именем \"Склад на Ленина\".")},
        {18, QStringLiteral("Соединение с именем \"Склад\" отключилось от источника данных с "
                            "именем \"Бухгалтерия 1С\".")},
        {19, QStringLiteral("Соединение с именем \"Склад\" начало процесса обновления данных.")},
        {20, QStringLiteral("Соединение с именем \"Склад\" закончило процесса обновления данных")},
    };
    for (const auto& [code, text] : texts) {
        QTest::addRow("code %d", code)
            << kFull << code << QString() << true << kNow << Line(kNowStamp, text);
        QTest::addRow("code %d, ShowAllLogs off", code)
            << kFull << code << QString() << false << kNow
            << (code <= 4 ? Line(kNowStamp, text) : QString());
    }

    const QString updated = QStringLiteral("Соединение с именем \"Склад\" обновилось.");
    QTest::newRow("code 2 stamped with Update_Time")
        << kFull << 2 << QString() << false << kNow
        << Line(QStringLiteral("29.02.2024 23:59:58"), updated);
    QTest::newRow("code 2, Update_Time at midnight")
        << kMidnight << 2 << QString() << true << kNow
        << Line(QStringLiteral("01.03.2024"),
                QStringLiteral("Соединение с именем \"Полночь\" обновилось."));
    QTest::newRow("code 2, empty Update_Time")
        << kMissingEnds << 2 << QString() << true << kNow
        << Line(QString(), QStringLiteral("Соединение с именем \"Без концов\" обновилось."));

    const QString error =
        QStringLiteral("В соединение с именем \"Склад\" произошла ошибка при обновлении данных.");
    QTest::newRow("code 6 with its text")
        << kFull << 6 << QStringLiteral("Таблица \"Parts\" не найдена") << false << kNow
        << Line(kNowStamp, error) + QStringLiteral("\r\nТаблица \"Parts\" не найдена\r\n\r\n");
    QTest::newRow("code 6 without text")
        << kFull << 6 << QString() << true << kNow << Line(kNowStamp, error) + "\r\n\r\n\r\n";
    QTest::newRow("other codes ignore the text")
        << kFull << 1 << QStringLiteral("лишнее") << true << kNow
        << Line(kNowStamp, QStringLiteral("Соединение с именем \"Склад\" было запущенно."));

    QTest::newRow("at midnight the stamp is the date")
        << kFull << 3 << QString() << true << QDateTime(QDate(2024, 3, 6), QTime(0, 0))
        << Line(QStringLiteral("06.03.2024"),
                QStringLiteral("Соединение с именем \"Склад\" было остановлено."));
    QTest::newRow("one second past midnight")
        << kFull << 3 << QString() << true << QDateTime(QDate(2024, 3, 6), QTime(0, 0, 1))
        << Line(QStringLiteral("06.03.2024 0:00:01"),
                QStringLiteral("Соединение с именем \"Склад\" было остановлено."));

    QTest::newRow("unknown connection")
        << kUnknown << 1 << QString() << true << kNow
        << Line(kNowStamp, QStringLiteral("Соединение с именем \"\" было запущенно."));
    QTest::newRow("unknown connection, receiver")
        << kUnknown << 7 << QString() << true << kNow
        << Line(kNowStamp, QStringLiteral("Соединение с именем \"\" подключилось к приемнику "
                                          "данных с именем \"\"."));
    QTest::newRow("missing receiver")
        << kMissingEnds << 17 << QString() << true << kNow
        << Line(kNowStamp, QStringLiteral("Соединение с именем \"Без концов\" отключилось от "
                                          "приемника данных с именем \"\"."));
    QTest::newRow("null Id_Source")
        << kMissingEnds << 8 << QString() << true << kNow
        << Line(kNowStamp, QStringLiteral("Соединение с именем \"Без концов\" подключилось к "
                                          "источнику данных с именем \"\"."));
    QTest::newRow("receiver without a name")
        << kMidnight << 9 << QString() << true << kNow
        << Line(kNowStamp, QStringLiteral("В соединение с именем \"Полночь\" выполнился "
                                          "\"Select\" запрос к приемнику с именем \"\"."));
    QTest::newRow("second source")
        << kMidnight << 15 << QString() << true << kNow
        << Line(kNowStamp,
                QStringLiteral("В соединение с именем \"Полночь\" выполнился "
                               "\"Select\" запрос к источнику с именем \"Магазин SQL\"."));

    for (int code : {5, 21, 0, -1})
        QTest::addRow("code %d has no text", code)
            << kFull << code << QStringLiteral("текст") << true << kNow << QString();
}

void EventLogTest::writesTheLineOfEachCode() {
    QFETCH(int, id);
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(bool, showAllLogs);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);
    showAllLogs_ = showAllLogs;
    clock_->SetNow(now);

    log_->LogEvent(id, EventCode(code), text);

    // The folder and the file are there even when nothing was written.
    QVERIFY(QFileInfo(LogsPath()).isFile());
    QCOMPARE(ReadAll(LogsPath()), expected.toUtf8());
    QVERIFY(!QFile::exists(StLogsPath()));
}

void EventLogTest::appendsOneLinePerEventWithItsOwnStamp() {
    log_->LogEvent(kFull, Started, QString());
    clock_->Advance(61'000);
    log_->LogEvent(kFull, CycleBegins, QString());
    clock_->Advance(1'000);
    log_->LogEvent(kMidnight, Stopped, QString());

    const QByteArray expected =
        Line(kNowStamp, QStringLiteral("Соединение с именем \"Склад\" было запущенно.")).toUtf8() +
        Line(QStringLiteral("05.03.2024 9:06:04"),
             QStringLiteral("Соединение с именем \"Склад\" начало процесса обновления данных."))
            .toUtf8() +
        Line(QStringLiteral("05.03.2024 9:06:05"),
             QStringLiteral("Соединение с именем \"Полночь\" было остановлено."))
            .toUtf8();
    QCOMPARE(ReadAll(LogsPath()), expected);
    // The system code page here is UTF-8: "С" is D0 A1, lines end with CR LF.
    QVERIFY(ReadAll(LogsPath()).startsWith("05.03.2024 9:05:03  \xD0\xA1\xD0\xBE"));
    QCOMPARE(ReadAll(LogsPath()).count("\r\n"), 3);
    QCOMPARE(ReadAll(LogsPath()).count('\n'), 3);
}

void EventLogTest::readsTheSettingsAtEachEvent() {
    showAllLogs_ = false;
    log_->LogEvent(kFull, ReceiverOpened, QString());
    QCOMPARE(ReadAll(LogsPath()), QByteArray());

    showAllLogs_ = true;
    log_->LogEvent(kFull, ReceiverOpened, QString());
    const QByteArray line = Line(kNowStamp, QStringLiteral("Соединение с именем \"Склад\" "
                                                           "подключилось к приемнику данных с "
                                                           "именем \"Склад на Ленина\"."))
                                .toUtf8();
    QCOMPARE(ReadAll(LogsPath()), line);

    maxSizeLogs_ = 0;
    log_->LogEvent(kFull, ReceiverOpened, QString());
    QCOMPARE(ReadAll(StLogsPath()), line);
    QCOMPARE(ReadAll(LogsPath()), line);
}

void EventLogTest::rotatesPastTheLimit_data() {
    QTest::addColumn<int>("maxSizeLogs");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("previous"); // "" none, "file" or "folder"
    QTest::addColumn<EventCode>("code");
    QTest::addColumn<bool>("moved");

    const qint64 mib = 1024 * 1024;
    QTest::newRow("exactly 1 MiB stays") << 1 << mib << "" << Started << false;
    QTest::newRow("one byte more is moved") << 1 << mib + 1 << "" << Started << true;
    QTest::newRow("older StLogs.txt is replaced") << 1 << mib + 1 << "file" << Started << true;
    QTest::newRow("limit 0 moves one byte") << 0 << qint64(1) << "" << Started << true;
    QTest::newRow("limit 0 keeps an empty file") << 0 << qint64(0) << "" << Started << false;
    QTest::newRow("moved for an event that writes nothing")
        << 0 << qint64(10) << "" << ReceiverOpened << true;
    QTest::newRow("moved for code 5") << 0 << qint64(10) << "" << EventCode(5) << true;
    QTest::newRow("failed move appends in place")
        << 0 << qint64(10) << "folder" << Started << false;
}

void EventLogTest::rotatesPastTheLimit() {
    QFETCH(int, maxSizeLogs);
    QFETCH(qint64, size);
    QFETCH(QString, previous);
    QFETCH(EventCode, code);
    QFETCH(bool, moved);
    maxSizeLogs_ = maxSizeLogs;
    showAllLogs_ = false;

    QVERIFY(QDir().mkdir(LogFolder()));
    QByteArray old(size, 'x');
    if (size > 0)
        old.back() = '\n';
    WriteFile(LogsPath(), old);
    if (previous == QLatin1String("file"))
        WriteFile(StLogsPath(), "older log\r\n");
    if (previous == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(StLogsPath()));
        WriteFile(StLogsPath() + QStringLiteral("/keep"), "keep");
    }

    log_->LogEvent(kFull, code, QString());

    const QByteArray line =
        code == Started
            ? Line(kNowStamp, QStringLiteral("Соединение с именем \"Склад\" было запущенно."))
                  .toUtf8()
            : QByteArray();
    if (moved) {
        QCOMPARE(ReadAll(StLogsPath()), old);
        QCOMPARE(ReadAll(LogsPath()), line);
        QVERIFY(QFileInfo(LogsPath()).isFile());
    } else {
        QCOMPARE(ReadAll(LogsPath()), old + line);
        if (previous.isEmpty())
            QVERIFY(!QFile::exists(StLogsPath()));
    }
}

void EventLogTest::zeroLimitKeepsOnlyTheLastEvent() {
    maxSizeLogs_ = 0;
    const QByteArray started =
        Line(kNowStamp, QStringLiteral("Соединение с именем \"Склад\" было запущенно.")).toUtf8();
    const QByteArray error =
        Line(kNowStamp,
             QStringLiteral(
                 "В соединение с именем \"Склад\" произошла ошибка при обновлении данных."))
            .toUtf8() +
        QStringLiteral("\r\nНет связи\r\n\r\n").toUtf8();
    const QByteArray stopped =
        Line(kNowStamp, QStringLiteral("Соединение с именем \"Склад\" было остановлено.")).toUtf8();

    log_->LogEvent(kFull, Started, QString());
    QCOMPARE(ReadAll(LogsPath()), started);
    log_->LogEvent(kFull, UpdateFailed, QStringLiteral("Нет связи"));
    QCOMPARE(ReadAll(LogsPath()), error);
    QCOMPARE(ReadAll(StLogsPath()), started);
    log_->LogEvent(kFull, Stopped, QString());
    QCOMPARE(ReadAll(LogsPath()), stopped);
    QCOMPARE(ReadAll(StLogsPath()), error);
}

void EventLogTest::leavesTheCursorsWhereTheyAre() {
    dm_->Connection.MoveTo(1);
    dm_->Receiver.Last();
    dm_->Source.First();

    for (EventCode code : {Started, Updated, UpdateFailed, ReceiverOpened, SourceOpened,
                           ReceiverSelected, SourceSelected, ReceiverClosed, SourceReleased})
        log_->LogEvent(kMidnight, code, QString());
    log_->LogEvent(kUnknown, ReceiverOpened, QString());

    QCOMPARE(dm_->Connection.RecNo(), 1);
    QCOMPARE(dm_->Connection.FieldByName(Fields::Connection::Id).AsInteger(), kMissingEnds);
    QCOMPARE(dm_->Receiver.RecNo(), 1);
    QCOMPARE(dm_->Source.RecNo(), 0);
    QCOMPARE(dm_->Connection.State(), RecordSetState::Browse);
    QCOMPARE(dm_->Receiver.State(), RecordSetState::Browse);
    QCOMPARE(dm_->Source.State(), RecordSetState::Browse);
}

void EventLogTest::raisesFileErrorsWithoutLeavingTheFileOpen_data() {
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("inOutError");

    QTest::newRow("Log folder not writable")
        << Fault::ReadOnlyFolder << "File access denied" << true;
    QTest::newRow("Log is a file") << Fault::FolderIsFile << "Invalid filename" << true;
    QTest::newRow("Logs.txt is a folder") << Fault::LogIsFolder << "File access denied" << true;
    QTest::newRow("disk full") << Fault::DiskFull << "Disk full" << true;
    QTest::newRow("Logs.txt not readable")
        << Fault::UnreadableLog << "Cannot open file {path}" << false;
}

void EventLogTest::raisesFileErrorsWithoutLeavingTheFileOpen() {
    QFETCH(Fault, fault);
    QFETCH(QString, message);
    QFETCH(bool, inOutError);
    message.replace(QStringLiteral("{path}"), LogsPath());

    switch (fault) {
    case Fault::ReadOnlyFolder:
        QVERIFY(QDir().mkdir(LogFolder()));
        QVERIFY(QFile::setPermissions(LogFolder(), QFile::ReadOwner | QFile::ExeOwner |
                                                       QFile::ReadOther | QFile::ExeOther));
        break;
    case Fault::FolderIsFile:
        WriteFile(LogFolder(), "not a folder");
        break;
    case Fault::LogIsFolder:
        QVERIFY(QDir().mkpath(LogsPath()));
        break;
    case Fault::DiskFull:
        QVERIFY(QDir().mkdir(LogFolder()));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), LogsPath()));
        break;
    case Fault::UnreadableLog:
        QVERIFY(QDir().mkdir(LogFolder()));
        WriteFile(LogsPath(), "kept\r\n");
        QVERIFY(QFile::setPermissions(LogsPath(), QFile::WriteOwner | QFile::WriteOther));
        break;
    }

    const int descriptors = OpenDescriptors();
    QString raised;
    bool raisedInOutError = false;
    {
        const auto unprivileged = AsUnprivileged();
        try {
            log_->LogEvent(kFull, Started, QString());
        } catch (const Exception& e) {
            raised = e.Message();
            raisedInOutError = typeid(e) == typeid(EInOutError);
        }
    }
    QCOMPARE(raised, message);
    QCOMPARE(raisedInOutError, inOutError);
    QCOMPARE(OpenDescriptors(), descriptors);

    if (fault == Fault::ReadOnlyFolder)
        QVERIFY(!QFile::exists(LogsPath()));
    if (fault == Fault::UnreadableLog) {
        QVERIFY(QFile::setPermissions(LogsPath(), QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(ReadAll(LogsPath()), QByteArray("kept\r\n"));
    }
}

QTEST_GUILESS_MAIN(EventLogTest)
#include "EventLogTest.moc"

#include "support/FileBytes.h"
#include "support/TestPaths.h"

#include "core/TableFields.h"
#include "platform/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QStringList kLocales = {QStringLiteral("C.UTF-8"), QStringLiteral("ru_RU.UTF-8"),
                              QStringLiteral("de_DE.UTF-8"), QStringLiteral("en_US.UTF-8")};

// Dates on both sides of any century window, midnight and the last second of a day; no
// weekday is set, so no connection ever works.
const char kSettings[] = "[Connection]\r\n"
                         "Id=1`2`3\r\n"
                         "Name_Connection=Склад`Магазин`Касса\r\n"
                         "Update_Time=05.03.1940 14:30:00``31.12.2049\r\n"
                         "Time_Update=30`15`60\r\n"
                         "TimeStart=9:00:00`0:00:00`13:05:09\r\n"
                         "TimeEnd=18:00:00`23:59:59`0:00:00\r\n";

const QStringList kCheckedKeys = {Fields::Connection::Name_Connection,
                                  Fields::Connection::Update_Time, Fields::Connection::TimeStart,
                                  Fields::Connection::TimeEnd};

QString Program() {
    return TestPaths::BinaryDir() + QStringLiteral("/src/app/corvane");
}

// The program without a window under the locale, on a folder holding the file: it loads the
// file, and writes it back when it is told to end.
void LoadAndSaveUnder(const QString& locale, const QString& folder, QString& errors) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale);
    environment.insert(QStringLiteral("LANG"), locale);
    program.setProcessEnvironment(environment);
    program.setProgram(Program());
    program.setArguments({QStringLiteral("--headless"), QStringLiteral("--folder"), folder});
    program.start();
    QVERIFY(program.waitForStarted());
    const QString running = QStringLiteral("Остановка: SIGTERM");
    while (!errors.contains(running) && program.state() == QProcess::Running) {
        program.waitForReadyRead(200);
        errors += QString::fromUtf8(program.readAllStandardError());
    }
    if (program.state() == QProcess::Running) {
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(20000));
    }
    errors += QString::fromUtf8(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 0, qPrintable(errors));
}

QStringList CheckedValues(const QString& path) {
    const ProfileFile file(path);
    QStringList values;
    for (const QString& key : kCheckedKeys)
        values << key + u'=' + file.ReadString(QStringLiteral("Connection"), key);
    return values;
}

QStringList ExpectedValues() {
    QStringList values;
    for (const QByteArray& line : QByteArray(kSettings).split('\n')) {
        const QString text = QString::fromUtf8(line.trimmed());
        if (kCheckedKeys.contains(text.section(u'=', 0, 0)))
            values << text;
    }
    return values;
}

} // namespace

// A settings file written under any locale loads under every other with the same values.
class SettingsLocaleTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QHash<QString, QByteArray> writtenUnder_;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QFileInfo(Program()).isExecutable(), qPrintable(Program()));
        QProcess list;
        list.start(QStringLiteral("locale"), {QStringLiteral("-a")});
        QVERIFY(list.waitForFinished());
        const QString available = QString::fromUtf8(list.readAllStandardOutput()).toLower();
        for (QString locale : kLocales)
            QVERIFY2(available.contains(locale.replace(QStringLiteral("UTF-8"), "utf8").toLower()),
                     qPrintable(locale + QStringLiteral(" is not generated")));
    }

    void readsUnderEveryLocaleWhatAnyWrote_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("reader");
        for (const QString& writer : kLocales) {
            for (const QString& reader : kLocales)
                QTest::addRow("%s by %s", qPrintable(writer), qPrintable(reader))
                    << writer << reader;
        }
    }

    void readsUnderEveryLocaleWhatAnyWrote() {
        QFETCH(QString, writer);
        QFETCH(QString, reader);
        const QString folder = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/Corvane.ini");

        if (!writtenUnder_.contains(writer)) {
            FileBytes::Write(path, kSettings);
            QString errors;
            LoadAndSaveUnder(writer, folder, errors);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(CheckedValues(path), ExpectedValues());
            writtenUnder_.insert(writer, FileBytes::Read(path));
        }
        FileBytes::Write(path, writtenUnder_.value(writer));
        QString errors;
        LoadAndSaveUnder(reader, folder, errors);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(CheckedValues(path), ExpectedValues());
    }
};

QTEST_GUILESS_MAIN(SettingsLocaleTest)
#include "SettingsLocaleTest.moc"

#include "platform/ProfileFile.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobodyId = 65534;

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Runs the action in a child process without root's rights (root writes through any mode
// bits) and returns the message of the Exception it threw, or "no exception".
// Under root the folder and files of a case belong to the unprivileged user, so that their
// mode bits decide.
void HandToUnprivileged(const QString& path) {
    if (geteuid() == 0)
        QCOMPARE(chown(QFile::encodeName(path).constData(), kNobodyId, kNobodyId), 0);
}

template <typename Action> QString MessageOfUnprivileged(Action action) {
    int channel[2];
    if (pipe(channel) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        QByteArray message = "no exception";
        if (geteuid() == 0 && (setgid(kNobodyId) != 0 || setuid(kNobodyId) != 0)) {
            message = "could not drop privileges";
        } else {
            try {
                action();
            } catch (const Exception& error) {
                message = error.Message().toUtf8();
            }
        }
        const ssize_t written = write(channel[1], message.constData(), message.size());
        _exit(written == message.size() ? 0 : 1);
    }
    close(channel[1]);
    QByteArray message;
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(channel[0], buffer, sizeof(buffer))) > 0)
        message.append(buffer, got);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return QString::fromUtf8(message);
}

} // namespace

class ProfileFileTest : public QObject {
    Q_OBJECT

private:
    QString PathOf(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // the unprivileged children must reach the folder
        QVERIFY(QFile::setPermissions(
            dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                             QFileDevice::ReadOther | QFileDevice::ExeOther));
    }

    void readsConventions_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray connection =
            "[Receiver]\r\nConnection_String=Driver=Firebird/InterBase(r) driver;DBNAME=x\r\n";
        QTest::newRow("equals inside value") << connection << "Receiver"
                                             << "Connection_String"
                                             << "Driver=Firebird/InterBase(r) driver;DBNAME=x";
        QTest::newRow("section without case") << connection << "RECEIVER"
                                              << "Connection_String"
                                              << "Driver=Firebird/InterBase(r) driver;DBNAME=x";
        QTest::newRow("key without case") << connection << "receiver"
                                          << "connection_string"
                                          << "Driver=Firebird/InterBase(r) driver;DBNAME=x";
        QTest::newRow("blanks around value and key")
            << QByteArray("[S]\r\n  Key \t=   a  b \t\r\n") << "S"
            << "key"
            << "a  b";
        QTest::newRow("blanks around section name")
            << QByteArray(" [ Settings ] \nK=1\n") << "settings"
            << "K"
            << "1";
        QTest::newRow("quoted value") << QByteArray("[S]\r\nK=\" a \"\r\n") << "S"
                                      << "K"
                                      << " a ";
        QTest::newRow("one quote only") << QByteArray("[S]\r\nK=\"a\r\n") << "S"
                                        << "K"
                                        << "\"a";
        QTest::newRow("inner quotes") << QByteArray("[S]\r\nK=a \"b\" c\r\n") << "S"
                                      << "K"
                                      << "a \"b\" c";
        QTest::newRow("empty value") << QByteArray("[S]\r\nK=\r\n") << "S"
                                     << "K"
                                     << "";
        QTest::newRow("missing key") << QByteArray("[S]\r\nK=1\r\n") << "S"
                                     << "L"
                                     << "default";
        QTest::newRow("missing section") << QByteArray("[S]\r\nK=1\r\n") << "T"
                                         << "K"
                                         << "default";
        QTest::newRow("key of another section") << QByteArray("[A]\r\nK=1\r\n[B]\r\nL=2\r\n") << "B"
                                                << "K"
                                                << "default";
        QTest::newRow("first of two keys") << QByteArray("[S]\r\nK=1\r\nk=2\r\n") << "S"
                                           << "K"
                                           << "1";
        QTest::newRow("first of two sections") << QByteArray("[S]\r\nK=1\r\n[s]\r\nK=2\r\n") << "S"
                                               << "K"
                                               << "1";
        QTest::newRow("LF line ends") << QByteArray("[A]\nK=1\n[B]\nK=2\n") << "B"
                                      << "K"
                                      << "2";
        QTest::newRow("no final line end") << QByteArray("[A]\r\nK=last") << "A"
                                           << "K"
                                           << "last";
        QTest::newRow("comment is no key") << QByteArray("[A]\r\n;K=1\r\n") << "A"
                                           << "K"
                                           << "default";
        QTest::newRow("brackets in value") << QByteArray("[A]\r\nK=[x]\r\n") << "A"
                                           << "K"
                                           << "[x]";
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[A]\r\nK=1\r\n") << "A"
                                         << "K"
                                         << "1";
        QTest::newRow("backquoted list") << QByteArray("[Connection]\r\nId=1`3\r\n") << "Connection"
                                         << "Id"
                                         << "1`3";
    }

    void readsConventions() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString path = PathOf(QStringLiteral("read.ini"));
        WriteBytes(path, content);
        const ProfileFile file(path);
        QCOMPARE(file.ReadString(section, key, QStringLiteral("default")), expected);
    }

    void valueComesBackAsWritten_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << "plain" << QByteArray("K=plain");
        QTest::newRow("empty") << "" << QByteArray("K=");
        QTest::newRow("leading blank") << " lead" << QByteArray("K=\" lead\"");
        QTest::newRow("trailing blank") << "trail " << QByteArray("K=\"trail \"");
        QTest::newRow("trailing tab") << "tab\t" << QByteArray("K=\"tab\t\"");
        QTest::newRow("only blanks") << "   " << QByteArray("K=\"   \"");
        QTest::newRow("quoted") << "\"q\"" << QByteArray("K=\"\"q\"\"");
        QTest::newRow("one quote") << "\"" << QByteArray("K=\"\"\"");
        QTest::newRow("two quotes") << "\"\"" << QByteArray("K=\"\"\"\"");
        QTest::newRow("leading quote") << "\"a" << QByteArray("K=\"\"a\"");
        QTest::newRow("inner quote") << "a\"b" << QByteArray("K=a\"b");
        QTest::newRow("inner blanks") << "a  b" << QByteArray("K=a  b");
        QTest::newRow("connection string")
            << "Driver=Firebird/InterBase(r) driver;DBNAME=localhost:/db/x.fdb;PWD=***"
            << QByteArray("K=Driver=Firebird/InterBase(r) driver;DBNAME=localhost:/db/x.fdb;"
                          "PWD=***");
        QTest::newRow("russian") << "Склад`Магазин" << QStringLiteral("K=Склад`Магазин").toUtf8();
        QTest::newRow("semicolon") << ";x" << QByteArray("K=;x");
        QTest::newRow("bracket") << "[x]" << QByteArray("K=[x]");
        QTest::newRow("equals") << "=" << QByteArray("K==");
    }

    void valueComesBackAsWritten() {
        QFETCH(QString, value);
        QFETCH(QByteArray, line);
        const QString path = PathOf(QStringLiteral("roundtrip.ini"));
        QFile::remove(path);
        ProfileFile written(path);
        written.WriteString(QStringLiteral("S"), QStringLiteral("K"), value);
        QCOMPARE(written.ReadString(QStringLiteral("S"), QStringLiteral("K")), value);
        written.Save();
        QCOMPARE(ReadBytes(path), "[S]\r\n" + line + "\r\n");
        const ProfileFile reread(path);
        QCOMPARE(reread.ReadString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("?")),
                 value);
        QCOMPARE(reread.ReadSection(QStringLiteral("S")),
                 QStringList{QStringLiteral("K=") + value});
    }

    void refusesLineBreaksAndBadNames_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("LF in value") << "S"
                                     << "K"
                                     << "a\nb";
        QTest::newRow("CR in value") << "S"
                                     << "K"
                                     << "a\rb";
        QTest::newRow("equals in key") << "S"
                                       << "K=1"
                                       << "v";
        QTest::newRow("empty key") << "S"
                                   << " "
                                   << "v";
        QTest::newRow("comment key") << "S"
                                     << ";K"
                                     << "v";
        QTest::newRow("bracket in section") << "S]"
                                            << "K"
                                            << "v";
        QTest::newRow("empty section") << ""
                                       << "K"
                                       << "v";
        QTest::newRow("LF in section") << "S\nT"
                                       << "K"
                                       << "v";
    }

    void refusesLineBreaksAndBadNames() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QString path = PathOf(QStringLiteral("refused.ini"));
        WriteBytes(path, "[S]\r\nK=old\r\n");
        ProfileFile file(path);
        QVERIFY_THROWS_EXCEPTION(Exception, file.WriteString(section, key, value));
        QCOMPARE(file.ReadSection(QStringLiteral("S")), QStringList{QStringLiteral("K=old")});
    }

    void placesWrites_data() {
        QTest::addColumn<QByteArray>("before");
        // section, key, value; three entries per write
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<QByteArray>("after");
        const QByteArray twoSections = "[A]\r\nX=1\r\nY=2\r\n[B]\r\nZ=3\r\n";
        QTest::newRow("replace where it stands")
            << twoSections << QStringList{"a", "x", "9"}
            << QByteArray("[A]\r\nX=9\r\nY=2\r\n[B]\r\nZ=3\r\n");
        QTest::newRow("replace loose spacing")
            << QByteArray("[A]\r\n  X = 1 \r\nY=2\r\n") << QStringList{"A", "X", "5"}
            << QByteArray("[A]\r\nX=5\r\nY=2\r\n");
        QTest::newRow("new key at end of its section")
            << twoSections << QStringList{"A", "W", "4"}
            << QByteArray("[A]\r\nX=1\r\nY=2\r\nW=4\r\n[B]\r\nZ=3\r\n");
        QTest::newRow("new key before blank lines")
            << QByteArray("[A]\r\nX=1\r\n\r\n\r\n[B]\r\nZ=3\r\n") << QStringList{"A", "W", "4"}
            << QByteArray("[A]\r\nX=1\r\nW=4\r\n\r\n\r\n[B]\r\nZ=3\r\n");
        QTest::newRow("new key in last section")
            << twoSections << QStringList{"b", "W", "4"}
            << QByteArray("[A]\r\nX=1\r\nY=2\r\n[B]\r\nZ=3\r\nW=4\r\n");
        QTest::newRow("new key in empty section")
            << QByteArray("[A]\r\n[B]\r\n") << QStringList{"A", "K", "v"}
            << QByteArray("[A]\r\nK=v\r\n[B]\r\n");
        QTest::newRow("new section at end of file")
            << twoSections << QStringList{"C", "K", "v"}
            << QByteArray("[A]\r\nX=1\r\nY=2\r\n[B]\r\nZ=3\r\n[C]\r\nK=v\r\n");
        QTest::newRow("missing file is created")
            << QByteArray() << QStringList{"Counter_Id", "Counter_Source", "0"}
            << QByteArray("[Counter_Id]\r\nCounter_Source=0\r\n");
        QTest::newRow("keys in write order")
            << QByteArray() << QStringList{"Source", "Id", "", "Source", "Name_Source", ""}
            << QByteArray("[Source]\r\nId=\r\nName_Source=\r\n");
        QTest::newRow("empty value") << twoSections << QStringList{"B", "Z", ""}
                                     << QByteArray("[A]\r\nX=1\r\nY=2\r\n[B]\r\nZ=\r\n");
        QTest::newRow("unknown lines kept")
            << QByteArray("; settings\r\n[A]\r\nfree text\r\nX=1\r\n; note\r\n\r\n[Other]\r\n"
                          "Q=1\r\n")
            << QStringList{"A", "X", "2", "A", "N", "new"}
            << QByteArray("; settings\r\n[A]\r\nfree text\r\nX=2\r\n; note\r\nN=new\r\n\r\n"
                          "[Other]\r\nQ=1\r\n");
        QTest::newRow("LF file saved with CR LF")
            << QByteArray("[A]\nX=1\n") << QStringList{"A", "X", "2"}
            << QByteArray("[A]\r\nX=2\r\n");
        QTest::newRow("second write replaces the first")
            << QByteArray() << QStringList{"A", "K", "1", "A", "k", "2"}
            << QByteArray("[A]\r\nK=2\r\n");
        QTest::newRow("duplicate key: the first is written, the later kept")
            << QByteArray("[A]\r\nK=1\r\nX=0\r\nk=2\r\n") << QStringList{"A", "K", "3"}
            << QByteArray("[A]\r\nK=3\r\nX=0\r\nk=2\r\n");
        QTest::newRow("duplicate section: the first is written, the later kept")
            << QByteArray("[A]\r\nK=1\r\n[B]\r\n[a]\r\nK=2\r\n")
            << QStringList{"A", "K", "3", "A", "N", "4"}
            << QByteArray("[A]\r\nK=3\r\nN=4\r\n[B]\r\n[a]\r\nK=2\r\n");
        QTest::newRow("UTF-16 file saved as UTF-16") << QByteArray("\xFF\xFE[\0A\0]\0\n\0K\0=\0"
                                                                   "1\0",
                                                                   16)
                                                     << QStringList{"A", "K", "2"}
                                                     << QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0K\0=\0"
                                                                   "2\0\r\0\n\0",
                                                                   22);
    }

    void duplicatesReadTheFirst() {
        const QString path = PathOf(QStringLiteral("duplicates.ini"));
        WriteBytes(path, "[A]\r\nK=1\r\nX=0\r\nk=2\r\n[a]\r\nK=3\r\nY=4\r\n");
        const ProfileFile file(path);
        QCOMPARE(file.ReadString(QStringLiteral("A"), QStringLiteral("K")), "1");
        QCOMPARE(file.ReadString(QStringLiteral("A"), QStringLiteral("Y"), QStringLiteral("-")),
                 "-");
        QCOMPARE(file.ReadSection(QStringLiteral("a")), (QStringList{"K=1", "X=0"}));
        QStringList lines;
        file.ForEachKeyLine(QStringLiteral("A"), [&](QStringView key, QStringView value) {
            lines << key.toString() + u'=' + value.toString();
        });
        QCOMPARE(lines, (QStringList{"K=1", "X=0", "k=2"}));
    }

    void refusesWhatIsNoSettingsFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no text") << QByteArray("[A]\r\nK=\0\r\n", 9) << qint64(0)
                                 << ": it is not text in UTF-8, Windows-1251 or UTF-16 with a "
                                    "byte-order mark; it was left unchanged";
        QTest::newRow("too large") << QByteArray("[A]\r\nK=1\r\n") << qint64(64 << 20) + 1
                                   << ": it is larger than 64 MiB, too large for a settings file";
    }

    void refusesWhatIsNoSettingsFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, size);
        QFETCH(QString, reason);
        const QString path = PathOf(QStringLiteral("refused whole.ini"));
        WriteBytes(path, bytes);
        if (size > 0) {
            QFile file(path);
            QVERIFY(file.resize(size)); // sparse, holds blanks as NULs
        }
        try {
            const ProfileFile file(path);
            QFAIL("the file was read");
        } catch (const Exception& error) {
            QCOMPARE(error.Message(), QStringLiteral("Unable to read from ") + path + reason);
        }
    }

    void placesWrites() {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, writes);
        QFETCH(QByteArray, after);
        const QString path = PathOf(QStringLiteral("place.ini"));
        QFile::remove(path);
        if (!before.isNull())
            WriteBytes(path, before);
        ProfileFile file(path);
        for (qsizetype i = 0; i + 2 < writes.size(); i += 3)
            file.WriteString(writes[i], writes[i + 1], writes[i + 2]);
        file.Save();
        QCOMPARE(ReadBytes(path), after);
    }

    void readsSectionInFileOrder() {
        const QString path = PathOf(QStringLiteral("section.ini"));
        WriteBytes(path, "[Connection]\r\nId=1`3\r\n; comment\r\n\r\n  Name_Connection = A`B \r\n"
                         "Status=\"0`0\"\r\nfree text\r\nUpdate_Time=\r\n[Source]\r\nId=7\r\n");
        const ProfileFile file(path);
        QCOMPARE(file.ReadSection(QStringLiteral("connection")),
                 (QStringList{"Id=1`3", "Name_Connection=A`B", "Status=0`0", "Update_Time="}));
        QCOMPARE(file.ReadSection(QStringLiteral("Source")), QStringList{"Id=7"});
        QVERIFY(file.ReadSection(QStringLiteral("Receiver")).isEmpty());
    }

    void readsIntegers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << "5" << 5;
        QTest::newRow("negative") << "-7" << -7;
        QTest::newRow("plus sign") << "+3" << 3;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("hexadecimal") << "0x10" << 16;
        QTest::newRow("hexadecimal capitals") << "0X1F" << 31;
        QTest::newRow("all bits") << "0xFFFFFFFF" << -1;
        QTest::newRow("word") << "three" << 3;
        QTest::newRow("empty") << "" << 3;
        QTest::newRow("trailing letters") << "12abc" << 3;
        QTest::newRow("fraction") << "1.5" << 3;
        QTest::newRow("prefix only") << "0x" << 3;
        QTest::newRow("bad hex digit") << "0xG" << 3;
        QTest::newRow("signed hex") << "0x-1" << 3;
        QTest::newRow("inner blank") << "1 2" << 3;
        QTest::newRow("too large") << "99999999999" << 3;
    }

    void readsIntegers() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const QString path = PathOf(QStringLiteral("integer.ini"));
        WriteBytes(path, "[Settings]\r\nNumberAttempts=" + text.toUtf8() + "\r\n");
        const ProfileFile file(path);
        QCOMPARE(file.ReadInteger(QStringLiteral("Settings"), QStringLiteral("NumberAttempts"), 3),
                 expected);
    }

    void missingIntegerGivesDefault() {
        const ProfileFile file(PathOf(QStringLiteral("absent.ini")));
        QCOMPARE(file.ReadInteger(QStringLiteral("Settings"), QStringLiteral("MaxSizeLogs"), 5), 5);
        QVERIFY(!QFile::exists(PathOf(QStringLiteral("absent.ini"))));
    }

    void readsWindows1251File() {
        const QString path = PathOf(QStringLiteral("cp1251.ini"));
        // "Склад`Магазин" and "Основной" in Windows-1251
        WriteBytes(path, "[Connection]\r\nName_Connection=\xD1\xEA\xEB\xE0\xE4`\xCC\xE0\xE3\xE0"
                         "\xE7\xE8\xED\r\n[Receiver]\r\nName_Receiver=\xCE\xF1\xED\xEE\xE2\xED"
                         "\xEE\xE9\r\n");
        ProfileFile file(path);
        QCOMPARE(file.ReadString(QStringLiteral("Connection"), QStringLiteral("Name_Connection")),
                 QStringLiteral("Склад`Магазин"));
        file.WriteString(QStringLiteral("Receiver"), QStringLiteral("Key_Field"),
                         QStringLiteral("Код"));
        file.Save();
        QCOMPARE(ReadBytes(path),
                 QStringLiteral("[Connection]\r\nName_Connection=Склад`Магазин\r\n[Receiver]\r\n"
                                "Name_Receiver=Основной\r\nKey_Field=Код\r\n")
                     .toUtf8());
    }

    void readsTenMegabyteValue() {
        const QString path = PathOf(QStringLiteral("long.ini"));
        QString value;
        value.reserve(10 * 1024 * 1024);
        for (int row = 0; value.size() < 10 * 1024 * 1024; ++row)
            value += QStringLiteral("SELECT Code, Quantity FROM Stock WHERE Row = %1`").arg(row);
        value += QStringLiteral("end");
        {
            ProfileFile file(path);
            file.WriteString(QStringLiteral("Source"), QStringLiteral("SQL_Query"), value);
            file.WriteString(QStringLiteral("Source"), QStringLiteral("Id"), QStringLiteral("1"));
            file.Save();
        }
        const ProfileFile file(path);
        QCOMPARE(file.ReadString(QStringLiteral("Source"), QStringLiteral("SQL_Query")), value);
        QCOMPARE(file.ReadString(QStringLiteral("Source"), QStringLiteral("Id")), "1");
        QCOMPARE(file.ReadSection(QStringLiteral("Source")).first(),
                 QStringLiteral("SQL_Query=") + value);
    }

    void handlesSectionOfManyKeys() {
        const QString path = PathOf(QStringLiteral("many.ini"));
        constexpr int count = 100000;
        {
            ProfileFile file(path);
            for (int i = 0; i < count; ++i) {
                file.WriteString(QStringLiteral("Big"), QStringLiteral("Key%1").arg(i),
                                 QString::number(i * 3));
            }
            file.WriteString(QStringLiteral("Tail"), QStringLiteral("K"), QStringLiteral("t"));
            file.Save();
        }
        ProfileFile file(path);
        const QStringList lines = file.ReadSection(QStringLiteral("big"));
        QCOMPARE(lines.size(), count);
        QCOMPARE(lines.first(), QStringLiteral("Key0=0"));
        QCOMPARE(lines.last(), QStringLiteral("Key99999=299997"));
        QCOMPARE(file.ReadInteger(QStringLiteral("Big"), QStringLiteral("KEY51234"), -1),
                 51234 * 3);
        for (int i = 0; i < count; ++i) {
            file.WriteString(QStringLiteral("Big"), QStringLiteral("key%1").arg(i),
                             QString::number(i));
        }
        QCOMPARE(file.ReadSection(QStringLiteral("Big")).at(777), QStringLiteral("Key777=777"));
        QCOMPARE(file.ReadString(QStringLiteral("Tail"), QStringLiteral("K")), "t");
    }

    // A save killed at any moment leaves the whole old file or the whole new one.
    void saveIsAtomic() {
        const QString path = PathOf(QStringLiteral("atomic.ini"));
        QFile::remove(path);
        ProfileFile first(path);
        ProfileFile second(path);
        for (int i = 0; i < 20000; ++i) {
            first.WriteString(QStringLiteral("Data"), QStringLiteral("K%1").arg(i),
                              QStringLiteral("first value %1").arg(i));
            second.WriteString(QStringLiteral("Data"), QStringLiteral("K%1").arg(i),
                               QStringLiteral("second, another length %1").arg(i));
        }
        second.Save();
        const QByteArray secondBytes = ReadBytes(path);
        first.Save();
        const QByteArray firstBytes = ReadBytes(path);
        QVERIFY(!firstBytes.isEmpty() && firstBytes != secondBytes);

        for (int round = 0; round < 50; ++round) {
            int ready[2];
            QCOMPARE(pipe(ready), 0);
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                close(ready[0]);
                second.Save();
                const char byte = 1;
                if (write(ready[1], &byte, 1) != 1)
                    _exit(1);
                for (;;) {
                    first.Save();
                    second.Save();
                }
            }
            close(ready[1]);
            char byte = 0;
            QCOMPARE(read(ready[0], &byte, 1), ssize_t(1));
            close(ready[0]);
            QThread::usleep(QRandomGenerator::global()->bounded(20000));
            QCOMPARE(kill(child, SIGKILL), 0);
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY(WIFSIGNALED(status));

            const QByteArray bytes = ReadBytes(path);
            QVERIFY2(bytes == firstBytes || bytes == secondBytes,
                     qPrintable(QStringLiteral("round %1: %2 bytes").arg(round).arg(bytes.size())));
            const ProfileFile reread(path);
            QCOMPARE(reread.ReadSection(QStringLiteral("Data")).size(), 20000);
        }
    }

    // The file holds passwords: every save leaves it to its owner and tells when others lost
    // rights by it.
    void everySaveLeavesTheFileToItsOwner() {
        const QString path = PathOf(QStringLiteral("mode.ini"));
        QFile::remove(path);
        const mode_t previous = umask(022);
        ProfileFile file(path);
        file.WriteString(QStringLiteral("A"), QStringLiteral("K"), QStringLiteral("1"));
        const bool newFileTookRights = file.Save();
        umask(previous);
        QVERIFY(!newFileTookRights);
        struct stat info {};
        QCOMPARE(stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));

        for (const mode_t mode : {mode_t(0640), mode_t(0606), mode_t(0600), mode_t(0700)}) {
            QCOMPARE(chmod(QFile::encodeName(path).constData(), mode), 0);
            file.WriteString(QStringLiteral("A"), QStringLiteral("K"), QString::number(mode));
            QCOMPARE(file.Save(), (mode & 077) != 0);
            QCOMPARE(stat(QFile::encodeName(path).constData(), &info), 0);
            QCOMPARE(info.st_mode & 07777, mode_t(0600));
            QCOMPARE(ProfileFile(path).ReadString(QStringLiteral("A"), QStringLiteral("K")),
                     QString::number(mode));
        }
    }

    void saveFailureNamesThePath_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("read-only folder") << PathOf(QStringLiteral("readonly/Corvane.ini"));
        QTest::newRow("read-only file") << PathOf(QStringLiteral("locked.ini"));
        QTest::newRow("missing folder") << PathOf(QStringLiteral("missing/Corvane.ini"));
    }

    void saveFailureNamesThePath() {
        QFETCH(QString, path);
        QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("readonly")));
        HandToUnprivileged(PathOf(QStringLiteral("readonly")));
        QCOMPARE(chmod(QFile::encodeName(PathOf(QStringLiteral("readonly"))).constData(), 0555), 0);
        const QString locked = PathOf(QStringLiteral("locked.ini"));
        if (!QFile::exists(locked))
            WriteBytes(locked, "[A]\r\nK=old\r\n");
        HandToUnprivileged(locked);
        QCOMPARE(chmod(QFile::encodeName(locked).constData(), 0444), 0);

        const QString message = MessageOfUnprivileged([&path] {
            ProfileFile file(path);
            file.WriteString(QStringLiteral("A"), QStringLiteral("K"), QStringLiteral("new"));
            file.Save();
        });
        QCOMPARE(message, QStringLiteral("Unable to write to ") + path);
        QCOMPARE(ReadBytes(locked), QByteArray("[A]\r\nK=old\r\n"));
        QVERIFY(!QFile::exists(PathOf(QStringLiteral("readonly/Corvane.ini"))));
    }

    void unreadableFileIsAnError_data() {
        QTest::addColumn<QString>("path");
        const QString secret = PathOf(QStringLiteral("secret.ini"));
        WriteBytes(secret, "[A]\r\nK=1\r\n");
        HandToUnprivileged(secret);
        QCOMPARE(chmod(QFile::encodeName(secret).constData(), 0200), 0);
        QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("folder.ini")));
        QTest::newRow("no read permission") << secret;
        QTest::newRow("path is a folder") << PathOf(QStringLiteral("folder.ini"));
    }

    void unreadableFileIsAnError() {
        QFETCH(QString, path);
        const QString message = MessageOfUnprivileged([&path] { ProfileFile file(path); });
        QCOMPARE(message, QStringLiteral("Unable to read from ") + path);
    }
};

QTEST_GUILESS_MAIN(ProfileFileTest)
#include "ProfileFileTest.moc"

#include "service/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class ProgramFolderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("rest");
        const QString here = QCoreApplication::applicationDirPath();
        QTest::newRow("nothing") << QStringList() << true << here << QStringList();
        QTest::newRow("run all") << QStringList{"RunAll"} << true << here << QStringList{"RunAll"};
        QTest::newRow("headless and folder")
            << QStringList{"--headless", "--folder", "/srv/corvane", "runall"} << true
            << QStringLiteral("/srv/corvane") << QStringList{"runall"};
        QTest::newRow("relative folder") << QStringList{"--folder", "data"} << true
                                         << QDir("data").absolutePath() << QStringList();
        QTest::newRow("folder without a folder")
            << QStringList{"RunAll", "--folder"} << false << QString() << QStringList();
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, valid);
        const std::optional<ProgramCommandLine> parsed = ParseProgramCommandLine(arguments);
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QTEST(parsed->Folder, "folder");
        QTEST(parsed->Arguments, "rest");
    }

    void oneRunningServicePerFolder() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        std::optional<ProgramFolderLock> first(std::in_place, folder.path());
        QCOMPARE(first->TryLock(), QString());

        ProgramFolderLock second(folder.path());
        const QString refusal = second.TryLock();
        QVERIFY2(refusal.contains(folder.path()), qPrintable(refusal));
        QVERIFY(refusal.contains(QString::number(QCoreApplication::applicationPid())));
        QVERIFY(second.HeldByAnother());

        first.reset();
        ProgramFolderLock third(folder.path());
        QCOMPARE(third.TryLock(), QString());
    }

    void folderThatCannotHoldALock() {
        ProgramFolderLock lock(QStringLiteral("/nonexistent/corvane"));
        QVERIFY(!lock.TryLock().isEmpty());
        QVERIFY(!lock.HeldByAnother());
    }
};

QTEST_GUILESS_MAIN(ProgramFolderTest)
#include "ProgramFolderTest.moc"

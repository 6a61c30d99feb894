#include "platform/Clock.h"

#include <QTest>

#include <atomic>
#include <limits>
#include <thread>

class ClockTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void longSystemWaitLastsUntilAborted_data() {
        QTest::addColumn<qint64>("ms");
        QTest::newRow("a day and more") << qint64(25) * 3600 * 1000;
        QTest::newRow("the longest period") << qint64(std::numeric_limits<int>::max()) * 60000;
    }

    // A wait longer than the steady clock can add to its present neither ends at once nor
    // outlives the end of the program.
    void longSystemWaitLastsUntilAborted() {
        QFETCH(qint64, ms);
        SystemClock clock;
        std::stop_source abort;
        std::atomic<int> result{-1};
        std::thread sleeper([&] { result = clock.Sleep(ms, abort.get_token()) ? 1 : 0; });
        QTest::qWait(300);
        const int early = result;
        abort.request_stop();
        sleeper.join();
        QCOMPARE(early, -1);
        QCOMPARE(result.load(), 0);
    }

    void shortSystemWaitEnds() {
        SystemClock clock;
        std::stop_source abort;
        QVERIFY(clock.Sleep(1, abort.get_token()));
        QVERIFY(clock.Sleep(0, abort.get_token()));
    }
};

QTEST_GUILESS_MAIN(ClockTest)
#include "ClockTest.moc"

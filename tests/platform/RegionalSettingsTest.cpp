#include "platform/RegionalSettings.h"
#include "support/LocaleRun.h"
#include "support/TimeZoneScope.h"

#include <QLocale>
#include <QTest>
#include <QThread>

#include <atomic>

namespace {

const QDate March5(2009, 3, 5);

void AddFormatColumns() {
    QTest::addColumn<QString>("dateFormat");
    QTest::addColumn<QString>("timeFormat");
}

} // namespace

class RegionalSettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { RegionalSettings::UseSystemFormats(); }

    // Run by the test itself under several locales, see SystemFormatsOfOtherLocales.
    void systemFormats() {
        const QString name = QLocale::system().name();
        QString date;
        QString time;
        QChar separator;
        if (name == QStringLiteral("C")) {
            date = QStringLiteral("dd.MM.yyyy");
            time = QStringLiteral("H:mm:ss");
            separator = u'.';
        } else if (name == QStringLiteral("ru_RU")) {
            date = QStringLiteral("dd.MM.yyyy");
            time = QStringLiteral("HH:mm:ss");
            separator = u',';
        } else if (name == QStringLiteral("en_US")) {
            date = QStringLiteral("M/d/yy");
            time = QStringLiteral("h:mm:ss AP");
            separator = u'.';
        } else {
            QSKIP("no expectation for this locale");
        }
        QCOMPARE(RegionalSettings::ShortDateFormat(), date);
        QCOMPARE(RegionalSettings::LongTimeFormat(), time);
        QCOMPARE(RegionalSettings::DecimalSeparator(), separator);
        const QDateTime value(March5, QTime(14, 30, 0));
        QCOMPARE(RegionalSettings::TextToDateTime(RegionalSettings::DateTimeToText(value)), value);
    }

    void systemFormatsOfOtherLocales_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("POSIX") << "POSIX";
        QTest::newRow("Russian") << "ru_RU.UTF-8";
        QTest::newRow("American") << "en_US.UTF-8";
    }

    void systemFormatsOfOtherLocales() {
        QFETCH(QString, locale);
        QString output;
        QVERIFY2(LocaleRun::RunFunctions(locale, {QStringLiteral("systemFormats")}, &output, 30000),
                 qPrintable(output));
    }

    void setFormatsDropsTimeZone_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("kept");
        QTest::newRow("none") << "H:mm:ss"
                              << "H:mm:ss";
        QTest::newRow("trailing") << "HH:mm:ss t"
                                  << "HH:mm:ss";
        QTest::newRow("long name") << "HH:mm:ss tttt"
                                   << "HH:mm:ss";
        QTest::newRow("after marker") << "h:mm:ss AP t"
                                      << "h:mm:ss AP";
        QTest::newRow("leading") << "t HH:mm"
                                 << "HH:mm";
        QTest::newRow("quoted letter") << "HH'h' mm 'at' t"
                                       << "HH'h' mm 'at'";
    }

    void setFormatsDropsTimeZone() {
        QFETCH(QString, given);
        QFETCH(QString, kept);
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), given, u',');
        QCOMPARE(RegionalSettings::LongTimeFormat(), kept);
        QCOMPARE(RegionalSettings::ShortDateFormat(), QStringLiteral("dd.MM.yyyy"));
        QCOMPARE(RegionalSettings::DecimalSeparator(), QChar(u','));
    }

    void formatsText_data() {
        AddFormatColumns();
        QTest::addColumn<QDateTime>("value");
        QTest::addColumn<QString>("dateTimeText");
        QTest::addColumn<QString>("timeText");
        const QString home = QStringLiteral("dd.MM.yyyy");
        const QString homeTime = QStringLiteral("H:mm:ss");
        const QString us = QStringLiteral("MM/dd/yyyy");
        const QString usTime = QStringLiteral("h:mm:ss AP");
        QTest::newRow("home afternoon")
            << home << homeTime << QDateTime(March5, QTime(14, 30)) << "05.03.2009 14:30:00"
            << "14:30:00";
        QTest::newRow("home one-digit hour")
            << home << homeTime << QDateTime(March5, QTime(9, 5, 7)) << "05.03.2009 9:05:07"
            << "9:05:07";
        QTest::newRow("home midnight")
            << home << homeTime << QDateTime(March5, QTime(0, 0)) << "05.03.2009"
            << "0:00:00";
        QTest::newRow("home just after midnight")
            << home << homeTime << QDateTime(March5, QTime(0, 0, 0, 1)) << "05.03.2009 0:00:00"
            << "0:00:00";
        QTest::newRow("home one second")
            << home << homeTime << QDateTime(March5, QTime(0, 0, 1)) << "05.03.2009 0:00:01"
            << "0:00:01";
        QTest::newRow("us afternoon")
            << us << usTime << QDateTime(March5, QTime(14, 30)) << "03/05/2009 2:30:00 PM"
            << "2:30:00 PM";
        QTest::newRow("us half past midnight")
            << us << usTime << QDateTime(March5, QTime(0, 30)) << "03/05/2009 12:30:00 AM"
            << "12:30:00 AM";
        QTest::newRow("us noon") << us << usTime << QDateTime(March5, QTime(12, 0))
                                 << "03/05/2009 12:00:00 PM"
                                 << "12:00:00 PM";
        QTest::newRow("us midnight")
            << us << usTime << QDateTime(March5, QTime(0, 0)) << "03/05/2009"
            << "12:00:00 AM";
    }

    void formatsText() {
        QFETCH(QString, dateFormat);
        QFETCH(QString, timeFormat);
        QFETCH(QDateTime, value);
        QFETCH(QString, dateTimeText);
        QFETCH(QString, timeText);
        RegionalSettings::SetFormats(dateFormat, timeFormat);
        QCOMPARE(RegionalSettings::DateTimeToText(value), dateTimeText);
        QCOMPARE(RegionalSettings::TimeToText(value.time()), timeText);
        const auto reread = RegionalSettings::TextToDateTime(dateTimeText);
        QVERIFY(reread.has_value());
        QCOMPARE(*reread, QDateTime(value.date(), QTime(value.time().hour(), value.time().minute(),
                                                        value.time().second())));
    }

    void readsDateTime_data() {
        AddFormatColumns();
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: the text is refused
        const QString home = QStringLiteral("dd.MM.yyyy");
        const QString homeTime = QStringLiteral("H:mm:ss");
        const QDateTime nine(March5, QTime(9, 0));
        const QDateTime refused;
        QTest::newRow("home full")
            << home << homeTime << "05.03.2009 14:30:00" << QDateTime(March5, QTime(14, 30));
        QTest::newRow("home one digit") << home << homeTime << "5.3.2009 9:00:00" << nine;
        QTest::newRow("home two digits") << home << homeTime << "05.03.2009 09:00:00" << nine;
        QTest::newRow("home date only")
            << home << homeTime << "05.03.2009" << QDateTime(March5, QTime(0, 0));
        QTest::newRow("home blanks around") << home << homeTime << "  5.3.2009 9:00:00 \t" << nine;
        QTest::newRow("home blanks between") << home << homeTime << "5.3.2009   9:00:00" << nine;
        QTest::newRow("home two-digit year") << home << homeTime << "5.3.09 9:00:00" << nine;
        QTest::newRow("home last century")
            << home << homeTime << "5.3.75" << QDateTime(QDate(1975, 3, 5), QTime(0, 0));
        QTest::newRow("home leap day")
            << home << homeTime << "29.02.2008" << QDateTime(QDate(2008, 2, 29), QTime(0, 0));
        QTest::newRow("home other separator") << home << homeTime << "05/03/2009" << refused;
        QTest::newRow("home 31 February") << home << homeTime << "31.02.2009" << refused;
        QTest::newRow("home 29 February") << home << homeTime << "29.02.2009" << refused;
        QTest::newRow("home month 13") << home << homeTime << "05.13.2009" << refused;
        QTest::newRow("home hour 25") << home << homeTime << "05.03.2009 25:00:00" << refused;
        QTest::newRow("home minute 60") << home << homeTime << "05.03.2009 9:60:00" << refused;
        QTest::newRow("home no seconds") << home << homeTime << "05.03.2009 9:00" << refused;
        QTest::newRow("home glued time") << home << homeTime << "05.03.20099:00:00" << refused;
        QTest::newRow("home letters after") << home << homeTime << "05.03.2009x" << refused;
        QTest::newRow("home words after") << home << homeTime << "05.03.2009 9:00:00 x" << refused;
        QTest::newRow("home three-digit day") << home << homeTime << "005.03.2009" << refused;
        QTest::newRow("home three-digit year") << home << homeTime << "05.03.209" << refused;
        QTest::newRow("home empty") << home << homeTime << "" << refused;
        QTest::newRow("home letters") << home << homeTime << "yesterday" << refused;

        const QString us = QStringLiteral("MM/dd/yyyy");
        const QString usTime = QStringLiteral("h:mm:ss AP");
        QTest::newRow("us afternoon")
            << us << usTime << "03/05/2009 2:30:00 PM" << QDateTime(March5, QTime(14, 30));
        QTest::newRow("us lower case")
            << us << usTime << "3/5/2009 2:30:00 pm" << QDateTime(March5, QTime(14, 30));
        QTest::newRow("us after midnight")
            << us << usTime << "03/05/2009 12:15:00 AM" << QDateTime(March5, QTime(0, 15));
        QTest::newRow("us noon") << us << usTime << "03/05/2009 12:15:00 PM"
                                 << QDateTime(March5, QTime(12, 15));
        QTest::newRow("us date only")
            << us << usTime << "3/5/2009" << QDateTime(March5, QTime(0, 0));
        QTest::newRow("us hour 13") << us << usTime << "03/05/2009 13:00:00 PM" << refused;
        QTest::newRow("us no marker") << us << usTime << "03/05/2009 2:30:00" << refused;
        // the home formats are read whatever the locale
        QTest::newRow("us home text")
            << us << usTime << "05.03.2009" << QDateTime(March5, QTime(0, 0));
        QTest::newRow("us home text and time")
            << us << usTime << "05.03.2009 0:00:00" << QDateTime(March5, QTime(0, 0));
        QTest::newRow("us home date, us time")
            << us << usTime << "05.03.2009 2:30:00 PM" << refused;
        QTest::newRow("us month 13") << us << usTime << "13/05/2009" << refused;

        // month names are the system locale's
        const QLocale locale = QLocale::system();
        QTest::newRow("month name")
            << "d MMM yyyy"
            << "HH:mm:ss"
            << "5 " + locale.monthName(3, QLocale::ShortFormat).toLower() + " 2009 09:00:00"
            << nine;
        QTest::newRow("long month name")
            << "d MMMM yyyy"
            << "HH:mm:ss"
            << "5 " + locale.monthName(3) + " 2009" << QDateTime(March5, QTime(0, 0));
        QTest::newRow("unknown month name") << "d MMM yyyy"
                                            << "HH:mm:ss"
                                            << "5 Mrz 2009" << refused;
    }

    void readsDateTime() {
        QFETCH(QString, dateFormat);
        QFETCH(QString, timeFormat);
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        RegionalSettings::SetFormats(dateFormat, timeFormat);
        const auto value = RegionalSettings::TextToDateTime(text);
        QCOMPARE(value.has_value(), expected.isValid());
        if (value.has_value())
            QCOMPARE(*value, expected);
    }

    void timeZoneNeverRefusesText_data() {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDate springForward(2026, 3, 29);
        QTest::newRow("skipped hour in Berlin")
            << QByteArray("Europe/Berlin") << "29.03.2026 02:30:00"
            << QDateTime(springForward, QTime(3, 0));
        QTest::newRow("first skipped second in Berlin")
            << QByteArray("Europe/Berlin") << "29.03.2026 2:00:00"
            << QDateTime(springForward, QTime(3, 0));
        QTest::newRow("same text in Moscow") << QByteArray("Europe/Moscow") << "29.03.2026 02:30:00"
                                             << QDateTime(springForward, QTime(2, 30));
        QTest::newRow("repeated hour in Berlin")
            << QByteArray("Europe/Berlin") << "25.10.2026 2:30:00"
            << QDateTime(QDate(2026, 10, 25), QTime(2, 30));
        QTest::newRow("skipped midnight in Sao Paulo")
            << QByteArray("America/Sao_Paulo") << "04.11.2018"
            << QDateTime(QDate(2018, 11, 4), QTime(1, 0));
    }

    void timeZoneNeverRefusesText() {
        QFETCH(QByteArray, zone);
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const TimeZoneScope scope(zone);
        const auto value = RegionalSettings::TextToDateTime(text);
        QVERIFY(value.has_value());
        QCOMPARE(value->date(), expected.date());
        QCOMPARE(value->time(), expected.time());
        QVERIFY(value->isValid());
    }

    void readsTime_data() {
        AddFormatColumns();
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("expected"); // invalid: the text is refused
        const QString date = QStringLiteral("dd.MM.yyyy");
        const QString home = QStringLiteral("H:mm:ss");
        const QString us = QStringLiteral("h:mm:ss AP");
        QTest::newRow("one-digit hour") << date << home << "9:00:00" << QTime(9, 0);
        QTest::newRow("two-digit hour") << date << home << "09:00:00" << QTime(9, 0);
        QTest::newRow("one-digit fields") << date << home << "8:5:7" << QTime(8, 5, 7);
        QTest::newRow("blanks around") << date << home << " 18:00:00 " << QTime(18, 0);
        QTest::newRow("midnight") << date << home << "0:00:00" << QTime(0, 0);
        QTest::newRow("hour 24") << date << home << "24:00:00" << QTime();
        QTest::newRow("other separator") << date << home << "9.00.00" << QTime();
        QTest::newRow("marker not in format") << date << home << "9:00:00 AM" << QTime();
        QTest::newRow("empty") << date << home << "" << QTime();
        QTest::newRow("morning") << date << us << "9:00:00 AM" << QTime(9, 0);
        QTest::newRow("evening") << date << us << "9:00:00 PM" << QTime(21, 0);
        QTest::newRow("hour 0 with marker") << date << us << "0:00:00 AM" << QTime();
        QTest::newRow("milliseconds") << date << "H:mm:ss.zzz"
                                      << "9:00:00.250" << QTime(9, 0, 0, 250);
    }

    void readsTime() {
        QFETCH(QString, dateFormat);
        QFETCH(QString, timeFormat);
        QFETCH(QString, text);
        QFETCH(QTime, expected);
        RegionalSettings::SetFormats(dateFormat, timeFormat);
        const auto value = RegionalSettings::TextToTime(text);
        QCOMPARE(value.has_value(), expected.isValid());
        if (value.has_value())
            QCOMPARE(*value, expected);
    }

    void readsFloat_data() {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("expected");
        QTest::newRow("comma") << QChar(u',') << "1,5" << true << 1.5;
        QTest::newRow("point under comma") << QChar(u',') << "1.5" << true << 1.5;
        QTest::newRow("negative") << QChar(u',') << "-2,25" << true << -2.25;
        QTest::newRow("plus sign") << QChar(u',') << "+3" << true << 3.0;
        QTest::newRow("exponent") << QChar(u',') << "1e3" << true << 1000.0;
        QTest::newRow("negative exponent") << QChar(u',') << "1,5E-2" << true << 0.015;
        QTest::newRow("blanks around") << QChar(u',') << " 7 " << true << 7.0;
        QTest::newRow("no integer part") << QChar(u',') << ",5" << true << 0.5;
        QTest::newRow("no fraction") << QChar(u',') << "5," << true << 5.0;
        QTest::newRow("empty") << QChar(u',') << "" << false << 0.0;
        QTest::newRow("word") << QChar(u',') << "abc" << false << 0.0;
        QTest::newRow("two separators") << QChar(u',') << "1,2,3" << false << 0.0;
        QTest::newRow("digit groups") << QChar(u',') << "1 000" << false << 0.0;
        QTest::newRow("exponent only") << QChar(u',') << "e5" << false << 0.0;
        QTest::newRow("exponent without digits") << QChar(u',') << "1e" << false << 0.0;
        QTest::newRow("infinity") << QChar(u',') << "inf" << false << 0.0;
        QTest::newRow("not a number") << QChar(u',') << "nan" << false << 0.0;
        QTest::newRow("overflow") << QChar(u',') << "1e999" << false << 0.0;
        QTest::newRow("double sign") << QChar(u',') << "--1" << false << 0.0;
        QTest::newRow("sign only") << QChar(u',') << "-" << false << 0.0;
        QTest::newRow("point") << QChar(u'.') << "12.75" << true << 12.75;
        QTest::newRow("comma under point") << QChar(u'.') << "1,5" << false << 0.0;
    }

    void readsFloat() {
        QFETCH(QChar, separator);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, expected);
        RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"),
                                     separator);
        const auto value = RegionalSettings::TextToFloat(text);
        QCOMPARE(value.has_value(), valid);
        if (valid)
            QCOMPARE(*value, expected);
    }

    // Workers format time stamps while the main thread may change the formats: every text is
    // whole under one set of formats or the other.
    void formatsChangeWhileWorkersRead() {
        const QDateTime value(March5, QTime(14, 30));
        const QString home = QStringLiteral("05.03.2009 14:30:00");
        const QString us = QStringLiteral("03/05/2009 2:30:00 PM");
        std::atomic<bool> stop = false;
        std::atomic<int> mixed = 0;
        QList<QThread*> readers;
        for (int i = 0; i < 2; ++i) {
            readers << QThread::create([&] {
                while (!stop) {
                    const QString text = RegionalSettings::DateTimeToText(value);
                    if (text != home && text != us)
                        ++mixed;
                }
            });
            readers.back()->start();
        }
        for (int i = 0; i < 20000; ++i) {
            if (i % 2 == 0) {
                RegionalSettings::SetFormats(QStringLiteral("dd.MM.yyyy"),
                                             QStringLiteral("H:mm:ss"));
            } else {
                RegionalSettings::SetFormats(QStringLiteral("MM/dd/yyyy"),
                                             QStringLiteral("h:mm:ss AP"));
            }
        }
        stop = true;
        for (QThread* reader : readers) {
            reader->wait();
            delete reader;
        }
        QCOMPARE(mixed.load(), 0);
    }
};

QTEST_GUILESS_MAIN(RegionalSettingsTest)
#include "RegionalSettingsTest.moc"

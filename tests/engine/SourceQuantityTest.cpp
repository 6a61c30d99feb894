#include "engine/SourceQuantity.h"

#include "support/FailureKind.h"
#include "support/LocaleRun.h"

#include <QLocale>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<double>)

namespace {
const std::optional<double> kNoNumber;
} // namespace

class SourceQuantityTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsTheSameInEveryLocale_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<double>>("number");
        QTest::newRow("decimal comma") << "12,5" << std::optional(12.5);
        QTest::newRow("decimal point") << "7.25" << std::optional(7.25);
        QTest::newRow("blanks around") << " 3 " << std::optional(3.0);
        QTest::newRow("tab and newline around") << "\t4\n" << std::optional(4.0);
        QTest::newRow("non-breaking group") << "1\u00A0109,71" << std::optional(1109.71);
        QTest::newRow("narrow non-breaking group") << "1\u202F109,71" << std::optional(1109.71);
        QTest::newRow("blank groups") << "2 500 000" << std::optional(2500000.0);
        QTest::newRow("points group, comma decimals") << "1.109,71" << std::optional(1109.71);
        QTest::newRow("commas group, point decimals") << "1,109.71" << std::optional(1109.71);
        QTest::newRow("negative") << "-0,5" << std::optional(-0.5);
        QTest::newRow("plus sign") << "+8" << std::optional(8.0);
        QTest::newRow("no whole part") << ",5" << std::optional(0.5);
        QTest::newRow("exponent") << "1.5e3" << std::optional(1500.0);
        QTest::newRow("not available") << "n/a" << kNoNumber;
        QTest::newRow("empty") << "" << kNoNumber;
        QTest::newRow("blanks only") << "   " << kNoNumber;
        QTest::newRow("sign only") << "-" << kNoNumber;
        QTest::newRow("separator only") << "," << kNoNumber;
        QTest::newRow("two decimal commas") << "1,5,25" << kNoNumber;
        QTest::newRow("comma after point") << "1.5,25.5" << kNoNumber;
        QTest::newRow("group of two") << "1 10,5" << kNoNumber;
        QTest::newRow("group of four") << "1 1090" << kNoNumber;
        QTest::newRow("blank before the decimals") << "12 ,5" << kNoNumber;
        QTest::newRow("unit after the number") << "12 шт" << kNoNumber;
        QTest::newRow("letter inside") << "1O" << kNoNumber;
        QTest::newRow("exponent without digits") << "1e" << kNoNumber;
        QTest::newRow("too large") << "1e400" << kNoNumber;
    }

    void readsTheSameInEveryLocale() {
        QFETCH(QString, text);
        QFETCH(std::optional<double>, number);
        QCOMPARE(SourceQuantity::FromText(text), number);
    }

    // Run by the test itself under the locales, see UnderOtherLocales.
    void readsTheLocaleGrouping() {
        const QString name = QLocale::system().name();
        // A single separator before three digits: the locale's group separator groups, any
        // other one begins the decimals.
        std::optional<double> onePointThree = 1.109;
        std::optional<double> oneCommaThree = 1.109;
        if (name == QStringLiteral("de_DE"))
            onePointThree = 1109.0;
        else if (name == QStringLiteral("en_US"))
            oneCommaThree = 1109.0;
        else if (name != QStringLiteral("C") && name != QStringLiteral("ru_RU"))
            QSKIP("no expectation for this locale");
        QCOMPARE(SourceQuantity::FromText(QStringLiteral("1.109")), onePointThree);
        QCOMPARE(SourceQuantity::FromText(QStringLiteral("1,109")), oneCommaThree);
        QCOMPARE(SourceQuantity::FromText(QStringLiteral("1.10")), std::optional(1.1));
        QCOMPARE(SourceQuantity::FromText(QStringLiteral("1,10")), std::optional(1.1));
        QCOMPARE(SourceQuantity::FromText(QLocale::system().toString(1234567.25, 'f', 2)),
                 std::optional(1234567.25));
    }

    void underOtherLocales_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C.UTF-8";
        QTest::newRow("Russian") << "ru_RU.UTF-8";
        QTest::newRow("German") << "de_DE.UTF-8";
        QTest::newRow("American") << "en_US.UTF-8";
    }

    void underOtherLocales() {
        QFETCH(QString, locale);
        QString output;
        QVERIFY2(LocaleRun::RunFunctions(locale,
                                         {QStringLiteral("readsTheSameInEveryLocale"),
                                          QStringLiteral("readsTheLocaleGrouping")},
                                         &output),
                 qPrintable(output));
    }

    // What is bound: a Null and a number as they came, a text as its number; a text that is
    // no number names the item's code and the text.
    void readsTheSourceValue() {
        QCOMPARE(SourceQuantity::Read(QVariant(), QStringLiteral("1000")), QVariant());
        QCOMPARE(SourceQuantity::Read(QVariant(2.5), QStringLiteral("1000")), QVariant(2.5));
        QCOMPARE(SourceQuantity::Read(QVariant(7), QStringLiteral("1000")), QVariant(7));
        QCOMPARE(SourceQuantity::Read(QStringLiteral("12,5"), QStringLiteral("1000")),
                 QVariant(12.5));
        QString message;
        QCOMPARE(FailureKind([] { SourceQuantity::Read(QStringLiteral("n/a"), "1000"); }, &message),
                 QStringLiteral("Exception"));
        QCOMPARE(message,
                 QStringLiteral("Количество товара с кодом 1000 не является числом: \"n/a\""));
    }
};

QTEST_GUILESS_MAIN(SourceQuantityTest)
#include "SourceQuantityTest.moc"

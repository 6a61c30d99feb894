#include "platform/TextCodec.h"

#include <QTest>

#include <iconv.h>

namespace {

// The C library's converter is an independent reference for the hand-made table.
QString ReferenceDecode1251(char byte) {
    iconv_t converter = iconv_open("UTF-16LE", "CP1251");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return QString();
    char in[1] = {byte};
    char16_t out[2] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t inLeft = 1;
    size_t outLeft = sizeof(out);
    const size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1))
        return QString();
    return QString(reinterpret_cast<const QChar*>(out), (sizeof(out) - outLeft) / 2);
}

QByteArray AllBytesBut0x98() {
    QByteArray bytes;
    for (int byte = 0; byte <= 0xFF; ++byte)
        if (byte != 0x98)
            bytes.append(static_cast<char>(byte));
    return bytes;
}

} // namespace

class TextCodecTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void windows1251MatchesReference() {
        iconv_t probe = iconv_open("UTF-16LE", "CP1251");
        if (probe == reinterpret_cast<iconv_t>(-1))
            QSKIP("the C library has no CP1251 converter");
        iconv_close(probe);
        for (int byte = 0; byte <= 0xFF; ++byte) {
            if (byte == 0x98)
                continue;
            const char ch = static_cast<char>(byte);
            QCOMPARE(TextCodec::FromWindows1251(QByteArray(1, ch)), ReferenceDecode1251(ch));
        }
    }

    void unassignedByteDecodesAsReplacement() {
        QCOMPARE(TextCodec::FromWindows1251(QByteArray("a\x98z")), QStringLiteral("a\uFFFDz"));
    }

    void windows1251RoundTrip() {
        const QByteArray bytes = AllBytesBut0x98();
        const auto encoded = TextCodec::ToWindows1251(TextCodec::FromWindows1251(bytes));
        QVERIFY(encoded.has_value());
        QCOMPARE(*encoded, bytes);
    }

    void windows1251Encoding_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("encodable");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("Warehouse 1") << true
                               << QByteArray("Warehouse 1");
        QTest::newRow("russian") << QStringLiteral("Склад Ёё №5") << true
                                 << QByteArray("\xD1\xEA\xEB\xE0\xE4 \xA8\xB8 \xB9"
                                               "5");
        QTest::newRow("empty") << QString() << true << QByteArray();
        QTest::newRow("replacement char") << QStringLiteral("\uFFFD") << false << QByteArray();
        QTest::newRow("chinese") << QStringLiteral("库存") << false << QByteArray();
        QTest::newRow("outside BMP") << QStringLiteral("a\U0001F600") << false << QByteArray();
        QTest::newRow("latin accent") << QStringLiteral("café") << false << QByteArray();
    }

    void windows1251Encoding() {
        QFETCH(QString, text);
        QFETCH(bool, encodable);
        QFETCH(QByteArray, bytes);
        const auto encoded = TextCodec::ToWindows1251(text);
        QCOMPARE(encoded.has_value(), encodable);
        if (encodable)
            QCOMPARE(*encoded, bytes);
    }

    void utf8Validation_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("ascii") << QByteArray("Id=1`3") << true;
        QTest::newRow("russian") << QStringLiteral("Склад").toUtf8() << true;
        QTest::newRow("three bytes") << QByteArray("\xE2\x82\xAC") << true;
        QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80") << true;
        QTest::newRow("last code point") << QByteArray("\xF4\x8F\xBF\xBF") << true;
        QTest::newRow("before surrogates") << QByteArray("\xED\x9F\xBF") << true;
        QTest::newRow("overlong two") << QByteArray("\xC0\x80") << false;
        QTest::newRow("overlong C1") << QByteArray("\xC1\xBF") << false;
        QTest::newRow("overlong three") << QByteArray("\xE0\x80\x80") << false;
        QTest::newRow("overlong three high") << QByteArray("\xE0\x9F\xBF") << false;
        QTest::newRow("overlong four") << QByteArray("\xF0\x8F\xBF\xBF") << false;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
        QTest::newRow("low surrogate") << QByteArray("\xED\xBF\xBF") << false;
        QTest::newRow("past last code point") << QByteArray("\xF4\x90\x80\x80") << false;
        QTest::newRow("F5 lead") << QByteArray("\xF5\x80\x80\x80") << false;
        QTest::newRow("FF") << QByteArray("a\xFF") << false;
        QTest::newRow("lone continuation") << QByteArray("a\x80z") << false;
        QTest::newRow("truncated") << QByteArray("a\xE2\x82") << false;
        QTest::newRow("bad continuation") << QByteArray("\xE2\x82z") << false;
        QTest::newRow("windows-1251 text") << QByteArray("\xD1\xEA\xEB\xE0\xE4") << false;
    }

    // A line of valid UTF-8 is read as UTF-8, any other line as Windows-1251.
    void utf8Validation() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        const std::optional<TextCodec::FileText> decoded = TextCodec::DecodeFileText(bytes);
        QVERIFY(decoded.has_value());
        QCOMPARE(decoded->text,
                 valid ? QString::fromUtf8(bytes) : TextCodec::FromWindows1251(bytes));
    }

    void fileTextDecoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("encoding");
        const int utf8 = int(TextCodec::FileEncoding::Utf8);
        const QByteArray sklad1251 = "\xD1\xEA\xEB\xE0\xE4";
        const QByteArray magazin1251 = "\xCC\xE0\xE3\xE0\xE7\xE8\xED";
        QTest::newRow("utf-8") << QStringLiteral("Name=Склад`Магазин").toUtf8()
                               << QStringLiteral("Name=Склад`Магазин") << utf8;
        QTest::newRow("windows-1251")
            << QByteArray("Name=" + sklad1251) << QStringLiteral("Name=Склад") << utf8;
        QTest::newRow("ascii") << QByteArray("[Settings]") << QStringLiteral("[Settings]") << utf8;
        QTest::newRow("utf-8 file with one windows-1251 line")
            << QByteArray("A=" + QStringLiteral("Склад").toUtf8() + "\r\nB=" + magazin1251 +
                          "\r\nC=" + QStringLiteral("Касса").toUtf8() + "\r\n")
            << QStringLiteral("A=Склад\r\nB=Магазин\r\nC=Касса\r\n") << utf8;
        QTest::newRow("windows-1251 file with one utf-8 line")
            << QByteArray("A=" + sklad1251 + "\nB=" + QStringLiteral("Магазин").toUtf8() +
                          "\nC=" + magazin1251)
            << QStringLiteral("A=Склад\nB=Магазин\nC=Магазин") << utf8;
        QTest::newRow("utf-8 mark") << QByteArray("\xEF\xBB\xBF"
                                                  "A=\xD0\xAF")
                                    << QStringLiteral("A=Я") << utf8;
        QTest::newRow("utf-16 little-endian")
            << QByteArray("\xFF\xFE"
                          "A\0=\0\x2F\x04\r\0\n\0",
                          12)
            << QStringLiteral("A=Я\r\n") << int(TextCodec::FileEncoding::Utf16LittleEndian);
        QTest::newRow("utf-16 big-endian")
            << QByteArray("\xFE\xFF\0A\0=\x04\x2F\0\r\0\n", 12) << QStringLiteral("A=Я\r\n")
            << int(TextCodec::FileEncoding::Utf16BigEndian);
    }

    void fileTextDecoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(int, encoding);
        const std::optional<TextCodec::FileText> decoded = TextCodec::DecodeFileText(bytes);
        QVERIFY(decoded.has_value());
        QCOMPARE(decoded->text, text);
        QCOMPARE(int(decoded->encoding), encoding);
    }

    void noTextIsRefused_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("utf-16 without a mark") << QByteArray("A\0=\0\x2F\x04", 6);
        QTest::newRow("NUL in a line") << QByteArray("[S]\r\nK=a\0b\r\n", 11);
        QTest::newRow("escape byte") << QByteArray("[S]\r\nK=\x1B[0m\r\n");
        QTest::newRow("unassigned windows-1251 byte") << QByteArray("K=\xC0\x98\xC0");
        QTest::newRow("utf-16 of odd length") << QByteArray("\xFF\xFE"
                                                            "A\0=",
                                                            5);
        QTest::newRow("utf-16 with a NUL") << QByteArray("\xFF\xFE"
                                                         "A\0\0\0",
                                                         6);
        QTest::newRow("gzip header") << QByteArray("\x1F\x8B\x08\0\0\0\0\0", 8);
    }

    void noTextIsRefused() {
        QFETCH(QByteArray, bytes);
        QVERIFY(!TextCodec::DecodeFileText(bytes).has_value());
    }

    void fileTextIsWrittenInItsEncoding_data() {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("utf-8") << int(TextCodec::FileEncoding::Utf8) << QByteArray("A=\xD0\xAF");
        QTest::newRow("utf-16 little-endian") << int(TextCodec::FileEncoding::Utf16LittleEndian)
                                              << QByteArray("\xFF\xFE"
                                                            "A\0=\0\x2F\x04",
                                                            8);
        QTest::newRow("utf-16 big-endian") << int(TextCodec::FileEncoding::Utf16BigEndian)
                                           << QByteArray("\xFE\xFF\0A\0=\x04\x2F", 8);
    }

    void fileTextIsWrittenInItsEncoding() {
        QFETCH(int, encoding);
        QFETCH(QByteArray, bytes);
        const QString text = QStringLiteral("A=Я");
        const QByteArray written =
            TextCodec::EncodeFileText(text, TextCodec::FileEncoding(encoding));
        QCOMPARE(written, bytes);
        QCOMPARE(TextCodec::DecodeFileText(written)->text, text);
    }
};

QTEST_GUILESS_MAIN(TextCodecTest)
#include "TextCodecTest.moc"

#include "platform/TextCodec.h"

#include <QTest>

#include <iconv.h>

namespace {

// The C library's converter is an independent reference for the hand-made table.
QString ReferenceDecode1251(char byte) {
    iconv_t converter = iconv_open("UTF-16LE", "CP1251");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return QString();
    }
    char in[1] = {byte};
    char16_t out[2] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t inLeft = 1;
    size_t outLeft = sizeof(out);
    const size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1)) {
        return QString();
    }
    return QString(reinterpret_cast<const QChar*>(out), (sizeof(out) - outLeft) / 2);
}

QByteArray AllBytesBut0x98() {
    QByteArray bytes;
    for (int byte = 0; byte <= 0xFF; ++byte) {
        if (byte != 0x98) {
            bytes.append(static_cast<char>(byte));
        }
    }
    return bytes;
}

} // namespace

class TextCodecTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void Windows1251MatchesReference() {
        iconv_t probe = iconv_open("UTF-16LE", "CP1251");
        if (probe == reinterpret_cast<iconv_t>(-1)) {
            QSKIP("the C library has no CP1251 converter");
        }
        iconv_close(probe);
        for (int byte = 0; byte <= 0xFF; ++byte) {
            if (byte == 0x98) {
                continue;
            }
            const char ch = static_cast<char>(byte);
            QCOMPARE(TextCodec::FromWindows1251(QByteArray(1, ch)), ReferenceDecode1251(ch));
        }
    }

    void UnassignedByteDecodesAsReplacement() {
        QCOMPARE(TextCodec::FromWindows1251(QByteArray("a\x98z")), QStringLiteral("a\uFFFDz"));
    }

    void Windows1251RoundTrip() {
        const QByteArray bytes = AllBytesBut0x98();
        const auto encoded = TextCodec::ToWindows1251(TextCodec::FromWindows1251(bytes));
        QVERIFY(encoded.has_value());
        QCOMPARE(*encoded, bytes);
    }

    void Windows1251Encoding_data() {
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

    void Windows1251Encoding() {
        QFETCH(QString, text);
        QFETCH(bool, encodable);
        QFETCH(QByteArray, bytes);
        const auto encoded = TextCodec::ToWindows1251(text);
        QCOMPARE(encoded.has_value(), encodable);
        if (encodable) {
            QCOMPARE(*encoded, bytes);
        }
    }

    void Utf8Validation_data() {
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

    void Utf8Validation() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QCOMPARE(TextCodec::IsValidUtf8(bytes), valid);
    }

    void FileTextDecoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("utf-8") << QStringLiteral("Name=Склад`Магазин").toUtf8()
                               << QStringLiteral("Name=Склад`Магазин");
        QTest::newRow("windows-1251")
            << QByteArray("Name=\xD1\xEA\xEB\xE0\xE4") << QStringLiteral("Name=Склад");
        QTest::newRow("ascii") << QByteArray("[Settings]") << QStringLiteral("[Settings]");
    }

    void FileTextDecoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(TextCodec::DecodeFileText(bytes), text);
    }

    void FileTextIsWrittenAsUtf8() {
        const QString text = QStringLiteral("Name_Receiver=Основной склад");
        const QByteArray bytes = TextCodec::EncodeFileText(text);
        QCOMPARE(bytes, text.toUtf8());
        QCOMPARE(TextCodec::DecodeFileText(bytes), text);
    }
};

QTEST_GUILESS_MAIN(TextCodecTest)
#include "TextCodecTest.moc"

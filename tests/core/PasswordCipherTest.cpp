#include "core/PasswordCipher.h"

#include <QTest>

class PasswordCipherTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void enciphersKnownPairs_data();
    void enciphersKnownPairs();
    void roundTripsEveryLength_data();
    void roundTripsEveryLength();
    void roundTripsEveryByte();
    void encodesBase64_data();
    void encodesBase64();
    void decodesBase64Leniently_data();
    void decodesBase64Leniently();
    void keysShapeTheStream();
};

void PasswordCipherTest::enciphersKnownPairs_data() {
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QByteArray>("fed");
    QTest::addColumn<QByteArray>("enciphered");
    QTest::addColumn<QString>("stored");

    // "AB" = 41 42, K = 3A5D:
    //   out0 = 41 ^ 3A = 7B;  K = ((41 + 5D) & FF) * 61C7 + 7D19 = 9E * 61C7 + 7D19
    //        = 3954898 + 32025 (mod 65536) = 58D2 + 7D19 = D5EB
    //   out1 = 42 ^ D5 = 97;  7B 97 = 011110 111001 0111(00) = "e5c="
    QTest::newRow("empty") << QString() << QByteArray() << QByteArray() << QString();
    QTest::newRow("one byte") << QStringLiteral("A") << QByteArray("A") << QByteArray::fromHex("7b")
                              << QStringLiteral("ew==");
    QTest::newRow("two bytes") << QStringLiteral("AB") << QByteArray("AB")
                               << QByteArray::fromHex("7b97") << QStringLiteral("e5c=");
    QTest::newRow("three bytes") << QStringLiteral("abc") << QByteArray("abc")
                                 << QByteArray::fromHex("5b6cce") << QStringLiteral("W2zO");
    QTest::newRow("with equals sign")
        << QStringLiteral("=abc") << QByteArray("=abc") << QByteArray::fromHex("072fb066")
        << QStringLiteral("By+wZg==");
    QTest::newRow("eight digits") << QStringLiteral("12345678") << QByteArray("12345678")
                                  << QByteArray::fromHex("0b8ba34ab5e42c8c")
                                  << QStringLiteral("C4ujSrXkLIw=");
    // Windows-1251: CF E0 F0 EE EB FC.
    QTest::newRow("russian") << QStringLiteral("Пароль") << QByteArray::fromHex("cfe0f0eeebfc")
                             << QByteArray::fromHex("f5ab5dea30be") << QStringLiteral("9atd6jC+");
    QTest::newRow("yo letters") << QStringLiteral("ёЁ") << QByteArray::fromHex("b8a8")
                                << QByteArray::fromHex("822a") << QStringLiteral("gio=");
    // No Windows-1251 byte for the character: the tag 98, then the UTF-8 of the whole text.
    QTest::newRow("outside windows-1251")
        << QStringLiteral("ä") << QByteArray::fromHex("98c3a4") << QByteArray::fromHex("a2d30d")
        << QStringLiteral("otMN");
    QTest::newRow("partly outside windows-1251")
        << QStringLiteral("Ключ™日") << QByteArray::fromHex("98d09ad0bbd18ed187e284a2e697a5")
        << QByteArray::fromHex("a2c03aaed0286005dc4fd1768135b5")
        << QStringLiteral("osA6rtAoYAXcT9F2gTW1");
}

void PasswordCipherTest::enciphersKnownPairs() {
    QFETCH(QString, plain);
    QFETCH(QByteArray, fed);
    QFETCH(QByteArray, enciphered);
    QFETCH(QString, stored);
    const PasswordCipher cipher;

    QCOMPARE(cipher.Encipher(fed), enciphered);
    QCOMPARE(cipher.Decipher(enciphered), fed);
    QCOMPARE(PasswordCipher::EncodeBase64(enciphered), stored);
    QCOMPARE(cipher.EncipherPassword(plain), stored);
    QCOMPARE(cipher.DecipherPassword(stored), plain);
}

void PasswordCipherTest::roundTripsEveryLength_data() {
    QTest::addColumn<QString>("alphabet");
    QTest::newRow("latin") << QStringLiteral("aZ09=;*/ p!~");
    QTest::newRow("russian") << QStringLiteral("АбвГдЕёЖзИйКлМнОпРсТуФхЦчШщЪыЬэЮяЁ");
    QTest::newRow("mixed") << QStringLiteral("Пa=р1 оL*ь№");
    QTest::newRow("outside windows-1251") << QStringLiteral("äПx日€\uFFFD");
}

void PasswordCipherTest::roundTripsEveryLength() {
    QFETCH(QString, alphabet);
    const PasswordCipher cipher;
    for (int length = 0; length <= 40; ++length) {
        QString plain;
        for (int i = 0; i < length; ++i)
            plain += alphabet[(i * 7 + length) % alphabet.size()];
        const QString stored = cipher.EncipherPassword(plain);
        QVERIFY2(!stored.contains(u'\n') && stored.size() % 4 == 0, qPrintable(stored));
        QCOMPARE(cipher.DecipherPassword(stored), plain);
    }
}

void PasswordCipherTest::roundTripsEveryByte() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const PasswordCipher cipher;
    const QByteArray enciphered = cipher.Encipher(all);
    QCOMPARE(enciphered.size(), all.size());
    QVERIFY(enciphered != all);
    QCOMPARE(cipher.Decipher(enciphered), all);
    QCOMPARE(PasswordCipher::DecodeBase64(PasswordCipher::EncodeBase64(enciphered)), enciphered);
}

void PasswordCipherTest::encodesBase64_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("one") << QByteArray("f") << QStringLiteral("Zg==");
    QTest::newRow("two") << QByteArray("fo") << QStringLiteral("Zm8=");
    QTest::newRow("three") << QByteArray("foo") << QStringLiteral("Zm9v");
    QTest::newRow("high bits") << QByteArray::fromHex("fbff") << QStringLiteral("+/8=");
    QTest::newRow("no line breaks") << QByteArray(120, 'x') << QStringLiteral("eHh4").repeated(40);
}

void PasswordCipherTest::encodesBase64() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(PasswordCipher::EncodeBase64(bytes), text);
    QCOMPARE(PasswordCipher::DecodeBase64(text), bytes);
}

void PasswordCipherTest::decodesBase64Leniently_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("left-over bits kept") << QStringLiteral("QUJ") << QByteArray("AB@");
    QTest::newRow("padded") << QStringLiteral("QUI=") << QByteArray("AB");
    QTest::newRow("zero left-over dropped") << QStringLiteral("QUI") << QByteArray("AB");
    QTest::newRow("one char unpadded") << QStringLiteral("Q") << QByteArray("\x40");
    QTest::newRow("one char padded") << QStringLiteral("Q===") << QByteArray();
    QTest::newRow("two chars unpadded") << QStringLiteral("QU") << QByteArray("A@");
    QTest::newRow("full group") << QStringLiteral("QUJD") << QByteArray("ABC");
    QTest::newRow("only padding") << QStringLiteral("====") << QByteArray();
    QTest::newRow("empty") << QString() << QByteArray();
    // Outside the alphabet, an inner "=" included, the value is 0 ("A").
    QTest::newRow("inner equals") << QStringLiteral("Q=JD") << QByteArray::fromHex("400243");
    QTest::newRow("foreign characters")
        << QStringLiteral("Q!Я D") << QByteArray::fromHex("4000000c");
}

void PasswordCipherTest::decodesBase64Leniently() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(PasswordCipher::DecodeBase64(text), bytes);
}

void PasswordCipherTest::keysShapeTheStream() {
    const QByteArray plain("secret");
    const PasswordCipher standard;
    const PasswordCipher other(0x1234, 0x61C7, 0x7D19);
    QCOMPARE(standard.Encipher(plain), PasswordCipher(0x3A5D, 0x61C7, 0x7D19).Encipher(plain));
    QVERIFY(other.Encipher(plain) != standard.Encipher(plain));
    QCOMPARE(other.Decipher(other.Encipher(plain)), plain);
    // Every call starts again from the start key.
    QCOMPARE(standard.Encipher(plain), standard.Encipher(plain));
}

QTEST_GUILESS_MAIN(PasswordCipherTest)
#include "PasswordCipherTest.moc"

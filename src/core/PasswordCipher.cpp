#include "core/PasswordCipher.h"

#include "platform/TextCodec.h"

namespace {
const char kUtf8Tag = '\x98';

int Base64Value(QChar ch) {
    const char16_t c = ch.unicode();
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0;
}
} // namespace

PasswordCipher::PasswordCipher(quint16 startKey, quint16 multiplier, quint16 increment)
    : startKey_(startKey)
    , multiplier_(multiplier)
    , increment_(increment) {}

QByteArray PasswordCipher::Encipher(const QByteArray& plain) const {
    return Apply(plain, true);
}

QByteArray PasswordCipher::Decipher(const QByteArray& enciphered) const {
    return Apply(enciphered, false);
}

QByteArray PasswordCipher::Apply(const QByteArray& input, bool enciphering) const {
    QByteArray output(input.size(), Qt::Uninitialized);
    quint16 key = startKey_;
    for (qsizetype i = 0; i < input.size(); ++i) {
        const auto in = static_cast<quint8>(input[i]);
        const auto out = static_cast<quint8>(in ^ (key >> 8));
        output[i] = static_cast<char>(out);
        const quint8 plain = enciphering ? in : out;
        const auto sum = static_cast<quint8>(plain + (key & 0xFF));
        key = static_cast<quint16>(sum * multiplier_ + increment_);
    }
    return output;
}

QString PasswordCipher::EncipherPassword(const QString& text) const {
    std::optional<QByteArray> bytes = TextCodec::ToWindows1251(text);
    // The tag must stay unambiguous, so a text whose bytes would begin with it goes as UTF-8.
    if (!bytes || bytes->startsWith(kUtf8Tag))
        bytes = kUtf8Tag + text.toUtf8();
    return EncodeBase64(Encipher(*bytes));
}

QString PasswordCipher::DecipherPassword(const QString& text) const {
    const QByteArray bytes = Decipher(DecodeBase64(text));
    if (bytes.startsWith(kUtf8Tag))
        return QString::fromUtf8(bytes.mid(1));
    return TextCodec::FromWindows1251(bytes);
}

QString PasswordCipher::EncodeBase64(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toBase64());
}

QByteArray PasswordCipher::DecodeBase64(const QString& text) {
    qsizetype length = text.size();
    while (length > 0 && text[length - 1] == u'=')
        --length;
    const bool padded = length < text.size();

    QByteArray bytes;
    bytes.reserve(length * 3 / 4 + 1);
    quint32 bits = 0;
    int bitCount = 0;
    for (qsizetype i = 0; i < length; ++i) {
        bits = (bits << 6) | static_cast<quint32>(Base64Value(text[i]));
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            bytes.append(static_cast<char>((bits >> bitCount) & 0xFF));
        }
    }
    if (!padded && bitCount > 0) {
        const auto leftOver = static_cast<quint8>((bits << (8 - bitCount)) & 0xFF);
        if (leftOver != 0)
            bytes.append(static_cast<char>(leftOver));
    }
    return bytes;
}

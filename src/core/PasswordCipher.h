#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The 16-bit stream cipher and Base64 form in which the settings file keeps passwords.
class PasswordCipher {
public:
    PasswordCipher() = default;
    PasswordCipher(quint16 startKey, quint16 multiplier, quint16 increment);

    // Same number of bytes out as in; every call starts again from the start key.
    QByteArray Encipher(const QByteArray& plain) const;
    QByteArray Decipher(const QByteArray& enciphered) const;

    // The Windows-1251 bytes of the text, enciphered, in Base64. A text with a character
    // that Windows-1251 lacks goes as byte 0x98 (unassigned there) followed by its UTF-8.
    QString EncipherPassword(const QString& text) const;
    // Undoes EncipherPassword; malformed Base64 gives a wrong text, never an error.
    QString DecipherPassword(const QString& text) const;

    // RFC 4648 alphabet, "=" padding, no line breaks.
    static QString EncodeBase64(const QByteArray& bytes);
    // Lenient: characters outside the alphabet count as 0; without "=" padding the bits left
    // over from an incomplete group form one more byte when they are not zero.
    static QByteArray DecodeBase64(const QString& text);

private:
    QByteArray Apply(const QByteArray& input, bool enciphering) const;

    quint16 startKey_ = 0x3A5D;
    quint16 multiplier_ = 0x61C7;
    quint16 increment_ = 0x7D19;
};

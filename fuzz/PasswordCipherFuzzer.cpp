// Base64 and deciphering of any text, as a hand-edited settings file may hold it; what the
// program writes itself must read back unchanged.
#include "FuzzInput.h"

#include "core/PasswordCipher.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = FuzzInput::Bytes(data, size);
    const QString text = QString::fromUtf8(bytes);
    const PasswordCipher cipher;

    PasswordCipher::DecodeBase64(text);
    PasswordCipher::DecodeBase64(QString::fromLatin1(bytes));
    const QString deciphered = cipher.DecipherPassword(text);
    if (cipher.DecipherPassword(cipher.EncipherPassword(deciphered)) != deciphered)
        std::abort();
    if (cipher.DecipherPassword(cipher.EncipherPassword(text)) != text)
        std::abort();
    if (PasswordCipher::DecodeBase64(PasswordCipher::EncodeBase64(bytes)) != bytes)
        std::abort();
    if (cipher.Decipher(cipher.Encipher(bytes)) != bytes)
        std::abort();
    return 0;
}

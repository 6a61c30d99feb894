#include "platform/TextCodec.h"

#include <QByteArrayView>
#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

#include <array>

namespace {

// Bytes 0x80..0xFF of Windows-1251; 0x98 has no character.
constexpr char16_t kUnassigned = 0xFFFD;
constexpr std::array<char16_t, 64> kUpperHalfStart = {
    0x0402,      0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC,      0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    kUnassigned, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0,      0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401,      0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0,      0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451,      0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

char16_t CharOfByte(unsigned char byte) {
    if (byte < 0x80)
        return byte;
    if (byte < 0xC0)
        return kUpperHalfStart[byte - 0x80];
    // 0xC0..0xFF are the Russian letters А..я in order.
    return char16_t(0x0410 + (byte - 0xC0));
}

const QHash<char16_t, char>& ByteOfChar() {
    static const QHash<char16_t, char> kTable = [] {
        QHash<char16_t, char> result;
        for (int byte = 0x80; byte <= 0xFF; ++byte) {
            const char16_t ch = CharOfByte(static_cast<unsigned char>(byte));
            if (ch != kUnassigned)
                result.insert(ch, static_cast<char>(byte));
        }
        return result;
    }();
    return kTable;
}

// Line ends, tabs and the other format controls a text file may hold; every other control
// character, NUL above all, marks binary data.
bool IsTextChar(QChar ch) {
    const char16_t code = ch.unicode();
    return code >= 0x20 || code == u'\t' || code == u'\n' || code == u'\r' || code == u'\v' ||
           code == u'\f' || code == 0x1A;
}

} // namespace

namespace TextCodec {

QString FromWindows1251(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(CharOfByte(static_cast<unsigned char>(bytes[i])));
    return text;
}

std::optional<QByteArray> ToWindows1251(const QString& text) {
    const auto& kTable = ByteOfChar();
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        if (ch < 0x80) {
            bytes[i] = static_cast<char>(ch);
            continue;
        }
        const auto found = kTable.constFind(ch);
        if (found == kTable.cend())
            return std::nullopt;
        bytes[i] = found.value();
    }
    return bytes;
}

std::optional<FileText> DecodeFileText(const QByteArray& bytes) {
    FileText result;
    const bool littleEndian = bytes.startsWith("\xFF\xFE");
    if (littleEndian || bytes.startsWith("\xFE\xFF")) {
        result.encoding =
            littleEndian ? FileEncoding::Utf16LittleEndian : FileEncoding::Utf16BigEndian;
        QStringDecoder decoder(littleEndian ? QStringConverter::Utf16LE
                                            : QStringConverter::Utf16BE);
        result.text = decoder.decode(QByteArrayView(bytes).sliced(2));
        // an odd byte at the end or a lone surrogate
        if (decoder.hasError() || (bytes.size() % 2) != 0 ||
            !std::all_of(result.text.cbegin(), result.text.cend(), IsTextChar))
            return std::nullopt;
        return result;
    }

    QByteArrayView rest(bytes);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    result.text.reserve(rest.size());
    while (!rest.isEmpty()) {
        const qsizetype newline = rest.indexOf('\n');
        const QByteArrayView line = newline < 0 ? rest : rest.first(newline + 1);
        rest = rest.sliced(line.size());
        if (!std::all_of(line.cbegin(), line.cend(), [](char byte) {
                return IsTextChar(QChar(static_cast<unsigned char>(byte)));
            }))
            return std::nullopt;
        if (line.isValidUtf8()) {
            result.text += QString::fromUtf8(line);
            continue;
        }
        for (const char byte : line) {
            const char16_t ch = CharOfByte(static_cast<unsigned char>(byte));
            if (ch == kUnassigned)
                return std::nullopt;
            result.text += QChar(ch);
        }
    }
    return result;
}

QByteArray EncodeFileText(const QString& text, FileEncoding encoding) {
    switch (encoding) {
    case FileEncoding::Utf8:
        break;
    case FileEncoding::Utf16LittleEndian:
    case FileEncoding::Utf16BigEndian: {
        QStringEncoder encoder(encoding == FileEncoding::Utf16LittleEndian
                                   ? QStringConverter::Utf16LE
                                   : QStringConverter::Utf16BE,
                               QStringConverter::Flag::WriteBom);
        return encoder.encode(text);
    }
    }
    return text.toUtf8();
}

} // namespace TextCodec

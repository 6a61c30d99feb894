#include "platform/AutomationProtocol.h"

#include <QList>
#include <QLocale>

namespace AutomationProtocol {
namespace {

QByteArray Escape(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray escaped;
    escaped.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::optional<QString> Unescape(QByteArrayView escaped) {
    QByteArray utf8;
    utf8.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c != '\\') {
            utf8 += c;
            continue;
        }
        if (++i == escaped.size())
            return std::nullopt;
        switch (escaped[i]) {
        case '\\':
            utf8 += '\\';
            break;
        case 't':
            utf8 += '\t';
            break;
        case 'n':
            utf8 += '\n';
            break;
        case 'r':
            utf8 += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return QString::fromUtf8(utf8);
}

bool IsInteger(int typeId) {
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

QByteArray EncodeValue(const QVariant& value) {
    if (!value.isValid())
        return "N";
    const int typeId = value.metaType().id();
    if (typeId == QMetaType::Bool)
        return value.toBool() ? "B-1" : "B0";
    // A 16-bit -1 or 0 is how a Boolean comes back from a server; it goes out the same way.
    if (typeId == QMetaType::Short && (value.toInt() == -1 || value.toInt() == 0))
        return value.toInt() ? "B-1" : "B0";
    if (IsInteger(typeId))
        return 'I' + QByteArray::number(value.toLongLong());
    if (typeId == QMetaType::Double || typeId == QMetaType::Float)
        return 'F' +
               QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest).toLatin1();
    return 'S' + Escape(value.toString());
}

std::optional<QVariant> DecodeValue(QByteArrayView field) {
    if (field.isEmpty())
        return std::nullopt;
    const QByteArrayView payload = field.sliced(1);
    bool ok = false;
    switch (field[0]) {
    case 'N':
        if (!payload.isEmpty())
            return std::nullopt;
        return QVariant();
    case 'B':
        if (payload == "-1")
            return Boolean(true);
        if (payload == "0")
            return Boolean(false);
        return std::nullopt;
    case 'I': {
        const qlonglong number = payload.toByteArray().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        return QVariant(number);
    }
    case 'F': {
        const double number = payload.toByteArray().toDouble(&ok);
        if (!ok)
            return std::nullopt;
        return QVariant(number);
    }
    case 'S': {
        const std::optional<QString> text = Unescape(payload);
        if (!text)
            return std::nullopt;
        return QVariant(*text);
    }
    default:
        return std::nullopt;
    }
}

} // namespace

QVariant Boolean(bool value) {
    return QVariant::fromValue<qint16>(value ? -1 : 0);
}

QByteArray EncodeRequest(const QString& method, const QVariantList& arguments) {
    QByteArray line = Escape(method);
    for (const QVariant& argument : arguments)
        line += '\t' + EncodeValue(argument);
    return line + '\n';
}

std::optional<Request> DecodeRequest(const QByteArray& line) {
    const QList<QByteArray> fields = line.split('\t');
    const std::optional<QString> method = Unescape(fields.first());
    if (!method || method->isEmpty())
        return std::nullopt;
    Request request{*method, {}};
    for (qsizetype i = 1; i < fields.size(); ++i) {
        std::optional<QVariant> argument = DecodeValue(fields[i]);
        if (!argument)
            return std::nullopt;
        request.arguments.append(*argument);
    }
    return request;
}

QByteArray EncodeAnswer(const QVariant& value) {
    return '=' + EncodeValue(value) + '\n';
}

QByteArray EncodeError(const QString& message) {
    return '!' + Escape(message) + '\n';
}

std::optional<Answer> DecodeAnswer(const QByteArray& line) {
    if (line.isEmpty())
        return std::nullopt;
    if (line[0] == '!') {
        const std::optional<QString> message = Unescape(line.sliced(1));
        if (!message)
            return std::nullopt;
        return Answer{true, QVariant(), *message};
    }
    if (line[0] != '=' || line.contains('\t'))
        return std::nullopt;
    std::optional<QVariant> value = DecodeValue(line.sliced(1));
    if (!value)
        return std::nullopt;
    return Answer{false, *value, QString()};
}

} // namespace AutomationProtocol

#include "platform/AutomationProtocol.h"

#include <QList>
#include <QLocale>

namespace AutomationProtocol {
namespace {

QByteArray Escape(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray escaped;
    qsizetype copied = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const char* replacement = c == '\\'   ? "\\\\"
                                  : c == '\t' ? "\\t"
                                  : c == '\n' ? "\\n"
                                  : c == '\r' ? "\\r"
                                              : nullptr;
        if (!replacement)
            continue;
        escaped.append(utf8.constData() + copied, i - copied).append(replacement);
        copied = i + 1;
    }
    // Most text has nothing to escape: no copy then.
    if (copied == 0)
        return utf8;
    return escaped.append(utf8.constData() + copied, utf8.size() - copied);
}

std::optional<QString> Unescape(QByteArrayView escaped) {
    qsizetype backslash = escaped.indexOf('\\');
    if (backslash < 0)
        return QString::fromUtf8(escaped);
    QByteArray utf8;
    qsizetype copied = 0;
    while (backslash >= 0) {
        if (backslash + 1 == escaped.size())
            return std::nullopt;
        const char code = escaped[backslash + 1];
        const char c = code == '\\'  ? '\\'
                       : code == 't' ? '\t'
                       : code == 'n' ? '\n'
                       : code == 'r' ? '\r'
                                     : 0;
        if (c == 0)
            return std::nullopt;
        utf8.append(escaped.sliced(copied, backslash - copied)).append(c);
        copied = backslash + 2;
        backslash = escaped.indexOf('\\', copied);
    }
    utf8.append(escaped.sliced(copied));
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
    if (value.metaType() == QMetaType::fromType<ServerObject>())
        return 'O' + QByteArray::number(value.value<ServerObject>().number);
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
    case 'I':
    case 'O': {
        const qlonglong number = payload.toByteArray().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        if (field[0] == 'O')
            return QVariant::fromValue(ServerObject{number});
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
    if (line[0] == '!' || line[0] == '?') {
        const std::optional<QString> message = Unescape(line.sliced(1));
        if (!message)
            return std::nullopt;
        return Answer{true, QVariant(), *message, line[0] == '?'};
    }
    if (line[0] != '=' || line.contains('\t'))
        return std::nullopt;
    std::optional<QVariant> value = DecodeValue(line.sliced(1));
    if (!value)
        return std::nullopt;
    return Answer{false, *value, QString()};
}

} // namespace AutomationProtocol

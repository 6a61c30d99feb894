#include "platform/ConnectionStringParts.h"

namespace {
const QString kFirebirdDriver = QStringLiteral("Firebird/InterBase(r) driver");
const QString kHidden = QStringLiteral("***");
} // namespace

ConnectionStringParts::ConnectionStringParts(const QString& connectionString) {
    qsizetype pos = 0;
    const qsizetype length = connectionString.size();
    while (pos < length) {
        const qsizetype start = pos;
        const qsizetype equals = connectionString.indexOf(QLatin1Char('='), pos);
        qsizetype semicolon = connectionString.indexOf(QLatin1Char(';'), pos);
        if (semicolon < 0)
            semicolon = length;
        if (equals < 0 || equals > semicolon) {
            parts_.append({QString(), QString(), connectionString.mid(start, semicolon - start)});
            pos = semicolon + 1;
            continue;
        }
        Part part;
        part.key = connectionString.mid(start, equals - start).trimmed();
        qsizetype valueStart = equals + 1;
        while (valueStart < length && connectionString.at(valueStart).isSpace())
            ++valueStart;
        qsizetype end = semicolon;
        if (valueStart < length && connectionString.at(valueStart) == QLatin1Char('{')) {
            // Inside the braces a doubled "}" stands for one, as the ODBC drivers read it.
            qsizetype brace = valueStart + 1;
            for (; brace < length; ++brace)
                if (connectionString.at(brace) != QLatin1Char('}'))
                    part.value += connectionString.at(brace);
                else if (brace + 1 < length && connectionString.at(brace + 1) == QLatin1Char('}'))
                    part.value += connectionString.at(brace++);
                else
                    break;
            end = connectionString.indexOf(QLatin1Char(';'), brace);
            if (end < 0)
                end = length;
        } else {
            part.value = connectionString.mid(valueStart, semicolon - valueStart).trimmed();
        }
        part.raw = connectionString.mid(start, end - start);
        parts_.append(part);
        pos = end + 1;
    }
}

QString ConnectionStringParts::Value(const QString& key, const QString& fallback) const {
    for (const Part& part : parts_)
        if (part.key.compare(key, Qt::CaseInsensitive) == 0)
            return part.value;
    return fallback;
}

bool ConnectionStringParts::NamesFirebirdDriver() const {
    for (const Part& part : parts_)
        if (part.key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0 &&
            part.value.compare(kFirebirdDriver, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString ConnectionStringParts::Scrub(const QString& text) const {
    QString result = text;
    for (const Part& part : parts_) {
        if (!IsPasswordKey(part.key))
            continue;
        if (!part.raw.trimmed().isEmpty())
            result.replace(part.raw, part.key + QLatin1Char('=') + kHidden);
        if (!part.value.isEmpty())
            result.replace(part.value, kHidden);
    }
    return result;
}

bool ConnectionStringParts::IsPasswordKey(const QString& key) {
    return key.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0 ||
           key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0;
}

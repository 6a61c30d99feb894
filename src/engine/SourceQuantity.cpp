#include "engine/SourceQuantity.h"

#include "platform/Errors.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

bool IsDigit(QChar ch) {
    return ch >= u'0' && ch <= u'9';
}

// A blank between digits groups them; Russian formats use a non-breaking space for it.
bool IsGroupingBlank(QChar ch) {
    return ch == u' ' || ch == QChar(0x00A0) || ch == QChar(0x202F);
}

// The C locale has no regional settings, so no group separator of its own either.
QChar LocaleGroupSeparator() {
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        return QChar();
    const QString separator = locale.groupSeparator();
    return separator.size() == 1 ? separator.front() : QChar();
}

// Where the decimals begin: the later of "," and "." when both are there (the earlier one
// groups), a single one of them unless it groups the thousands of the locale; -1 for none.
// Nothing when the later one comes twice.
std::optional<qsizetype> DecimalPosition(QStringView text, QChar localeGroup) {
    const qsizetype lastComma = text.lastIndexOf(u',');
    const qsizetype lastPoint = text.lastIndexOf(u'.');
    const qsizetype last = std::max(lastComma, lastPoint);
    if (last < 0)
        return -1;
    const QChar mark = text[last];
    const bool repeated = text.indexOf(mark) != last;
    if (lastComma >= 0 && lastPoint >= 0)
        return repeated ? std::nullopt : std::optional<qsizetype>(last);
    if (repeated)
        return -1;
    const bool thousands = mark == localeGroup &&
                           mark != QLocale::system().decimalPoint().front() &&
                           last + 4 == text.size() && IsDigit(text[last + 1]) &&
                           IsDigit(text[last + 2]) && IsDigit(text[last + 3]);
    return thousands ? -1 : last;
}

// The digits of a whole part, without the separators that group them: the first group has
// one to three digits, every later one exactly three.
std::optional<QString> WholeDigits(QStringView whole, QChar localeGroup) {
    QString digits;
    int groupDigits = 0;
    bool grouped = false;
    for (QChar ch : whole) {
        if (IsDigit(ch)) {
            digits += ch;
            ++groupDigits;
            continue;
        }
        const bool separator = IsGroupingBlank(ch) || ch == u',' || ch == u'.' || ch == localeGroup;
        if (!separator || groupDigits == 0 || groupDigits > 3 || (grouped && groupDigits != 3))
            return std::nullopt;
        grouped = true;
        groupDigits = 0;
    }
    if (grouped && groupDigits != 3)
        return std::nullopt;
    return digits;
}

// The mantissa with one "." for its decimals, as the C locale reads it.
std::optional<QString> Mantissa(QStringView text) {
    const QChar localeGroup = LocaleGroupSeparator();
    const std::optional<qsizetype> decimal = DecimalPosition(text, localeGroup);
    if (!decimal)
        return std::nullopt;
    const std::optional<QString> whole =
        WholeDigits(*decimal >= 0 ? text.first(*decimal) : text, localeGroup);
    if (!whole)
        return std::nullopt;
    const QStringView fraction = *decimal >= 0 ? text.sliced(*decimal + 1) : QStringView();
    if (!std::all_of(fraction.begin(), fraction.end(), IsDigit) ||
        (whole->isEmpty() && fraction.isEmpty()))
        return std::nullopt;
    return fraction.isEmpty() ? *whole : *whole + u'.' + fraction.toString();
}

} // namespace

namespace SourceQuantity {

std::optional<double> FromText(const QString& text) {
    QStringView rest = QStringView(text).trimmed();
    QString number;
    if (!rest.isEmpty() && (rest.front() == u'-' || rest.front() == u'+')) {
        number += rest.front();
        rest = rest.sliced(1);
    }
    QStringView exponent;
    const qsizetype e = rest.indexOf(u'e', 0, Qt::CaseInsensitive);
    if (e >= 0) {
        exponent = rest.sliced(e);
        rest = rest.first(e);
    }
    const std::optional<QString> mantissa = Mantissa(rest);
    if (!mantissa)
        return std::nullopt;
    number += *mantissa + exponent.toString();
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QVariant Read(const QVariant& value, const QString& code) {
    if (value.isNull() || value.typeId() != QMetaType::QString)
        return value;
    const std::optional<double> number = FromText(value.toString());
    if (!number)
        throw Exception(QStringLiteral("Количество товара с кодом %1 не является числом: \"%2\"")
                            .arg(code, value.toString()));
    return *number;
}

} // namespace SourceQuantity

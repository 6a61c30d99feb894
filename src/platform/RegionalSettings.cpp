#include "platform/RegionalSettings.h"

#include <QLocale>

#include <cmath>
#include <mutex>

namespace {

struct Formats {
    QString shortDate;
    QString longTime;
    QChar decimalSeparator;
};

bool IsBlank(QChar ch) {
    return ch == u' ' || ch == u'\t';
}

bool IsDigit(QChar ch) {
    return ch >= u'0' && ch <= u'9';
}

// Time text is stored and read back, and a zone name would not read back; so the long time
// format loses its "t" fields together with the blanks before them.
QString WithoutTimeZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar ch = format[i];
        if (ch == u'\'') {
            quoted = !quoted;
        } else if (!quoted && ch == u't') {
            while (!result.isEmpty() && IsBlank(result.back()))
                result.chop(1);
            while (i + 1 < format.size() && format[i + 1] == u't')
                ++i;
            if (result.isEmpty())
                while (i + 1 < format.size() && IsBlank(format[i + 1]))
                    ++i;
            continue;
        }
        result += ch;
    }
    return result;
}

const Formats& HomeFormats() {
    static const Formats formats{QStringLiteral("dd.MM.yyyy"), QStringLiteral("H:mm:ss"), u'.'};
    return formats;
}

const Formats& SystemFormats() {
    static const Formats formats = [] {
        const QLocale locale = QLocale::system();
        if (locale.language() == QLocale::C || locale.name() == QStringLiteral("C")) {
            // The C/POSIX locale carries no regional settings of its own.
            return HomeFormats();
        }
        const QString decimal = locale.decimalPoint();
        return Formats{locale.dateFormat(QLocale::ShortFormat),
                       WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)),
                       decimal.size() == 1 ? decimal.front() : QChar(u'.')};
    }();
    return formats;
}

std::mutex& FormatsMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<Formats>& OverriddenFormats() {
    static std::optional<Formats> formats;
    return formats;
}

Formats CurrentFormats() {
    const std::lock_guard lock(FormatsMutex());
    return OverriddenFormats().value_or(SystemFormats());
}

// The fields read from a text by a date or time format.
struct Fields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    bool twelveHour = false;
    std::optional<bool> afternoon;
};

// Reads one to maxDigits digits; more digits than that are no match.
bool ReadNumber(QStringView text, qsizetype& pos, int maxDigits, int& value,
                int* digits = nullptr) {
    qsizetype end = pos;
    while (end < text.size() && IsDigit(text[end]))
        ++end;
    const qsizetype count = end - pos;
    if (count == 0 || count > maxDigits)
        return false;
    value = text.sliced(pos, count).toInt();
    if (digits != nullptr)
        *digits = static_cast<int>(count);
    pos = end;
    return true;
}

// Matches the longest of the names at pos, without letter case; returns its index or -1.
int ReadName(QStringView text, qsizetype& pos, const QStringList& names) {
    int best = -1;
    qsizetype bestLength = 0;
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        if (name.size() > bestLength && text.sliced(pos).startsWith(name, Qt::CaseInsensitive)) {
            best = i;
            bestLength = name.size();
        }
    }
    pos += bestLength;
    return best;
}

QStringList MonthNames(const QLocale& locale) {
    QStringList names;
    for (const auto type : {QLocale::LongFormat, QLocale::ShortFormat})
        for (int month = 1; month <= 12; ++month)
            names << locale.monthName(month, type) << locale.standaloneMonthName(month, type);
    return names;
}

QStringList DayNames(const QLocale& locale) {
    QStringList names;
    for (const auto type : {QLocale::LongFormat, QLocale::ShortFormat})
        for (int day = 1; day <= 7; ++day)
            names << locale.dayName(day, type) << locale.standaloneDayName(day, type);
    return names;
}

// Two-digit years fall between 1950 and 2049.
int FullYear(int year, int digits) {
    if (digits > 2)
        return year;
    return year < 50 ? 2000 + year : 1900 + year;
}

bool ReadField(QStringView text, qsizetype& pos, QChar letter, qsizetype count, Fields& fields,
               const QLocale& locale) {
    switch (letter.unicode()) {
    case u'd':
        if (count >= 3)
            return ReadName(text, pos, DayNames(locale)) >= 0;
        return ReadNumber(text, pos, 2, fields.day);
    case u'M':
        if (count >= 3) {
            const int index = ReadName(text, pos, MonthNames(locale));
            fields.month = index % 24 / 2 + 1;
            return index >= 0;
        }
        return ReadNumber(text, pos, 2, fields.month);
    case u'y': {
        int digits = 0;
        if (!ReadNumber(text, pos, 4, fields.year, &digits) || digits == 3)
            return false;
        fields.year = FullYear(fields.year, digits);
        return true;
    }
    case u'H':
        return ReadNumber(text, pos, 2, fields.hour);
    case u'h':
        fields.twelveHour = true;
        return ReadNumber(text, pos, 2, fields.hour);
    case u'm':
        return ReadNumber(text, pos, 2, fields.minute);
    case u's':
        return ReadNumber(text, pos, 2, fields.second);
    case u'z': {
        int digits = 0;
        if (!ReadNumber(text, pos, 3, fields.millisecond, &digits))
            return false;
        for (; digits < 3; ++digits)
            fields.millisecond *= 10; // a fraction of a second
        return true;
    }
    default:
        return false;
    }
}

bool ReadAmPm(QStringView text, qsizetype& pos, Fields& fields, const QLocale& locale) {
    const QStringList names = {locale.amText(),      locale.pmText(),     QStringLiteral("AM"),
                               QStringLiteral("PM"), QStringLiteral("A"), QStringLiteral("P")};
    const int index = ReadName(text, pos, names);
    if (index < 0)
        return false;
    fields.afternoon = index % 2 == 1;
    return true;
}

// Reads text from pos by a Qt date or time format: a number field takes one or two digits
// whatever its letter count, a blank takes any run of blanks, other characters stand for
// themselves.
bool ReadByFormat(QStringView text, qsizetype& pos, const QString& format, Fields& fields) {
    const QLocale locale = QLocale::system();
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar ch = format[i];
        if (ch == u'\'') {
            const qsizetype close = format.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? format.size() : close;
            // '' inside a format stands for one quote
            const QString literal =
                end == i + 1 ? QStringLiteral("'") : format.sliced(i + 1, end - i - 1);
            if (!text.sliced(pos).startsWith(literal))
                return false;
            pos += literal.size();
            i = end + 1;
        } else if ((ch == u'A' || ch == u'a') && i + 1 < format.size() &&
                   format[i + 1].toLower() == u'p') {
            if (!ReadAmPm(text, pos, fields, locale))
                return false;
            i += 2;
        } else if (ch == u'A' || ch == u'a') {
            if (!ReadAmPm(text, pos, fields, locale))
                return false;
            ++i;
        } else if (QStringView(u"dMyHhmsz").contains(ch)) {
            qsizetype count = 1;
            while (i + count < format.size() && format[i + count] == ch)
                ++count;
            if (!ReadField(text, pos, ch, count, fields, locale))
                return false;
            i += count;
        } else if (IsBlank(ch)) {
            if (pos >= text.size() || !IsBlank(text[pos]))
                return false;
            while (pos < text.size() && IsBlank(text[pos]))
                ++pos;
            ++i;
        } else {
            if (pos >= text.size() || text[pos] != ch)
                return false;
            ++pos;
            ++i;
        }
    }
    return true;
}

std::optional<QTime> TimeOf(const Fields& fields) {
    int hour = fields.hour;
    if (fields.afternoon.has_value()) {
        if (fields.twelveHour && (hour < 1 || hour > 12))
            return std::nullopt;
        if (fields.twelveHour)
            hour = hour % 12 + (*fields.afternoon ? 12 : 0);
    }
    const QTime time(hour, fields.minute, fields.second, fields.millisecond);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

std::optional<QTime> ReadTime(QStringView text, qsizetype pos, const QString& format) {
    Fields fields;
    if (!ReadByFormat(text, pos, format, fields) || pos != text.size())
        return std::nullopt;
    return TimeOf(fields);
}

QStringView TrimBlanks(const QString& text) {
    QStringView view(text);
    while (!view.isEmpty() && IsBlank(view.front()))
        view = view.sliced(1);
    while (!view.isEmpty() && IsBlank(view.back()))
        view.chop(1);
    return view;
}

// Where summer time begins, the skipped hour has no local time; the first minute after it
// that exists stands in for it, so that no text is refused for the time zone's sake.
QDateTime LocalDateTime(const QDate& date, const QTime& time) {
    const QDateTime exact(date, time);
    if (exact.isValid())
        return exact;
    const QDateTime wallClock(date, QTime(time.hour(), time.minute()), Qt::UTC);
    for (int minutes = 1; minutes <= 24 * 60; ++minutes) {
        const QDateTime later = wallClock.addSecs(60LL * minutes);
        const QDateTime local(later.date(), later.time());
        if (local.isValid())
            return local;
    }
    return QDateTime(date, time, Qt::UTC).toLocalTime();
}

std::optional<QDateTime> ReadDateTime(QStringView text, const Formats& formats) {
    qsizetype pos = 0;
    Fields fields;
    if (!ReadByFormat(text, pos, formats.shortDate, fields))
        return std::nullopt;
    const QDate date(fields.year, fields.month, fields.day);
    if (!date.isValid())
        return std::nullopt;
    if (pos == text.size())
        return LocalDateTime(date, QTime(0, 0));
    if (!IsBlank(text[pos]))
        return std::nullopt;
    while (IsBlank(text[pos]))
        ++pos;
    const std::optional<QTime> time = ReadTime(text, pos, formats.longTime);
    if (!time.has_value())
        return std::nullopt;
    return LocalDateTime(date, *time);
}

QString FormatDateTime(const QDateTime& value, const Formats& formats, const QLocale& locale) {
    if (!value.isValid())
        return QString();
    QString text = locale.toString(value.date(), formats.shortDate);
    if (value.time() != QTime(0, 0))
        text += u' ' + locale.toString(value.time(), formats.longTime);
    return text;
}

QString FormatTime(const QTime& value, const Formats& formats, const QLocale& locale) {
    if (!value.isValid())
        return QString();
    return locale.toString(value, formats.longTime);
}

} // namespace

namespace RegionalSettings {

QString ShortDateFormat() {
    return CurrentFormats().shortDate;
}

QString LongTimeFormat() {
    return CurrentFormats().longTime;
}

QChar DecimalSeparator() {
    return CurrentFormats().decimalSeparator;
}

void SetFormats(const QString& shortDate, const QString& longTime, QChar decimalSeparator) {
    const std::lock_guard lock(FormatsMutex());
    OverriddenFormats() = Formats{shortDate, WithoutTimeZone(longTime), decimalSeparator};
}

void UseSystemFormats() {
    const std::lock_guard lock(FormatsMutex());
    OverriddenFormats().reset();
}

QString DateTimeToText(const QDateTime& value) {
    return FormatDateTime(value, CurrentFormats(), QLocale::system());
}

QString TimeToText(const QTime& value) {
    return FormatTime(value, CurrentFormats(), QLocale::system());
}

QString StoredDateTimeToText(const QDateTime& value) {
    return FormatDateTime(value, HomeFormats(), QLocale::c());
}

QString StoredTimeToText(const QTime& value) {
    return FormatTime(value, HomeFormats(), QLocale::c());
}

std::optional<QDateTime> TextToDateTime(const QString& text) {
    const QStringView trimmed = TrimBlanks(text);
    if (const auto value = ReadDateTime(trimmed, HomeFormats()))
        return value;
    return ReadDateTime(trimmed, CurrentFormats());
}

std::optional<QTime> TextToTime(const QString& text) {
    const QStringView trimmed = TrimBlanks(text);
    if (const auto value = ReadTime(trimmed, 0, HomeFormats().longTime))
        return value;
    return ReadTime(trimmed, 0, CurrentFormats().longTime);
}

std::optional<double> TextToFloat(const QString& text) {
    const QChar separator = DecimalSeparator();
    const QStringView trimmed = TrimBlanks(text);
    QByteArray number;
    qsizetype pos = 0;
    if (pos < trimmed.size() && (trimmed[pos] == u'-' || trimmed[pos] == u'+'))
        number += static_cast<char>(trimmed[pos++].unicode());
    int mantissaDigits = 0;
    bool seenSeparator = false;
    for (; pos < trimmed.size(); ++pos) {
        const QChar ch = trimmed[pos];
        if (IsDigit(ch)) {
            number += static_cast<char>(ch.unicode());
            ++mantissaDigits;
        } else if (!seenSeparator && (ch == separator || ch == u'.')) {
            number += '.';
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (pos < trimmed.size() && (trimmed[pos] == u'e' || trimmed[pos] == u'E')) {
        number += 'e';
        ++pos;
        if (pos < trimmed.size() && (trimmed[pos] == u'-' || trimmed[pos] == u'+'))
            number += static_cast<char>(trimmed[pos++].unicode());
        int exponentDigits = 0;
        for (; pos < trimmed.size() && IsDigit(trimmed[pos]); ++pos) {
            number += static_cast<char>(trimmed[pos].unicode());
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (pos != trimmed.size())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(QLatin1StringView(number), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace RegionalSettings

#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

// Date and time text as the user's regional settings give it: the short date format and the
// long time format of the system locale (without a time-zone part). Under the C/POSIX locale,
// which has none, the home formats "dd.MM.yyyy" and "H:mm:ss", the formats of the Windows
// installation. Stored text is always in the home formats, so that a file reads back under any
// locale. Text is read back leniently, home formats first, then the locale's: one or two
// digits per field, as the formats allow. A local time that the change to summer time skips
// reads as the first valid time after it. The reading is our own, not QDateTime::fromString:
// Qt puts every two-digit year in the 1900s where Windows reads 1950 to 2049, and takes one
// blank only where Windows takes a run of them.
namespace RegionalSettings {

QString ShortDateFormat();
QString LongTimeFormat();
QChar DecimalSeparator();

// Overrides the formats taken from the locale (tests, and a fixed setup).
void SetFormats(const QString& shortDate, const QString& longTime, QChar decimalSeparator = u'.');
// Back to the formats of the system locale.
void UseSystemFormats();

// Short date, a blank and long time; the time part is left out at exactly midnight.
QString DateTimeToText(const QDateTime& value);
QString TimeToText(const QTime& value);
// The same in the home formats, whatever the locale.
QString StoredDateTimeToText(const QDateTime& value);
QString StoredTimeToText(const QTime& value);
std::optional<QDateTime> TextToDateTime(const QString& text);
std::optional<QTime> TextToTime(const QString& text);

// A number in the system's number format (the decimal separator above; "." also accepted).
std::optional<double> TextToFloat(const QString& text);

} // namespace RegionalSettings

#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

// Date and time text as the user's regional settings give it: the short date format and the
// long time format of the system locale (without a time-zone part). Under the C/POSIX locale,
// which has none, the home formats "dd.MM.yyyy" and "H:mm:ss". Text is read back leniently:
// one or two digits per field, as the formats of the locale allow.
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
std::optional<QDateTime> TextToDateTime(const QString& text);
std::optional<QTime> TextToTime(const QString& text);

// A number in the system's number format (the decimal separator above; "." also accepted).
std::optional<double> TextToFloat(const QString& text);

} // namespace RegionalSettings

#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// A quantity as a source hands it over, made a number before it is bound: a driver that is
// given a text that is no number would write 0, and 0 never equals the text.
namespace SourceQuantity {

// Reads a text as a number. Blanks at either end are ignored; a decimal comma and a decimal
// point are both accepted, as sources in this trade store both; digits may be grouped by
// blanks (also the non-breaking ones Russian formats use), by the locale's group separator,
// or by "." and "," when the other one marks the decimals ("1.109,71", "1,109.71"). A single
// "," or "." is the decimal separator, unless it is the locale's group separator and
// exactly three digits follow it. Anything else is no number.
std::optional<double> FromText(const QString& text);

// The value to bind for the item with this code: a Null stays a Null, a number stays as it
// came, a text is read by FromText. A text that is no number is an Exception naming the code
// and the text.
QVariant Read(const QVariant& value, const QString& code);

} // namespace SourceQuantity

// Date, time and number text of any kind, read under the home formats and under a locale's;
// a date or time it reads is written in the stored formats and reads back the same.
#include "FuzzInput.h"

#include "platform/RegionalSettings.h"

#include <cstdlib>

namespace {

struct Formats {
    const char16_t* shortDate;
    const char16_t* longTime;
    char16_t decimalSeparator;
};

// The home formats, and those of a few locales the service runs under.
constexpr Formats kFormats[] = {
    {u"dd.MM.yyyy", u"H:mm:ss", u','},
    {u"M/d/yy", u"h:mm:ss AP", u'.'},
    {u"yyyy-MM-dd", u"HH:mm:ss", u'.'},
    {u"dd/MM/yyyy", u"HH.mm.ss", u','},
};

// A value read from the text is shown, and written as stored it reads back the same.
template <typename Read, typename Show, typename Store>
void ReadsBackStored(const QString& text, Read read, Show show, Store store) {
    const auto value = read(text);
    if (!value)
        return;
    show(*value);
    const auto again = read(store(*value));
    if (!again || *again != *value)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const Formats& chosen = kFormats[data[0] % std::size(kFormats)];
    RegionalSettings::SetFormats(QString::fromUtf16(chosen.shortDate),
                                 QString::fromUtf16(chosen.longTime), chosen.decimalSeparator);
    const QString text = QString::fromUtf8(FuzzInput::Bytes(data + 1, size - 1));

    ReadsBackStored(text, RegionalSettings::TextToDateTime, RegionalSettings::DateTimeToText,
                    RegionalSettings::StoredDateTimeToText);
    ReadsBackStored(text, RegionalSettings::TextToTime, RegionalSettings::TimeToText,
                    RegionalSettings::StoredTimeToText);
    RegionalSettings::TextToFloat(text);
    return 0;
}

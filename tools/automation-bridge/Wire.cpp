#include "Wire.h"

#include "ObjectTable.h"

#include <oleauto.h>

#include <charconv>
#include <cstdint>
#include <limits>

namespace Wire {
namespace {

template <typename Number> std::optional<Number> ParseNumber(std::string_view text) {
    Number number{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return number;
}

std::string FormatDouble(double number) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, error == std::errc() ? end : buffer);
}

// The value as another type, or nothing when it does not convert.
std::optional<VARIANT> Converted(const VARIANT& value, VARTYPE type) {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeTypeEx(&converted, const_cast<VARIANT*>(&value), LOCALE_INVARIANT, 0,
                                   type)))
        return std::nullopt;
    return converted;
}

// A field: its type letter, then the payload.
std::string Field(char type, std::string payload) {
    payload.insert(payload.begin(), type);
    return payload;
}

std::optional<std::string> EncodeObject(IUnknown* object, ObjectTable& objects) {
    if (!object)
        return "N";
    IDispatch* dispatch = nullptr;
    if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return std::nullopt;
    const std::int64_t number = objects.Hold(dispatch);
    dispatch->Release();
    return Field('O', std::to_string(number));
}

} // namespace

std::string Escape(std::string_view utf8) {
    std::string escaped;
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
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

std::optional<std::string> Unescape(std::string_view escaped) {
    std::string text;
    text.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            text += escaped[i];
            continue;
        }
        if (++i == escaped.size())
            return std::nullopt;
        switch (escaped[i]) {
        case '\\':
            text += '\\';
            break;
        case 't':
            text += '\t';
            break;
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return text;
}

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), size);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), size, nullptr,
                        nullptr);
    return utf8;
}

bool DecodeValue(std::string_view field, const ObjectTable& objects, VARIANT& value) {
    VariantInit(&value);
    if (field.empty())
        return false;
    const std::string_view payload = field.substr(1);
    switch (field.front()) {
    case 'N':
        return payload.empty();
    case 'B':
        if (payload != "-1" && payload != "0")
            return false;
        value.vt = VT_BOOL;
        value.boolVal = payload == "0" ? VARIANT_FALSE : VARIANT_TRUE;
        return true;
    case 'I': {
        const std::optional<std::int64_t> number = ParseNumber<std::int64_t>(payload);
        if (!number)
            return false;
        if (*number >= std::numeric_limits<LONG>::min() &&
            *number <= std::numeric_limits<LONG>::max()) {
            value.vt = VT_I4;
            value.lVal = LONG(*number);
        } else {
            value.vt = VT_I8;
            value.llVal = *number;
        }
        return true;
    }
    case 'F': {
        const std::optional<double> number = ParseNumber<double>(payload);
        if (!number)
            return false;
        value.vt = VT_R8;
        value.dblVal = *number;
        return true;
    }
    case 'S': {
        const std::optional<std::string> text = Unescape(payload);
        if (!text)
            return false;
        const std::wstring wide = Wide(*text);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(wide.data(), UINT(wide.size()));
        return true;
    }
    case 'O': {
        const std::optional<std::int64_t> number = ParseNumber<std::int64_t>(payload);
        IDispatch* object = number ? objects.Find(*number) : nullptr;
        if (!object)
            return false;
        object->AddRef();
        value.vt = VT_DISPATCH;
        value.pdispVal = object;
        return true;
    }
    default:
        return false;
    }
}

std::optional<std::string> EncodeValue(const VARIANT& value, ObjectTable& objects) {
    if (value.vt & VT_BYREF) {
        VARIANT direct;
        VariantInit(&direct);
        if (FAILED(VariantCopyInd(&direct, const_cast<VARIANT*>(&value))))
            return std::nullopt;
        std::optional<std::string> encoded = EncodeValue(direct, objects);
        VariantClear(&direct);
        return encoded;
    }
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return "N";
    case VT_BOOL:
        return value.boolVal == VARIANT_FALSE ? "B0" : "B-1";
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
        if (const std::optional<VARIANT> number = Converted(value, VT_I8))
            return Field('I', std::to_string(number->llVal));
        [[fallthrough]];
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
        if (const std::optional<VARIANT> number = Converted(value, VT_R8))
            return Field('F', FormatDouble(number->dblVal));
        return std::nullopt;
    case VT_BSTR:
        return Field('S',
                     Escape(Utf8(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)))));
    case VT_DISPATCH:
        return EncodeObject(value.pdispVal, objects);
    case VT_UNKNOWN:
        return EncodeObject(value.punkVal, objects);
    default:
        // Dates and the like go as their text.
        std::optional<VARIANT> text = Converted(value, VT_BSTR);
        if (!text)
            return std::nullopt;
        std::optional<std::string> encoded = EncodeValue(*text, objects);
        VariantClear(&*text);
        return encoded;
    }
}

} // namespace Wire

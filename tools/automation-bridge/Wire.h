#pragma once

#include <windows.h>

#include <oaidl.h>

#include <optional>
#include <string>
#include <string_view>

class ObjectTable;

// The values of the line protocol (the same as the Linux side's AutomationProtocol) taken to
// and from VARIANT. Text is UTF-8 on the wire and UTF-16 (BSTR) inside.
//   "B-1" / "B0" VT_BOOL, "I" + decimal VT_I4 (VT_I8 beyond 32 bits), "F" + decimal VT_R8,
//   "S" + escaped text VT_BSTR, "N" VT_EMPTY, "O" + number an object the bridge holds.
namespace Wire {

std::string Escape(std::string_view utf8);
std::optional<std::string> Unescape(std::string_view escaped);

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// False for a field outside the protocol or an object number the table does not hold. The
// caller clears the VARIANT.
bool DecodeValue(std::string_view field, const ObjectTable& objects, VARIANT& value);
// An object in the value joins the table. Nothing when the value has no protocol form.
std::optional<std::string> EncodeValue(const VARIANT& value, ObjectTable& objects);

} // namespace Wire

#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text helpers on UTF-16 strings, as COM hands them over.
namespace WideText {

std::wstring Trimmed(std::wstring_view text);
// Letter case dropped the way the system compares names (Cyrillic too).
std::wstring Folded(std::wstring_view text);
bool SameIgnoringCase(std::wstring_view left, std::wstring_view right);
bool StartsWith(std::wstring_view text, std::wstring_view prefix);
bool EndsWith(std::wstring_view text, std::wstring_view suffix);
std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator);
// Blank-separated words; double quotes group blanks into a word and are dropped.
std::vector<std::wstring> CommandLineWords(std::wstring_view commandLine);
std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

} // namespace WideText

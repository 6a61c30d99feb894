#include "WideText.h"

#include <windows.h>

#include <cwctype>

namespace WideText {

std::wstring Trimmed(std::wstring_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::iswspace(text[begin]))
        ++begin;
    while (end > begin && std::iswspace(text[end - 1]))
        --end;
    return std::wstring(text.substr(begin, end - begin));
}

std::wstring Folded(std::wstring_view text) {
    std::wstring folded(text);
    if (!folded.empty())
        ::CharLowerBuffW(folded.data(), DWORD(folded.size()));
    return folded;
}

bool SameIgnoringCase(std::wstring_view left, std::wstring_view right) {
    return Folded(left) == Folded(right);
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::wstring_view::npos)
            return parts;
        start = end + 1;
    }
}

std::vector<std::wstring> CommandLineWords(std::wstring_view commandLine) {
    std::vector<std::wstring> words;
    std::wstring word;
    bool quoted = false;
    bool inWord = false;
    for (const wchar_t ch : commandLine) {
        if (ch == L'"') {
            quoted = !quoted;
            inWord = true;
        } else if (std::iswspace(ch) && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += ch;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::wstring FromUtf8(std::string_view text) {
    if (text.empty())
        return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

std::string ToUtf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), size, nullptr,
                          nullptr);
    return narrow;
}

} // namespace WideText

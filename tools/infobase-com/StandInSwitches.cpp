#include "StandInSwitches.h"

#include "WideText.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr wchar_t kVariableName[] = L"INFOBASE_COM_SWITCHES";

std::pair<std::wstring, std::wstring> NamedText(const std::wstring& option,
                                                const std::wstring& value) {
    const size_t colon = value.find(L':');
    if (colon == 0 || colon == std::wstring::npos)
        throw L"--" + option + L" wants name:text, got " + value;
    return {WideText::Folded(value.substr(0, colon)), value.substr(colon + 1)};
}

} // namespace

StandInSwitches StandInSwitches::FromEnvironment() {
    const DWORD size = ::GetEnvironmentVariableW(kVariableName, nullptr, 0);
    if (size == 0)
        return StandInSwitches({});
    std::wstring value(size, L'\0');
    value.resize(::GetEnvironmentVariableW(kVariableName, value.data(), size));
    return StandInSwitches(WideText::CommandLineWords(value));
}

StandInSwitches::StandInSwitches(const std::vector<std::wstring>& words) {
    for (size_t i = 0; i < words.size(); ++i) {
        std::wstring option = words[i];
        std::wstring value;
        const size_t equals = option.find(L'=');
        if (equals != std::wstring::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
        } else if (i + 1 < words.size()) {
            value = words[++i];
        } else {
            throw L"missing value after " + option;
        }
        if (option == L"--fail")
            failures_.insert(NamedText(L"fail", value));
        else if (option == L"--answer")
            answers_.insert(NamedText(L"answer", value));
        else if (option == L"--exit-during")
            exits_.insert(WideText::Folded(value));
        else if (option == L"--delay") {
            wchar_t* end = nullptr;
            const unsigned long delay = std::wcstoul(value.c_str(), &end, 10);
            if (value.empty() || *end != L'\0')
                throw std::wstring(L"--delay wants milliseconds");
            delayMs_ = unsigned(delay);
        } else {
            throw L"unknown switch " + option;
        }
    }
}

StandInSwitches::Reaction StandInSwitches::For(const std::vector<std::wstring>& names) const {
    for (const std::wstring& name : names) {
        const std::wstring folded = WideText::Folded(name);
        if (exits_.count(folded) != 0)
            return {Action::Exit, {}};
        if (const auto failure = failures_.find(folded); failure != failures_.end())
            return {Action::Fail, failure->second};
        if (const auto answer = answers_.find(folded); answer != answers_.end())
            return {Action::Answer, answer->second};
    }
    return {};
}

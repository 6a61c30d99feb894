#include "StandInInfobase.h"

#include "WideText.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <utility>

namespace {

// The global-module functions, named as the transfer calls them.
constexpr wchar_t kClearBalances[] = L"глОчиститьТаблицуОстатковОЛЕ";
constexpr wchar_t kAddToBalances[] = L"глДобавитьВТаблицуОстатковОЛЕ";
constexpr wchar_t kSetStockFilter[] = L"глЗадатьФильтрСкладовОЛЕ";
constexpr wchar_t kFillBalances[] = L"глЗаполнитьТаблицуОстатковОЛЕ";
constexpr wchar_t kGetFromBalances[] = L"глПолучитьИзТаблицыОстатковОЛЕ";

[[noreturn]] void Fail(std::wstring message) {
    throw InfobaseError{std::move(message)};
}

// Wine exports the mapping of a Linux path to a drive path; elsewhere the path stays as it is.
std::wstring WindowsPath(const std::wstring& path) {
    if (path.empty() || path.front() != L'/')
        return path;
    using ToDos = WCHAR*(CDECL*)(LPCSTR);
    const auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos == nullptr)
        return path;
    WCHAR* mapped = toDos(WideText::ToUtf8(path).c_str());
    if (mapped == nullptr)
        return path;
    std::wstring result(mapped);
    ::HeapFree(::GetProcessHeap(), 0, mapped);
    return result;
}

// The file's trimmed, non-blank lines; nothing when it is no readable file.
std::optional<std::vector<std::wstring>> ReadLines(const std::wstring& path) {
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char chunk[65536];
    DWORD count = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, chunk, sizeof chunk, &count, nullptr)) && count > 0)
        bytes.append(chunk, count);
    ::CloseHandle(file);
    if (!ok)
        return std::nullopt;
    std::vector<std::wstring> lines;
    for (const std::wstring& line : WideText::Split(WideText::FromUtf8(bytes), L'\n')) {
        std::wstring trimmed = WideText::Trimmed(line);
        if (!trimmed.empty())
            lines.push_back(std::move(trimmed));
    }
    return lines;
}

std::optional<double> Number(std::wstring text) {
    std::replace(text.begin(), text.end(), L',', L'.');
    const std::string narrow = WideText::ToUtf8(text);
    double value = 0;
    const char* end = narrow.data() + narrow.size();
    const auto [stop, error] = std::from_chars(narrow.data(), end, value);
    if (narrow.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

void NoArgument(const std::wstring& name, const std::wstring& argument) {
    if (!argument.empty())
        Fail(L"Функция " + name + L" не принимает параметров");
}

std::wstring InFolder(const std::wstring& folder, const wchar_t* name) {
    return folder + L'\\' + name;
}

} // namespace

std::wstring StandInInfobase::RMTradeValue() {
    return L"Торговля+Склад";
}

std::wstring StandInInfobase::FunctionName(const std::wstring& expression) {
    const std::wstring text = WideText::Trimmed(expression);
    const size_t open = text.find(L'(');
    return open == std::wstring::npos ? text : WideText::Trimmed(text.substr(0, open));
}

bool StandInInfobase::Initialize(const std::wstring& commandLine) {
    std::wstring folder;
    std::wstring user;
    std::wstring password;
    for (const std::wstring& word : WideText::CommandLineWords(commandLine)) {
        if (word.size() < 2 || word[0] != L'/')
            continue;
        const std::wstring key = WideText::Folded(word.substr(1, 1));
        if (key == L"d")
            folder = word.substr(2);
        else if (key == L"n")
            user = word.substr(2);
        else if (key == L"p")
            password = word.substr(2);
    }
    opened_ = false;
    codes_.clear();
    filter_.clear();
    filled_.clear();
    if (folder.empty())
        return false;
    folder = WindowsPath(folder);
    const std::optional<std::vector<std::wstring>> users =
        ReadLines(InFolder(folder, L"Users.txt"));
    for (const std::wstring& line : users.value_or(std::vector<std::wstring>{})) {
        const size_t separator = line.find(L';');
        const std::wstring name = line.substr(0, separator);
        const std::wstring expected =
            separator == std::wstring::npos ? std::wstring() : line.substr(separator + 1);
        if (WideText::SameIgnoringCase(name, user) && expected == password) {
            folder_ = folder;
            opened_ = true;
            break;
        }
    }
    return opened_;
}

InfobaseValue StandInInfobase::EvalExpr(const std::wstring& expression) {
    if (!opened_)
        Fail(L"Информационная база не открыта");
    const std::wstring text = WideText::Trimmed(expression);
    const size_t open = text.find(L'(');
    if (open == std::wstring::npos || !WideText::EndsWith(text, L")"))
        Fail(L"Синтаксическая ошибка в выражении: " + expression);
    const std::wstring name = WideText::Trimmed(text.substr(0, open));
    const std::wstring argument = WideText::Trimmed(text.substr(open + 1, text.size() - open - 2));
    using Function = InfobaseValue (StandInInfobase::*)(const std::wstring&);
    static const std::pair<const wchar_t*, Function> functions[] = {
        {kClearBalances, &StandInInfobase::Clear},
        {kAddToBalances, &StandInInfobase::Add},
        {kSetStockFilter, &StandInInfobase::SetFilter},
        {kFillBalances, &StandInInfobase::Fill},
        {kGetFromBalances, &StandInInfobase::Get}};
    // Names are matched without letter case, as 1C does.
    for (const auto& [known, function] : functions)
        if (WideText::SameIgnoringCase(name, known))
            return (this->*function)(argument);
    Fail(L"Процедура или функция с указанным именем не определена (" + name + L")");
}

std::optional<std::vector<StandInInfobase::Balance>> StandInInfobase::ReadBalances() const {
    const std::optional<std::vector<std::wstring>> lines =
        ReadLines(InFolder(folder_, L"Balances.txt"));
    if (!lines)
        return std::nullopt;
    std::vector<Balance> balances;
    for (const std::wstring& line : *lines) {
        const std::vector<std::wstring> fields = WideText::Split(line, L';');
        const std::optional<double> quantity =
            fields.size() == 3 ? Number(WideText::Trimmed(fields[2])) : std::nullopt;
        if (!quantity)
            return std::nullopt;
        balances.push_back({WideText::Trimmed(fields[0]),
                            WideText::Folded(WideText::Trimmed(fields[1])), *quantity});
    }
    return balances;
}

InfobaseValue StandInInfobase::Clear(const std::wstring& argument) {
    NoArgument(kClearBalances, argument);
    codes_.clear();
    filled_.clear();
    return {};
}

InfobaseValue StandInInfobase::Add(const std::wstring& argument) {
    if (argument.empty())
        Fail(L"Не задан код товара");
    codes_.insert(argument);
    return {};
}

InfobaseValue StandInInfobase::SetFilter(const std::wstring& argument) {
    if (argument.size() < 2 || !WideText::StartsWith(argument, L"\"") ||
        !WideText::EndsWith(argument, L"\""))
        Fail(L"Фильтр складов должен быть строкой");
    std::vector<std::wstring> warehouses;
    for (const std::wstring& warehouse :
         WideText::Split(std::wstring_view(argument).substr(1, argument.size() - 2), L',')) {
        std::wstring trimmed = WideText::Trimmed(warehouse);
        if (!trimmed.empty())
            warehouses.push_back(std::move(trimmed));
    }
    if (!warehouses.empty()) {
        const std::optional<std::vector<Balance>> balances = ReadBalances();
        if (!balances)
            return std::wstring(L"Не удалось прочитать остатки информационной базы");
        std::set<std::wstring> known;
        for (const Balance& balance : *balances)
            known.insert(balance.warehouse);
        for (const std::wstring& warehouse : warehouses)
            if (known.count(WideText::Folded(warehouse)) == 0)
                return L"Склад не найден: " + warehouse;
    }
    filter_.clear();
    std::transform(warehouses.begin(), warehouses.end(), std::back_inserter(filter_),
                   [](const std::wstring& warehouse) { return WideText::Folded(warehouse); });
    return 1L;
}

InfobaseValue StandInInfobase::Fill(const std::wstring& argument) {
    NoArgument(kFillBalances, argument);
    filled_.clear();
    const std::optional<std::vector<Balance>> balances = ReadBalances();
    if (!balances)
        return -1L;
    for (const Balance& balance : *balances) {
        if (codes_.count(balance.code) == 0)
            continue;
        double& sum = filled_[balance.code];
        if (filter_.empty() ||
            std::find(filter_.begin(), filter_.end(), balance.warehouse) != filter_.end())
            sum += balance.quantity;
    }
    return 1L;
}

InfobaseValue StandInInfobase::Get(const std::wstring& argument) {
    const auto found = filled_.find(argument);
    return found == filled_.end() ? -1.0 : found->second;
}

#include "StandInRegistration.h"

#include <combaseapi.h>

#include <string>

namespace {

constexpr const wchar_t* ProgIds[] = {L"V1CEnterprise.Application", L"V77.Application",
                                      L"V77S.Application", L"V77L.Application",
                                      L"V77M.Application"};

std::wstring ClassIdText() {
    wchar_t text[64] = {};
    ::StringFromGUID2(StandInRegistration::kClassId, text, int(std::size(text)));
    return text;
}

std::wstring ClassKey() {
    return L"CLSID\\" + ClassIdText();
}

LSTATUS SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    return ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                             DWORD((value.size() + 1) * sizeof(wchar_t)));
}

HRESULT FromStatus(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

} // namespace

namespace StandInRegistration {

HRESULT Register(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(module, path.data(), DWORD(path.size()));
        if (length == 0)
            return HRESULT_FROM_WIN32(::GetLastError());
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    LSTATUS status = SetText(ClassKey(), nullptr, L"1C infobase stand-in");
    if (status == ERROR_SUCCESS)
        status = SetText(ClassKey() + L"\\InprocServer32", nullptr, path);
    if (status == ERROR_SUCCESS)
        status = SetText(ClassKey() + L"\\InprocServer32", L"ThreadingModel", L"Both");
    for (const wchar_t* progId : ProgIds)
        if (status == ERROR_SUCCESS)
            status = SetText(std::wstring(progId) + L"\\CLSID", nullptr, ClassIdText());
    return FromStatus(status);
}

HRESULT Unregister() {
    LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    for (const wchar_t* progId : ProgIds) {
        const LSTATUS removed = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, progId);
        if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
            status = removed;
    }
    return FromStatus(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status);
}

} // namespace StandInRegistration

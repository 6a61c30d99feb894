#pragma once

#include <windows.h>

// The stand-in's class and the ProgIDs of the 1C automation servers it answers for, in
// HKEY_CLASSES_ROOT (where Wine's COM looks them up).
namespace StandInRegistration {

// {cd71ba10-ced4-4959-af93-adcd8ef09960}
inline constexpr CLSID kClassId = {
    0xcd71ba10, 0xced4, 0x4959, {0xaf, 0x93, 0xad, 0xcd, 0x8e, 0xf0, 0x99, 0x60}};

HRESULT Register(HMODULE module);
HRESULT Unregister();

} // namespace StandInRegistration

// A COM in-process server standing in for a 1C:Enterprise infobase, for tests under Wine.
#include "ServerLocks.h"
#include "StandInFactory.h"
#include "StandInRegistration.h"

#include <windows.h>

namespace {

HMODULE thisModule = nullptr;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = module;
        ::DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (classId != StandInRegistration::kClassId)
        return CLASS_E_CLASSNOTAVAILABLE;
    StandInFactory* factory = new StandInFactory();
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

STDAPI DllCanUnloadNow() {
    return ServerLocks::Held() ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
    return StandInRegistration::Register(thisModule);
}

STDAPI DllUnregisterServer() {
    return StandInRegistration::Unregister();
}

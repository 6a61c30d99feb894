#include "StandInFactory.h"

#include "ServerLocks.h"
#include "StandInObject.h"

#include <cstdio>
#include <string>

StandInFactory::StandInFactory() {
    ServerLocks::Acquire();
}

StandInFactory::~StandInFactory() {
    ServerLocks::Release();
}

HRESULT StandInFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG StandInFactory::AddRef() {
    return ++references_;
}

ULONG StandInFactory::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT StandInFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    try {
        StandInObject* created = new StandInObject(StandInSwitches::FromEnvironment());
        const HRESULT result = created->QueryInterface(iid, object);
        created->Release();
        return result;
    } catch (const std::wstring& reason) {
        // A switch it does not understand: the object is not made, as the process stand-in
        // does not start.
        std::fwprintf(stderr, L"infobase-com: %ls\n", reason.c_str());
        return E_INVALIDARG;
    }
}

HRESULT StandInFactory::LockServer(BOOL lock) {
    if (lock)
        ServerLocks::Acquire();
    else
        ServerLocks::Release();
    return S_OK;
}

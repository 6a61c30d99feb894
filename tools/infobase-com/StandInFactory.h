#pragma once

#include <unknwn.h>

#include <atomic>

// Makes StandInObject instances, each with the switches the environment holds at the time.
class StandInFactory final : public IClassFactory {
public:
    StandInFactory();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~StandInFactory();

    std::atomic<ULONG> references_{1};
};

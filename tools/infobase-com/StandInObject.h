#pragma once

#include "StandInInfobase.h"
#include "StandInSwitches.h"

#include <oaidl.h>

#include <atomic>
#include <string>
#include <vector>

// The automation object of the COM stand-in: late-bound RMTrade, Initialize and EvalExpr
// answering as the process stand-in does. An error the infobase reports is raised as an
// exception (DISP_E_EXCEPTION with EXCEPINFO).
class StandInObject final : public IDispatch {
public:
    explicit StandInObject(StandInSwitches switches);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

private:
    ~StandInObject();

    // Throws InfobaseError.
    VARIANT Call(DISPID id, const std::vector<std::wstring>& arguments);

    std::atomic<ULONG> references_{1};
    StandInSwitches switches_;
    StandInInfobase infobase_;
};

#include "StandInObject.h"

#include "ServerLocks.h"

#include <oleauto.h>

#include <iterator>
#include <utility>

namespace {

enum Member : DISPID { RMTrade = 1, Initialize, EvalExpr };

constexpr std::pair<const wchar_t*, DISPID> Members[] = {
    {L"RMTrade", RMTrade}, {L"Initialize", Initialize}, {L"EvalExpr", EvalExpr}};

const wchar_t* MemberName(DISPID id) {
    for (const auto& [name, member] : Members)
        if (member == id)
            return name;
    return nullptr;
}

VARIANT Text(const std::wstring& text) {
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = ::SysAllocStringLen(text.data(), UINT(text.size()));
    return value;
}

VARIANT FromValue(const InfobaseValue& answer) {
    VARIANT value;
    ::VariantInit(&value);
    if (const long* integer = std::get_if<long>(&answer)) {
        value.vt = VT_I4;
        value.lVal = *integer;
    } else if (const double* number = std::get_if<double>(&answer)) {
        value.vt = VT_R8;
        value.dblVal = *number;
    } else if (const std::wstring* text = std::get_if<std::wstring>(&answer)) {
        value = Text(*text);
    }
    return value;
}

// Arguments arrive last first; each is taken as text, as the infobase reads them.
bool ArgumentTexts(const DISPPARAMS& parameters, std::vector<std::wstring>& texts,
                   UINT* argumentError) {
    for (UINT i = parameters.cArgs; i-- > 0;) {
        VARIANT text;
        ::VariantInit(&text);
        if (FAILED(::VariantChangeType(&text, &parameters.rgvarg[i], VARIANT_ALPHABOOL, VT_BSTR))) {
            if (argumentError != nullptr)
                *argumentError = i;
            return false;
        }
        texts.emplace_back(text.bstrVal, ::SysStringLen(text.bstrVal));
        ::VariantClear(&text);
    }
    return true;
}

// No source: the bridge then passes the message on alone, as the process stand-in words it.
HRESULT Raise(const std::wstring& message, EXCEPINFO* exception) {
    if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = DISP_E_EXCEPTION;
        exception->bstrDescription = ::SysAllocStringLen(message.data(), UINT(message.size()));
    }
    return DISP_E_EXCEPTION;
}

} // namespace

StandInObject::StandInObject(StandInSwitches switches)
    : switches_(std::move(switches)) {
    ServerLocks::Acquire();
}

StandInObject::~StandInObject() {
    ServerLocks::Release();
}

HRESULT StandInObject::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

ULONG StandInObject::AddRef() {
    return ++references_;
}

ULONG StandInObject::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT StandInObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT StandInObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT StandInObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (names == nullptr || ids == nullptr || count == 0)
        return E_INVALIDARG;
    ids[0] = DISPID_UNKNOWN;
    for (const auto& [name, member] : Members)
        if (::CompareStringOrdinal(names[0], -1, name, -1, TRUE) == CSTR_EQUAL)
            ids[0] = member;
    // The members take no named arguments.
    for (UINT i = 1; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    return ids[0] != DISPID_UNKNOWN && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT StandInObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (MemberName(id) == nullptr || (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0)
        return DISP_E_MEMBERNOTFOUND;
    if (parameters == nullptr)
        return E_INVALIDARG;
    if (parameters->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    std::vector<std::wstring> arguments;
    if (!ArgumentTexts(*parameters, arguments, argumentError))
        return DISP_E_TYPEMISMATCH;

    if (switches_.DelayMs() > 0)
        ::Sleep(switches_.DelayMs());
    std::vector<std::wstring> names{MemberName(id)};
    if (id == EvalExpr && !arguments.empty())
        names.push_back(StandInInfobase::FunctionName(arguments.front()));
    const StandInSwitches::Reaction reaction = switches_.For(names);
    VARIANT answer;
    ::VariantInit(&answer);
    switch (reaction.action) {
    case StandInSwitches::Action::Exit:
        ::TerminateProcess(::GetCurrentProcess(), 3);
        break;
    case StandInSwitches::Action::Fail:
        return Raise(reaction.text, exception);
    case StandInSwitches::Action::Answer:
        answer = Text(reaction.text);
        break;
    case StandInSwitches::Action::None:
        try {
            answer = Call(id, arguments);
        } catch (const InfobaseError& error) {
            return Raise(error.message, exception);
        }
        break;
    }
    if (result != nullptr)
        *result = answer;
    else
        ::VariantClear(&answer);
    return S_OK;
}

VARIANT StandInObject::Call(DISPID id, const std::vector<std::wstring>& arguments) {
    if (id == RMTrade && arguments.empty())
        return Text(StandInInfobase::RMTradeValue());
    if (id == Initialize && arguments.size() == 3) {
        if (arguments[0] != StandInInfobase::RMTradeValue())
            throw InfobaseError{L"Первый параметр Initialize не является RMTrade"};
        VARIANT opened;
        ::VariantInit(&opened);
        opened.vt = VT_BOOL;
        opened.boolVal = infobase_.Initialize(arguments[1]) ? VARIANT_TRUE : VARIANT_FALSE;
        return opened;
    }
    if (id == EvalExpr && arguments.size() == 1)
        return FromValue(infobase_.EvalExpr(arguments[0]));
    throw InfobaseError{L"Метод " + std::wstring(MemberName(id)) + L" с " +
                        std::to_wstring(arguments.size()) + L" параметрами не поддерживается"};
}

#include "Bridge.h"

#include "Wire.h"

#include <oleauto.h>

#include <cstdio>

namespace {

// For codes the system has no text for (Wine's message tables lack most of OLE's).
const char* KnownMessage(HRESULT code) {
    switch (code) {
    case DISP_E_UNKNOWNNAME:
        return "Unknown name";
    case DISP_E_MEMBERNOTFOUND:
        return "Member not found";
    case DISP_E_BADPARAMCOUNT:
        return "Invalid number of parameters";
    case DISP_E_TYPEMISMATCH:
        return "Type mismatch";
    case DISP_E_PARAMNOTFOUND:
        return "Parameter not found";
    case CO_E_CLASSSTRING:
        return "Invalid class string";
    case REGDB_E_CLASSNOTREG:
        return "Class not registered";
    case RPC_E_DISCONNECTED:
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
        return "The automation server is not available";
    default:
        return "";
    }
}

std::string SystemMessage(HRESULT code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    std::string utf8 = message.empty() ? std::string(KnownMessage(code)) : Wire::Utf8(message);
    return (utf8.empty() ? std::string("Error") : utf8) + " (" + hex + ")";
}

std::wstring_view Text(BSTR text) {
    return std::wstring_view(text ? text : L"", SysStringLen(text));
}

// "source: description"; an exception without a description is told by its code.
std::string ExceptionText(EXCEPINFO& exception) {
    if (exception.pfnDeferredFillIn)
        exception.pfnDeferredFillIn(&exception);
    std::string text = Wire::Utf8(Text(exception.bstrDescription));
    if (text.empty())
        text = SystemMessage(
            exception.scode ? exception.scode
                            : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, exception.wCode));
    const std::string source = Wire::Utf8(Text(exception.bstrSource));
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return source.empty() ? text : source + ": " + text;
}

// An answer line: its kind, then the payload as it goes on the wire.
std::string AnswerLine(char kind, std::string_view payload) {
    std::string line(1, kind);
    line.append(payload).append(1, '\n');
    return line;
}

std::string ErrorLine(char kind, std::string_view method, std::string_view text) {
    std::string message(method);
    message.append(": ").append(text);
    return AnswerLine(kind, Wire::Escape(message));
}

std::string Failure(std::string_view method, HRESULT code) {
    return ErrorLine('?', method, SystemMessage(code));
}

// The fields of a request line: method, then the arguments.
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

} // namespace

Bridge::Bridge(const std::wstring& progId) {
    CLSID type;
    HRESULT result = CLSIDFromProgID(progId.c_str(), &type);
    if (SUCCEEDED(result))
        result = CoCreateInstance(type, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&object_));
    if (FAILED(result)) {
        object_ = nullptr;
        creationFailure_ = Wire::Utf8(progId) + ": " + SystemMessage(result);
    }
}

Bridge::~Bridge() {
    if (object_)
        object_->Release();
}

std::string Bridge::Answer(std::string_view line) {
    if (!object_)
        return AnswerLine('?', Wire::Escape(creationFailure_));
    const std::vector<std::string_view> fields = Fields(line);
    const std::optional<std::string> method = Wire::Unescape(fields.front());
    if (!method || method->empty())
        return AnswerLine('?', "request outside the protocol");
    // DISPPARAMS holds the arguments last to first.
    std::vector<VARIANT> arguments(fields.size() - 1);
    bool decoded = true;
    for (std::size_t i = 1; i < fields.size(); ++i)
        decoded =
            Wire::DecodeValue(fields[i], results_, arguments[fields.size() - 1 - i]) && decoded;
    const std::string answer = decoded ? Call(*method, arguments)
                                       : ErrorLine('?', *method, "argument outside the protocol");
    for (VARIANT& argument : arguments)
        VariantClear(&argument);
    return answer;
}

std::string Bridge::Call(std::string_view method, std::vector<VARIANT>& arguments) {
    std::wstring name = Wire::Wide(method);
    LPOLESTR names[] = {name.data()};
    DISPID member = DISPID_UNKNOWN;
    HRESULT result = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member);
    if (FAILED(result))
        return Failure(method, result);

    DISPPARAMS parameters{arguments.data(), nullptr, UINT(arguments.size()), 0};
    VARIANT value;
    VariantInit(&value);
    EXCEPINFO exception{};
    UINT wrongArgument = 0;
    result = object_->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT,
                             DISPATCH_METHOD | DISPATCH_PROPERTYGET, &parameters, &value,
                             &exception, &wrongArgument);
    if (result == DISP_E_EXCEPTION)
        return AnswerLine('!', Wire::Escape(ExceptionText(exception)));
    if (FAILED(result))
        return Failure(method, result);
    const std::optional<std::string> encoded = Wire::EncodeValue(value, results_);
    VariantClear(&value);
    if (!encoded)
        return ErrorLine('?', method, "a result the protocol cannot carry");
    return AnswerLine('=', *encoded);
}

#pragma once

#include "ObjectTable.h"

#include <windows.h>

#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

// Serves one automation object made from a ProgID: each request line is one call by name
// (a method or a property get), answered by one line:
//   "=" value   the result
//   "!" text    an exception the object raised: its source and description
//   "?" text    a failure outside the object: a name it does not know, arguments it refuses,
//               a server that is gone, or an object that could not be made at all
class Bridge {
public:
    // Makes the object; a failure leaves CreationFailure() set and every call answered "?".
    explicit Bridge(const std::wstring& progId);
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    const std::string& CreationFailure() const { return creationFailure_; }

    // One request line without its LF; the answer line with it.
    std::string Answer(std::string_view line);

private:
    std::string Call(std::string_view method, std::vector<VARIANT>& arguments);

    IDispatch* object_ = nullptr;
    ObjectTable results_;
    std::string creationFailure_;
};

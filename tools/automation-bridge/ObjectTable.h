#pragma once

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <map>

// Objects that calls returned (such as RMTrade's), held for the client by number until the
// bridge ends, so the client can pass them back as arguments.
class ObjectTable {
public:
    ObjectTable() = default;
    ~ObjectTable();
    ObjectTable(const ObjectTable&) = delete;
    ObjectTable& operator=(const ObjectTable&) = delete;

    // The object's number; the same object (by COM identity) keeps its number.
    std::int64_t Hold(IDispatch* object);
    // Nothing for a number the table does not hold.
    IDispatch* Find(std::int64_t number) const;

private:
    struct Entry {
        IDispatch* object;
        IUnknown* identity;
    };
    std::map<std::int64_t, Entry> entries_;
    std::int64_t next_ = 1;
};

#include "ObjectTable.h"

ObjectTable::~ObjectTable() {
    for (auto& [number, entry] : entries_) {
        entry.identity->Release();
        entry.object->Release();
    }
}

std::int64_t ObjectTable::Hold(IDispatch* object) {
    IUnknown* identity = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))))
        identity = nullptr;
    if (identity) {
        for (const auto& [number, entry] : entries_) {
            if (entry.identity == identity) {
                identity->Release();
                return number;
            }
        }
    } else {
        identity = object;
        identity->AddRef();
    }
    object->AddRef();
    entries_.emplace(next_, Entry{object, identity});
    return next_++;
}

IDispatch* ObjectTable::Find(std::int64_t number) const {
    const auto found = entries_.find(number);
    return found == entries_.end() ? nullptr : found->second.object;
}

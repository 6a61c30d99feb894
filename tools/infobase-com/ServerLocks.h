#pragma once

// What keeps the DLL loaded: live objects and IClassFactory::LockServer locks.
namespace ServerLocks {

void Acquire();
void Release();
bool Held();

} // namespace ServerLocks

#include "ServerLocks.h"

#include <atomic>

namespace {

std::atomic<long> held{0};

} // namespace

namespace ServerLocks {

void Acquire() {
    ++held;
}

void Release() {
    --held;
}

bool Held() {
    return held.load() != 0;
}

} // namespace ServerLocks

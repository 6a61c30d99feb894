#include "platform/FirebirdSignalShutdown.h"

#include <ibase.h>

#include <mutex>

namespace {

// Asked before a shutdown; a nonzero answer cancels it.
int RefuseSignalShutdown(const int reason, const int, void*) {
    return reason == fb_shutrsn_signal ? 1 : 0;
}

} // namespace

void RefuseFirebirdShutdownOnSignal() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        ISC_STATUS_ARRAY status{};
        fb_shutdown_callback(status, RefuseSignalShutdown, fb_shut_confirmation, nullptr);
    });
}

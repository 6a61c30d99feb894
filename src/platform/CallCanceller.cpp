#include "platform/CallCanceller.h"

CallCanceller::Listing::Listing(CallCanceller& canceller, std::function<void()> cancel)
    : canceller_(canceller) {
    const std::lock_guard lock(canceller_.mutex_);
    key_ = canceller_.nextKey_++;
    canceller_.listed_.emplace(key_, std::move(cancel));
}

CallCanceller::Listing::~Listing() {
    const std::lock_guard lock(canceller_.mutex_);
    canceller_.listed_.erase(key_);
}

void CallCanceller::Cancel() {
    const std::lock_guard lock(mutex_);
    for (const auto& [key, cancel] : listed_)
        cancel();
}

#include "platform/GuardedSlot.h"

namespace quill::guard_detail {

namespace {
// Signals are delivered on the thread that raised them (direct connections); a queued delivery
// starts with no relay.
thread_local std::exception_ptr* currentRelay = nullptr;
} // namespace

std::exception_ptr* exchangeRelay(std::exception_ptr* relay) noexcept {
    return std::exchange(currentRelay, relay);
}

} // namespace quill::guard_detail

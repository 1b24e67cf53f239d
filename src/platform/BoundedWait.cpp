#include "platform/BoundedWait.h"

#include <atomic>

namespace quill {

namespace {

// The decoder's limit for a picture of no size: reading a small picture never takes longer.
std::atomic<long long> waitLimitMs{5000};
std::atomic<int> inFlight{0};
constexpr int kMostInFlight = 16;

} // namespace

std::chrono::milliseconds fileWaitLimit() {
    return std::chrono::milliseconds(waitLimitMs.load());
}

void setFileWaitLimit(std::chrono::milliseconds limit) {
    waitLimitMs = limit.count();
}

namespace bounded_wait {

bool mayStartAnother() {
    return inFlight.load() < kMostInFlight;
}

void started() {
    ++inFlight;
}

void finished() {
    --inFlight;
}

} // namespace bounded_wait

} // namespace quill

#include "platform/CallLog.h"

namespace quill {
namespace {

std::vector<std::string>& entries() {
    static std::vector<std::string> log;
    return log;
}

} // namespace

void noteCall(std::string_view step) {
    entries().emplace_back(step);
}

std::vector<std::string> callLog() {
    return entries();
}

void clearCallLog() {
    entries().clear();
}

} // namespace quill

#pragma once
// A record of the start-up and close steps that touch libraries and the window system, so the
// order in which they run can be checked without a debugger. It holds a few dozen short entries
// per process at most.

#include <string>
#include <string_view>
#include <vector>

namespace quill {

void noteCall(std::string_view step);
std::vector<std::string> callLog();
void clearCallLog();

} // namespace quill

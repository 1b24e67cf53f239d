#pragma once

namespace quill {

// Process entry: keeps the command tail, creates the five windows in order, runs the event loop.
int runProgram(int argc, char** argv);

} // namespace quill

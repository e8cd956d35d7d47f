// What tessaron-print does with its command line, once Qt is running: open the queue, load
// the panels, apply the -o choices, then show the dialog or do what was asked without it.
#pragma once

#include "CommandLine.h"

#include <ostream>

namespace tessaron::print {

// Exit statuses.
inline constexpr int kExitOK = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int runProgram(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace tessaron::print

// The plug-in logs to the system log only; tests may add a sink to see the lines.
#pragma once

#include <functional>
#include <string>

namespace tessaron::pde {

void pdeLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Receives every formatted line besides the system log; empty to remove. Not thread-safe to
// change while background work runs.
void setPDELogSink(std::function<void(const std::string&)> sink);

}  // namespace tessaron::pde

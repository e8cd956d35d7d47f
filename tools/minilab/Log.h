// The emulator's log: one line per event, to standard error or to a file (--log).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tessaron::minilab {

bool logToFile(const std::string& path);  // false when the file cannot be opened
bool logFileOpen();
void setVerbose(bool on);
bool verbose();

// printf-style; a time stamp and the level are prefixed, a newline appended.
[[gnu::format(printf, 1, 2)]] void logInfo(const char* format, ...);
[[gnu::format(printf, 1, 2)]] void logError(const char* format, ...);
// Only with --verbose.
[[gnu::format(printf, 1, 2)]] void logDetail(const char* format, ...);
void logHex(const char* title, std::span<const uint8_t> bytes, size_t limit = 256);

}  // namespace tessaron::minilab

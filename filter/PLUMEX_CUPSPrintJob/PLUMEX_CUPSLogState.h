// Internal to the logging: the process-wide state behind PLUMEX_CUPSLog and its helpers.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "PLUMEX_CUPSFormat.h"

namespace tessaron::printjob {

struct LogState {
    FILE* logFile = nullptr;                   // _gLogFileHandle
    std::optional<std::string> preFileBuffer;  // _gLogString; gone for good once a file is open
    std::string applicationName;               // _gApplicationName
    bool logToStdErr = false;
    bool logToSyslog = false;
    bool logAppName = false;
    void* dateFormatter = nullptr;             // icu::SimpleDateFormat, made on first use
};

// Holds the logging lock for its lifetime. The lock is recursive: a log call made while the
// same thread is already inside the logging (a roll logging its own progress, a signal's
// work run from the main loop) never deadlocks.
class StateLock {
public:
    StateLock();
    ~StateLock();
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    LogState& state();
};

std::atomic<int>& seenSignalStore();
std::chrono::milliseconds errorPause();
void setErrorPause(std::chrono::milliseconds duration);
std::string processName();

std::string formattedLogDate(LogState& state, std::chrono::system_clock::time_point when);

// One line of the hex dump: the chunk (at most 16 bytes) that starts at `offset`.
std::string hexDumpLine(const uint8_t* chunk, size_t count, size_t offset);

[[noreturn]] void endWithFatalError(const std::string& text);

bool openLogFile(const std::string& path);
void rollLogFile(const std::string& path);

// "~" expanded, "." and ".." components removed.
std::string standardizedPath(const std::string& path);
// "/a/b.log" -> "/a/b_old.log", "/a/b" -> "/a/b_old.log".
std::string archivePathFor(const std::string& path);

}  // namespace tessaron::printjob

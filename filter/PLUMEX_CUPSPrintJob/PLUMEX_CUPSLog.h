// Process-wide logging of the job framework: CUPS message lines on standard error, a private
// log file with a pre-file buffer and rolling, the system log, hex dumps and the host
// description. Everything is class-level and usable before any job context exists; the job
// context derives from this class so that its members reach these operations directly.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class PLUMEX_CUPSLog {
public:
    // Levels; any other value logs as kLevelDebug.
    static constexpr int kLevelInfo = 0;     // "I", "INFO"
    static constexpr int kLevelDebug = 1;    // "D", "DEBUG: <app>"
    static constexpr int kLevelDebug2 = 2;   // "D2", "DEBUG2: <app>"
    static constexpr int kLevelError = 3;    // "E", "ERROR"
    static constexpr int kLevelWarning = 4;  // "W", "WARN"
    static constexpr int kLevelPPD = 32;     // "P", "PPD"

    // The one writer; every other operation ends here.
    static void logLevelMessage(int level, const std::string& message);

    // Level 1; the formatted text is split at every '\n', each piece (empty ones too) logged alone.
    static void debug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    // Level 3.
    static void err(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    // Sets "general-error", logs at level 3 and ends the process: after 5 s with status 1, or at
    // once with the signal number while a signal is being handled.
    [[noreturn]] static void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    // Logs at level 3 and pauses 5 s; while a signal is being handled, behaves as fatal.
    static void recoverable(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    // Logs "recovered" at level 0.
    static void recovered();

    // Hex dump at level 1, one message per 16 bytes.
    static void logData(const uint8_t* bytes, size_t length);
    static void logData(const std::vector<uint8_t>& bytes);

    // Rolls the path if needed, then opens it as the log file unless one is already open.
    static bool setLogFile(const std::string& path);
    static void rollLogFileIfNecessary(const std::string& path);

    static void setShouldLogToStdErr(bool on);
    static void setShouldLogToSyslog(bool on);
    static void setShouldLogAppName(bool on);
    static void setApplicationName(const std::string& name);
    static std::string applicationName();

    // Now, formatted "[YYYY/MM/dd HH:mm:ss.SSS Z]" in the local zone.
    static std::string logDateString();

    // Host description for the drivers' start-up line.
    static std::string systemVersionInfo();
    static std::string hostModelAndArch();
    static std::string cupsVersionString();
    // "freePages", "freeBytes", "freeMB"; empty when the figures cannot be read.
    static std::map<std::string, uint64_t> vmStats();
    // Version number of the platform layer shown in systemVersionInfo; the pre-10.7 rules
    // (below 833.1) never apply to this build.
    static double platformFrameworkVersion();

    // Printer-state reasons, not remembered: "STATE: +%s\n" / "STATE: -%s\n" on standard error.
    static void stateSet(const std::string& reasons);
    static void stateClear(const std::string& reasons);

    // The signal being handled, 0 for none.
    static int seenSignal();
    static void setSeenSignal(int signalNumber);

    // The pause of fatal and recoverable (5 s); tests shorten it.
    static void setErrorPause(std::chrono::milliseconds duration);
    // Fuzzing seam: called with the message after it is logged, before the process would end;
    // a handler that returns lets it end as usual. Only the fuzz harnesses set one.
    using FatalHandler = void (*)(const std::string& message);
    static void setFatalHandler(FatalHandler handler);

    // Test seams: cupsVersionString over another file, and a reset of all process-wide state.
    static std::string cupsVersionStringFromFile(const std::string& path);
    static void resetForTesting();

protected:
    PLUMEX_CUPSLog() = default;
    ~PLUMEX_CUPSLog() = default;
};

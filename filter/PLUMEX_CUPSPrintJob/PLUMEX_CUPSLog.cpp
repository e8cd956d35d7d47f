#include "PLUMEX_CUPSLog.h"

#include "PLUMEX_CUPSLogState.h"
#include "FileIO.h"
#include "PLUMEX_CUPSMessageLine.h"

#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using tessaron::printjob::LogState;
using tessaron::printjob::StateLock;

// 1,000,000 characters of pre-file lines at most; the oldest 10,000 go first.
constexpr size_t kPreFileLimit = 1000000;
constexpr size_t kPreFileDrop = 10000;

struct LevelNames {
    const char* tag;
    std::string word;
};

LevelNames namesForLevel(int level, const std::string& appName) {
    switch (level) {
        case PLUMEX_CUPSLog::kLevelInfo: return {"I", "INFO"};
        case PLUMEX_CUPSLog::kLevelDebug2: return {"D2", "DEBUG2: " + appName};
        case PLUMEX_CUPSLog::kLevelError: return {"E", "ERROR"};
        case PLUMEX_CUPSLog::kLevelWarning: return {"W", "WARN"};
        case PLUMEX_CUPSLog::kLevelPPD: return {"P", "PPD"};
        default: return {"D", "DEBUG: " + appName};
    }
}

// Drops the oldest bytes of the buffer without cutting a UTF-8 sequence in two.
void dropOldest(std::string& buffer, size_t count) {
    while (count < buffer.size() && (static_cast<unsigned char>(buffer[count]) & 0xC0) == 0x80) {
        ++count;
    }
    buffer.erase(0, count);
}

void appendFileLine(LogState& state, const std::string& line) {
    if (state.preFileBuffer) {
        if (state.preFileBuffer->size() > kPreFileLimit) dropOldest(*state.preFileBuffer, kPreFileDrop);
        state.preFileBuffer->append(line);
    } else if (state.logFile) {
        std::fwrite(line.data(), 1, line.size(), state.logFile);
    }
}

PLUMEX_CUPSLog::FatalHandler _gFatalHandler = nullptr;

void pause(std::chrono::milliseconds duration) {
    if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

}  // namespace

void PLUMEX_CUPSLog::logLevelMessage(int level, const std::string& message) {
    if (level == kLevelPPD && !tessaron::printjob::quotesBalanced(message)) {
        logLevelMessage(kLevelDebug, "bad \"PPD:key=value\" update object:" + message);
        return;
    }
    StateLock lock;
    LogState& state = lock.state();
    if (!state.logFile && !state.logToStdErr && !state.logToSyslog) return;

    const LevelNames names = namesForLevel(level, state.applicationName);
    if (state.logToSyslog) {
        ::syslog(LOG_LPR | LOG_DEBUG, "%s: %s\n", names.word.c_str(), tessaron::printjob::lineSafeText(message).c_str());
    }
    // Standard error is unbuffered; one write per line keeps CUPS from seeing half lines.
    if (state.logToStdErr) {
        const std::string line = tessaron::printjob::messageLine(names.word, message);
        tessaron::writeAll(STDERR_FILENO, line.data(), line.size());
    }
    if (state.preFileBuffer || state.logFile) {
        std::string line = names.tag;
        line += ' ';
        line += tessaron::printjob::formattedLogDate(state, std::chrono::system_clock::now());
        if (state.logAppName) line += " " + state.applicationName + ":";
        line += ' ';
        line += tessaron::printjob::lineSafeText(message);
        line += '\n';
        appendFileLine(state, line);
    }
}

void PLUMEX_CUPSLog::debug(const char* fmt, ...) {
    PLUMEX_FORMAT_ARGUMENTS(text, fmt);
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            logLevelMessage(kLevelDebug, text.substr(start));
            return;
        }
        logLevelMessage(kLevelDebug, text.substr(start, end - start));
        start = end + 1;
    }
}

void PLUMEX_CUPSLog::err(const char* fmt, ...) {
    PLUMEX_FORMAT_ARGUMENTS(text, fmt);
    logLevelMessage(kLevelError, text);
}

void PLUMEX_CUPSLog::fatal(const char* fmt, ...) {
    PLUMEX_FORMAT_ARGUMENTS(text, fmt);
    tessaron::printjob::endWithFatalError(text);
}

[[noreturn]] void tessaron::printjob::endWithFatalError(const std::string& text) {
    PLUMEX_CUPSLog::stateSet("general-error");
    PLUMEX_CUPSLog::logLevelMessage(PLUMEX_CUPSLog::kLevelError, text);
    if (_gFatalHandler) _gFatalHandler(text);
    const int signalNumber = PLUMEX_CUPSLog::seenSignal();
    if (signalNumber != 0) std::exit(signalNumber);
    pause(errorPause());
    std::exit(1);
}

void PLUMEX_CUPSLog::setFatalHandler(FatalHandler handler) { _gFatalHandler = handler; }

void PLUMEX_CUPSLog::recoverable(const char* fmt, ...) {
    PLUMEX_FORMAT_ARGUMENTS(text, fmt);
    if (seenSignal() != 0) tessaron::printjob::endWithFatalError(text);
    if (platformFrameworkVersion() < 833.1) text = "recoverable: " + text;
    logLevelMessage(kLevelError, text);
    pause(tessaron::printjob::errorPause());
}

void PLUMEX_CUPSLog::recovered() { logLevelMessage(kLevelInfo, "recovered"); }

void PLUMEX_CUPSLog::logData(const std::vector<uint8_t>& bytes) { logData(bytes.data(), bytes.size()); }

void PLUMEX_CUPSLog::logData(const uint8_t* bytes, size_t length) {
    for (size_t offset = 0; offset < length; offset += 16) {
        const size_t count = std::min<size_t>(16, length - offset);
        logLevelMessage(kLevelDebug, tessaron::printjob::hexDumpLine(bytes + offset, count, offset));
    }
}

std::string tessaron::printjob::hexDumpLine(const uint8_t* chunk, size_t count, size_t offset) {
    std::string line = format("%.8zx  ", offset);
    for (size_t column = 0; column < 16; ++column) {
        line += column < count ? format("%.2x ", chunk[column]) : std::string("   ");
        if (column == 7) line += ' ';
    }
    line += " |";
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = chunk[i];
        if (byte == '%') {
            line += "%%";  // the dump line doubles as a format string in some readers
        } else if (byte >= 0x20 && byte <= 0x7E) {
            line += static_cast<char>(byte);
        } else {
            line += '.';
        }
    }
    line += '|';
    return line;
}

bool PLUMEX_CUPSLog::setLogFile(const std::string& path) { return tessaron::printjob::openLogFile(path); }

void PLUMEX_CUPSLog::rollLogFileIfNecessary(const std::string& path) { tessaron::printjob::rollLogFile(path); }

void PLUMEX_CUPSLog::setShouldLogToStdErr(bool on) {
    StateLock lock;
    lock.state().logToStdErr = on;
}

void PLUMEX_CUPSLog::setShouldLogToSyslog(bool on) {
    StateLock lock;
    LogState& state = lock.state();
    // The original facility value has no Linux counterpart; LOG_LPR is the printing facility.
    if (on) {
        ::openlog("vantrel", LOG_PID, LOG_LPR);
    } else if (state.logToSyslog) {
        ::closelog();
    }
    state.logToSyslog = on;
}

void PLUMEX_CUPSLog::setShouldLogAppName(bool on) {
    StateLock lock;
    lock.state().logAppName = on;
}

void PLUMEX_CUPSLog::setApplicationName(const std::string& name) {
    StateLock lock;
    lock.state().applicationName = name;
}

std::string PLUMEX_CUPSLog::applicationName() {
    StateLock lock;
    return lock.state().applicationName;
}

std::string PLUMEX_CUPSLog::logDateString() {
    StateLock lock;
    return tessaron::printjob::formattedLogDate(lock.state(), std::chrono::system_clock::now());
}

void PLUMEX_CUPSLog::stateSet(const std::string& reasons) { tessaron::printjob::writeMessageLine("STATE", "+" + reasons); }

void PLUMEX_CUPSLog::stateClear(const std::string& reasons) { tessaron::printjob::writeMessageLine("STATE", "-" + reasons); }

int PLUMEX_CUPSLog::seenSignal() { return tessaron::printjob::seenSignalStore().load(); }

void PLUMEX_CUPSLog::setSeenSignal(int signalNumber) { tessaron::printjob::seenSignalStore().store(signalNumber); }

void PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds duration) { tessaron::printjob::setErrorPause(duration); }

void PLUMEX_CUPSLog::resetForTesting() {
    StateLock lock;
    LogState& state = lock.state();
    if (state.logFile) std::fclose(state.logFile);
    if (state.logToSyslog) ::closelog();
    state.logFile = nullptr;
    state.preFileBuffer = std::string();
    state.logToStdErr = false;
    state.logToSyslog = false;
    state.logAppName = false;
    state.applicationName = tessaron::printjob::processName();
    tessaron::printjob::seenSignalStore().store(0);
}

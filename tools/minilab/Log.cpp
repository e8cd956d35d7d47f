#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include "FileIO.h"

namespace tessaron::minilab {
namespace {

int gLogFd = STDERR_FILENO;
bool gVerbose = false;

void emit(const char* level, const char* format, va_list args) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    localtime_r(&tv.tv_sec, &local);
    char stamp[40];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char body[2048];
    vsnprintf(body, sizeof body, format, args);
    char head[64];
    snprintf(head, sizeof head, "[%s.%03ld] %s ", stamp, static_cast<long>(tv.tv_usec / 1000), level);
    // One write per line keeps lines whole when several readers follow the file.
    const std::string line = std::string(head) + body + "\n";
    tessaron::writeAll(gLogFd, line.data(), line.size());
}

}  // namespace

bool logToFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    gLogFd = fd;
    return true;
}

bool logFileOpen() { return gLogFd != STDERR_FILENO; }
void setVerbose(bool on) { gVerbose = on; }
bool verbose() { return gVerbose; }

void logInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    emit("INFO", format, args);
    va_end(args);
}

void logError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    emit("ERROR", format, args);
    va_end(args);
}

void logDetail(const char* format, ...) {
    if (!gVerbose) return;
    va_list args;
    va_start(args, format);
    emit("DEBUG", format, args);
    va_end(args);
}

void logHex(const char* title, std::span<const uint8_t> bytes, size_t limit) {
    if (!gVerbose) return;
    std::string hex;
    size_t n = bytes.size() < limit ? bytes.size() : limit;
    for (size_t i = 0; i < n; ++i) {
        char b[4];
        snprintf(b, sizeof b, "%02X", bytes[i]);
        if (i && i % 32 == 0) hex += "\n    ";
        else if (i) hex += ' ';
        hex += b;
    }
    if (n < bytes.size()) hex += " ...";
    logDetail("%s (%zu bytes):\n    %s", title, bytes.size(), hex.c_str());
}

}  // namespace tessaron::minilab

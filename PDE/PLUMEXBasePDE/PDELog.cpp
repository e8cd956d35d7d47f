#include "PDELog.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace tessaron::pde {
namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

std::function<void(const std::string&)>& sink() {
    static std::function<void(const std::string&)> s;
    return s;
}

}  // namespace

void pdeLog(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string line;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), fmt, args);
        line.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    syslog(LOG_USER | LOG_DEBUG, "TessaronPDE: %s", line.c_str());
    std::lock_guard lock(sinkMutex());
    if (sink()) sink()(line);
}

void setPDELogSink(std::function<void(const std::string&)> newSink) {
    std::lock_guard lock(sinkMutex());
    sink() = std::move(newSink);
}

}  // namespace tessaron::pde

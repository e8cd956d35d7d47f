#include "PLUMEX_CUPSPrintJobInternal.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tessaron::printjob {

std::string vformat(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int needed = vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (needed < 0) return {};
    if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
    std::string text(static_cast<size_t>(needed), '\0');
    vsnprintf(text.data(), text.size() + 1, fmt, args);
    return text;
}

std::string format(const char* fmt, ...) {
    PLUMEX_FORMAT_ARGUMENTS(text, fmt);
    return text;
}

namespace {

std::vector<std::string>& storedArguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

// /proc/self/cmdline is NUL-separated; the kernel caps it, we cap our read as well.
std::vector<std::string> kernelArguments() {
    std::vector<std::string> arguments;
    const tessaron::UniqueFd file(open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC));
    if (!file) return arguments;
    std::string raw;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || raw.size() > (1u << 20)) break;
        raw.append(buffer, static_cast<size_t>(n));
    }
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos) end = raw.size();
        arguments.emplace_back(raw, start, end - start);
        start = end + 1;
    }
    return arguments;
}

}  // namespace

const std::vector<std::string>& processArguments() {
    auto& arguments = storedArguments();
    if (arguments.empty()) arguments = kernelArguments();
    return arguments;
}

void setProcessArguments(const std::vector<std::string>& arguments) { storedArguments() = arguments; }

int64_t leadingInteger(const std::optional<std::string>& text) {
    if (!text) return 0;
    errno = 0;
    long long value = strtoll(text->c_str(), nullptr, 10);
    if (errno == ERANGE) return 0;
    return value;
}

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.emplace_back(text.substr(start));
            return pieces;
        }
        pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

size_t codePointCount(std::string_view text) {
    size_t count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace tessaron::printjob

#include "LocalizedFormat.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "Localize.h"

namespace {

// The conversion letters of a printf format, in order ("%%" skipped).
std::string conversions(const std::string& format) {
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        std::size_t j = i + 1;
        while (j < format.size() && std::string_view("-+ #0123456789.hlLqjzt").find(format[j]) != std::string_view::npos) ++j;
        if (j < format.size() && format[j] != '%') out += format.substr(i + 1, j - i);
        i = j;
    }
    return out;
}

}  // namespace

std::string localizedFormat(const char* english, ...) {
    std::string format = tessaron::localizedString(english);
    if (conversions(format) != conversions(english)) format = english;
    va_list args, copy;
    va_start(args, english);
    va_copy(copy, args);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int n = std::vsnprintf(nullptr, 0, format.c_str(), copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format.c_str(), args);
        out.assign(buffer.data(), static_cast<std::size_t>(n));
    }
#pragma GCC diagnostic pop
    va_end(args);
    return out;
}

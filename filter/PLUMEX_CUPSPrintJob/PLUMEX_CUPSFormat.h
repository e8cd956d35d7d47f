// printf-style formatting into a std::string, for the logging and the job context.
#pragma once

#include <cstdarg>
#include <string>

namespace tessaron::printjob {

std::string vformat(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tessaron::printjob

// Declares `text`, the formatted arguments of the printf-style function whose last named
// parameter is `fmt` (a macro: only that function itself can reach its arguments).
#define PLUMEX_FORMAT_ARGUMENTS(text, fmt)                        \
    std::string text;                                             \
    do {                                                          \
        va_list plumexArguments;                                  \
        va_start(plumexArguments, fmt);                           \
        text = tessaron::printjob::vformat(fmt, plumexArguments); \
        va_end(plumexArguments);                                  \
    } while (0)

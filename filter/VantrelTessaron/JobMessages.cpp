#include "JobMessages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "Localize.h"

namespace tessaron {

std::string localizedFormat(const char* english, ...) {
    const std::string format = localizedString(english);
    va_list args;
    va_start(args, english);
    va_list again;
    va_copy(again, args);
    int needed = std::vsnprintf(nullptr, 0, format.c_str(), args);
    va_end(args);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format.c_str(), again);
        out.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(again);
    return out;
}

}  // namespace tessaron

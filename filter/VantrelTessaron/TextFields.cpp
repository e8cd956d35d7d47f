#include "TextFields.h"

#include <algorithm>
#include <cstring>

namespace tessaron {

namespace {
bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }
}  // namespace

std::string_view utf8Prefix(std::string_view text, size_t maxBytes, size_t maxChars) {
    size_t end = 0;
    size_t chars = 0;
    while (end < text.size() && chars < maxChars) {
        size_t next = end + 1;
        while (next < text.size() && isContinuation(static_cast<unsigned char>(text[next]))) ++next;
        if (next > maxBytes) break;
        end = next;
        ++chars;
    }
    return text.substr(0, end);
}

size_t utf8Length(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return !isContinuation(static_cast<unsigned char>(c));
    }));
}

size_t writeTextField(std::span<uint8_t> field, std::string_view text) {
    std::fill(field.begin(), field.end(), uint8_t{0});
    if (field.empty()) return 0;
    std::string_view fitted = utf8Prefix(text, field.size() - 1);
    std::memcpy(field.data(), fitted.data(), fitted.size());
    return fitted.size();
}

std::string readTextField(std::span<const uint8_t> field) {
    auto zero = std::find(field.begin(), field.end(), uint8_t{0});
    return std::string(field.begin(), zero);
}

}  // namespace tessaron

// Fixed-size text fields of the order records: UTF-8 cut on a character boundary, so a
// multi-byte character is never split, and zero-padded after the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessaron {

// The longest prefix of `text` holding at most maxBytes bytes and maxChars characters that
// ends on a character boundary.
std::string_view utf8Prefix(std::string_view text, size_t maxBytes, size_t maxChars = SIZE_MAX);

// Number of characters (lead bytes) of `text`.
size_t utf8Length(std::string_view text);

// Writes `text` into `field`, keeping one terminating zero: at most field.size() - 1 bytes, cut on
// a character boundary; the rest of the field is zero. Answers the number of text bytes written.
size_t writeTextField(std::span<uint8_t> field, std::string_view text);

// The text of a zero-terminated field (all of it when there is no zero).
std::string readTextField(std::span<const uint8_t> field);

}  // namespace tessaron

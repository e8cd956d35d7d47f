// Back-print lines: the panel's stored form of a line becomes the bytes of a 120-byte field
// of the frame block (escapes resolved, tokens filled, the sign (C) as the minilab's code).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tessaron {

struct BackPrintTokens {
    std::string title;  // [F]
    std::string host;   // [P]
    std::string user;   // [U]
    // Formats the moment of conversion with a Unicode date pattern ("d", "MM", "YYYY", ...).
    std::function<std::string(std::string_view pattern)> formatDate;
};

// The text of a stored line after filtering, escapes, tokens and restored characters (UTF-8,
// the sign (C) still as U+00A9).
std::string expandBackPrintLine(std::string_view line, const BackPrintTokens& tokens);

// Fills `buffer` (size bytes, zeroed first) with the converted line: UTF-8, every (C) sign as
// 0E C1 0F, cut on a character boundary so that at least one terminating zero remains.
void convertBackPrintLine(std::string_view line, const BackPrintTokens& tokens, uint8_t* buffer, size_t size);

}  // namespace tessaron

#include "BackPrintText.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "TextFields.h"

namespace tessaron {

namespace {

// Stand-ins for escaped characters while tokens are replaced, so an escaped bracket never
// starts a token.
constexpr std::string_view kEscapedBackslash = "\u2206";
constexpr std::string_view kEscapedOpen = "\u2211";
constexpr std::string_view kEscapedClose = "\u03C0";
constexpr std::string_view kCopyright = "\u00A9";
constexpr std::array<uint8_t, 3> kCopyrightCode = {0x0E, 0xC1, 0x0F};

// Decodes one UTF-8 sequence at `at`; malformed bytes answer U+FFFD and advance one byte.
char32_t decodeAt(std::string_view s, size_t& at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char c = byte(at);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > s.size()) {
        ++at;
        return 0xFFFD;
    }
    char32_t cp = length == 1 ? c : c & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    at += length;
    return cp;
}

bool isAllowed(char32_t cp) { return (cp >= 0x20 && cp <= 0x7D) || cp == 0xA9 || cp == 0xE6 || cp == 0x2264; }

// The characters of `text` that `keep` accepts, each as its own bytes.
template <typename Keep>
std::string keepCodePoints(std::string_view text, Keep keep) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = at;
        const char32_t cp = decodeAt(text, at);
        if (keep(cp)) out.append(text.substr(start, at - start));
    }
    return out;
}

std::string keepAllowed(std::string_view line) { return keepCodePoints(line, isAllowed); }

// The job's title, host and user come from outside: malformed UTF-8 and control characters
// would reach the minilab's text field as they are, so they are left out.
std::string printableText(std::string_view value) {
    return keepCodePoints(value, [](char32_t cp) { return cp != 0xFFFD && cp >= 0x20 && cp != 0x7F; });
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool matchesAt(std::string_view text, size_t at, std::string_view token, bool ignoreCase) {
    if (at + token.size() > text.size()) return false;
    for (size_t i = 0; i < token.size(); ++i) {
        char a = text[at + i], b = token[i];
        if (ignoreCase ? asciiLower(a) != asciiLower(b) : a != b) return false;
    }
    return true;
}

// Replaces every occurrence, left to right; inserted text is not searched again.
void replaceAll(std::string& text, std::string_view token, std::string_view value, bool ignoreCase = false) {
    std::string out;
    size_t at = 0;
    bool changed = false;
    while (at < text.size()) {
        if (matchesAt(text, at, token, ignoreCase)) {
            out.append(value);
            at += token.size();
            changed = true;
        } else {
            out.push_back(text[at++]);
        }
    }
    if (changed) text = std::move(out);
}

}  // namespace

std::string expandBackPrintLine(std::string_view line, const BackPrintTokens& tokens) {
    std::string text = keepAllowed(line);

    replaceAll(text, "\\\\", kEscapedBackslash);
    replaceAll(text, "\\[", kEscapedOpen);
    replaceAll(text, "\\]", kEscapedClose);
    replaceAll(text, "\\", "");

    auto date = [&](std::string_view pattern) {
        return tokens.formatDate ? tokens.formatDate(pattern) : std::string();
    };
    replaceAll(text, "[C]", kCopyright, true);
    replaceAll(text, "[F]", printableText(tokens.title), true);
    replaceAll(text, "[P]", printableText(tokens.host), true);
    replaceAll(text, "[U]", printableText(tokens.user), true);
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kDateTokens = {{
        {"[D]", "d"}, {"[DD]", "dd"}, {"[M]", "M"}, {"[MM]", "MM"}, {"[YY]", "YY"}, {"[YYYY]", "YYYY"},
    }};
    for (const auto& [token, pattern] : kDateTokens) {
        replaceAll(text, token, date(pattern), true);
    }

    replaceAll(text, kEscapedBackslash, "\\");
    replaceAll(text, kEscapedOpen, "[");
    replaceAll(text, kEscapedClose, "]");
    replaceAll(text, "\u2264", ",");
    replaceAll(text, "\u00E6", "'");
    return text;
}

void convertBackPrintLine(std::string_view line, const BackPrintTokens& tokens, uint8_t* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return;
    std::memset(buffer, 0, size);
    if (line.empty()) return;
    const std::string text = expandBackPrintLine(line, tokens);

    // One byte always stays zero; nothing is split, neither a character nor a (C) code.
    size_t room = size - 1;
    size_t written = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t sign = text.find(kCopyright, at);
        std::string_view piece = std::string_view(text).substr(at, sign == std::string::npos ? std::string::npos : sign - at);
        std::string_view fitted = utf8Prefix(piece, room - written);
        std::memcpy(buffer + written, fitted.data(), fitted.size());
        written += fitted.size();
        if (fitted.size() < piece.size() || sign == std::string::npos) return;
        if (room - written < kCopyrightCode.size()) return;
        std::memcpy(buffer + written, kCopyrightCode.data(), kCopyrightCode.size());
        written += kCopyrightCode.size();
        at = sign + kCopyright.size();
    }
}

}  // namespace tessaron

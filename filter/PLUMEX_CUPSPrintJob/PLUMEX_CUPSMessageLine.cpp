#include "PLUMEX_CUPSMessageLine.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tessaron::printjob {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr size_t kMaxOptionName = 40;

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there starts none.
size_t sequenceLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

bool isC1Control(std::string_view sequence) {
    return sequence.size() == 2 && static_cast<uint8_t>(sequence[0]) == 0xC2 &&
           static_cast<uint8_t>(sequence[1]) <= 0x9F;
}

// Appends the safe form of `text`; with `escape`, quotes and backslashes get a backslash.
void appendSafe(std::string& out, std::string_view text, bool escape) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = sequenceLength(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        const std::string_view sequence = text.substr(i, length);
        i += length;
        const auto c = static_cast<uint8_t>(sequence[0]);
        if ((length == 1 && (c < 0x20 || c == 0x7F)) || isC1Control(sequence)) {
            out += ' ';
        } else {
            if (escape && (c == '"' || c == '\\')) out += '\\';
            out += sequence;
        }
    }
}

// A word of a device line (class, URI): safe text without blanks, which would split the line's
// fields differently.
std::string safeWord(std::string_view text) {
    std::string out;
    for (const char c : lineSafeText(text)) {
        if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::string lineSafeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendSafe(out, text, false);
    return out;
}

std::string quotedValue(std::string_view value) {
    std::string out = "\"";
    out.reserve(value.size() + 2);
    appendSafe(out, value, true);
    out += '"';
    return out;
}

bool isOptionName(std::string_view name) {
    if (name.empty() || name.size() > kMaxOptionName) return false;
    for (const char c : name) {
        if (c <= 0x20 || c >= 0x7F || c == '=' || c == '"' || c == '\'' || c == '\\' || c == ':') return false;
    }
    return true;
}

bool quotesBalanced(std::string_view text) {
    bool open = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
            ++i;
        else if (text[i] == '"')
            open = !open;
    }
    return !open;
}

std::string messageLine(std::string_view prefix, std::string_view message) {
    std::string line;
    line.reserve(prefix.size() + message.size() + 3);
    appendSafe(line, prefix, false);
    line += ": ";
    appendSafe(line, message, false);
    line += '\n';
    return line;
}

std::string ppdUpdateText(const std::vector<std::pair<std::string, std::string>>& pairs,
                          std::vector<std::string>* refused) {
    std::string text;
    for (const auto& [name, value] : pairs) {
        if (!isOptionName(name)) {
            if (refused) refused->push_back(name);
            continue;
        }
        text += ' ';
        text += name;
        text += '=';
        text += quotedValue(value);
    }
    return text;
}

std::string deviceLine(std::string_view deviceClass, std::string_view uri, std::string_view makeAndModel,
                       std::string_view info) {
    return safeWord(deviceClass) + " " + safeWord(uri) + " " + quotedValue(makeAndModel) + " " + quotedValue(info) +
           "\n";
}

void writeMessageLine(std::string_view prefix, std::string_view message) {
    const std::string line = messageLine(prefix, message);
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace tessaron::printjob

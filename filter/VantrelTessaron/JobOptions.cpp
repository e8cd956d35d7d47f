#include "JobOptions.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tessaron {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

size_t skipBlanks(std::string_view t) {
    size_t i = 0;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
    return i;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string> optionText(const JobOptionValues& options, const std::string& key) {
    auto it = options.find(key);
    if (it == options.end()) return std::nullopt;
    return it->second;
}

std::string optionForLog(const JobOptionValues& options, const std::string& key) {
    return optionText(options, key).value_or("(null)");
}

bool optionFlag(const JobOptionValues& options, const std::string& key) {
    return optionChoiceIs(options, key, "true");
}

bool optionChoiceIs(const JobOptionValues& options, const std::string& key, std::string_view choice) {
    auto value = optionText(options, key);
    return !value || equalsIgnoringCase(*value, choice);
}

double leadingNumber(std::string_view text) {
    size_t i = skipBlanks(text);
    const size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (e < text.size() && isDigit(text[e])) {
            while (e < text.size() && isDigit(text[e])) ++e;
            i = e;
        }
    }
    // strtod on the validated slice: no hexadecimal, "inf" or "nan" can reach it.
    std::string slice(text.substr(start, i - start));
    double v = std::strtod(slice.c_str(), nullptr);
    return std::isfinite(v) ? v : std::copysign(std::numeric_limits<double>::max(), v);
}

int64_t leadingInteger(std::string_view text) {
    size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t v = 0;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    for (; i < text.size() && isDigit(text[i]); ++i) {
        int digit = text[i] - '0';
        if (v > (kMax - digit) / 10) return negative ? std::numeric_limits<int64_t>::min() : kMax;
        v = v * 10 + digit;
    }
    return negative ? -v : v;
}

double optionNumber(const JobOptionValues& options, const std::string& key) {
    auto value = optionText(options, key);
    return value ? leadingNumber(*value) : 0;
}

int64_t optionInteger(const JobOptionValues& options, const std::string& key) {
    auto value = optionText(options, key);
    return value ? leadingInteger(*value) : 0;
}

}  // namespace tessaron

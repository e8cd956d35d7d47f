#include "PLUMEX_TextUtilities.h"

#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

struct EncodingInfo {
    const char* icuName;
    size_t unitSize;
};

EncodingInfo infoFor(PLUMEX_TextEncoding encoding) {
    switch (encoding) {
        case PLUMEX_TextEncoding::ASCII: return {"US-ASCII", 1};
        case PLUMEX_TextEncoding::UTF8: return {"UTF-8", 1};
        case PLUMEX_TextEncoding::ISOLatin1: return {"ISO-8859-1", 1};
        case PLUMEX_TextEncoding::ISOLatin2: return {"ISO-8859-2", 1};
        case PLUMEX_TextEncoding::WindowsCP1250: return {"windows-1250", 1};
        case PLUMEX_TextEncoding::WindowsCP1251: return {"windows-1251", 1};
        case PLUMEX_TextEncoding::WindowsCP1252: return {"windows-1252", 1};
        case PLUMEX_TextEncoding::ShiftJIS: return {"Shift_JIS", 1};
        case PLUMEX_TextEncoding::UTF16: return {"UTF-16BE", 2};
        case PLUMEX_TextEncoding::UTF16BE: return {"UTF-16BE", 2};
        case PLUMEX_TextEncoding::UTF16LE: return {"UTF-16LE", 2};
        case PLUMEX_TextEncoding::UTF32: return {"UTF-32BE", 4};
        case PLUMEX_TextEncoding::UTF32BE: return {"UTF-32BE", 4};
        case PLUMEX_TextEncoding::UTF32LE: return {"UTF-32LE", 4};
    }
    return {nullptr, 0};
}

// Counts whole units up to the first all-zero unit, within `limit` bytes.
size_t terminatedLength(const uint8_t* p, size_t limit, size_t unit) {
    size_t length = 0;
    while (length + unit <= limit) {
        bool zero = true;
        for (size_t i = 0; i < unit; ++i) zero = zero && p[length + i] == 0;
        if (zero) break;
        length += unit;
    }
    return length;
}

// The byte order a leading mark selects, as an ICU converter name, or nullptr without a mark.
const char* byteOrderMarkEncoding(const uint8_t* p, size_t length, size_t unit) {
    if (unit == 2 && length >= 2) {
        if (p[0] == 0xFE && p[1] == 0xFF) return "UTF-16BE";
        if (p[0] == 0xFF && p[1] == 0xFE) return "UTF-16LE";
    }
    if (unit == 4 && length >= 4) {
        if (p[0] == 0 && p[1] == 0 && p[2] == 0xFE && p[3] == 0xFF) return "UTF-32BE";
        if (p[0] == 0xFF && p[1] == 0xFE && p[2] == 0 && p[3] == 0) return "UTF-32LE";
    }
    return nullptr;
}

std::optional<std::string> decode(const uint8_t* p, size_t length, const char* icuName) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(icuName, &status), ucnv_close);
    if (U_FAILURE(status)) return std::nullopt;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status) || length > static_cast<size_t>(std::numeric_limits<int32_t>::max() / 2)) return std::nullopt;
    std::vector<UChar> units(length * 2 + 2);
    const int32_t count = ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()),
                                        reinterpret_cast<const char*>(p), static_cast<int32_t>(length), &status);
    if (U_FAILURE(status)) return std::nullopt;
    std::string out;
    icu::UnicodeString(units.data(), count).toUTF8String(out);
    return out;
}

// Next code point of UTF-8 text; an ill-formed byte stands for itself.
char32_t nextCodePoint(std::string_view text, size_t& index) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    int32_t i = static_cast<int32_t>(index);
    UChar32 c = 0;
    U8_NEXT(s, i, static_cast<int32_t>(text.size()), c);
    if (c < 0) c = s[index];
    index = static_cast<size_t>(i);
    return static_cast<char32_t>(c);
}

bool isAsciiDigit(std::string_view text, size_t index) {
    return index < text.size() && text[index] >= '0' && text[index] <= '9';
}

// Compares the digit runs that start at ia and ib by value, advancing both past them.
std::weak_ordering compareDigitRuns(std::string_view a, size_t& ia, std::string_view b, size_t& ib) {
    while (ia + 1 < a.size() && a[ia] == '0' && isAsciiDigit(a, ia + 1)) ++ia;
    while (ib + 1 < b.size() && b[ib] == '0' && isAsciiDigit(b, ib + 1)) ++ib;
    const size_t startA = ia, startB = ib;
    while (isAsciiDigit(a, ia)) ++ia;
    while (isAsciiDigit(b, ib)) ++ib;
    const std::string_view runA = a.substr(startA, ia - startA);
    const std::string_view runB = b.substr(startB, ib - startB);
    if (runA.size() != runB.size()) return runA.size() <=> runB.size();
    const int order = runA.compare(runB);
    return order < 0 ? std::weak_ordering::less : order > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent;
}

}  // namespace

std::optional<std::string> stringWithCStringMaxLengthEncoding(const void* bytes, size_t maxLength,
                                                              PLUMEX_TextEncoding encoding) {
    const EncodingInfo info = infoFor(encoding);
    if (!info.icuName || !bytes) return std::nullopt;
    const size_t limit = maxLength == 0 ? std::numeric_limits<size_t>::max() : maxLength;
    if (info.unitSize > limit) return std::nullopt;

    const auto* p = static_cast<const uint8_t*>(bytes);
    size_t skipped = 0;
    if (encoding == PLUMEX_TextEncoding::UTF8 && limit >= 4 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        skipped = 3;
    }
    const size_t length = terminatedLength(p + skipped, limit - skipped, info.unitSize);
    if (length == 0) return std::string();

    const uint8_t* text = p + skipped;
    const char* icuName = info.icuName;
    if (const char* marked = byteOrderMarkEncoding(text, length, info.unitSize)) {
        icuName = marked;
        text += info.unitSize;
        return decode(text, length - info.unitSize, icuName);
    }
    return decode(text, length, icuName);
}

std::weak_ordering numericalCaseInsensitiveCompare(std::string_view a, std::string_view b) {
    size_t ia = 0, ib = 0;
    while (ia < a.size() && ib < b.size()) {
        if (isAsciiDigit(a, ia) && isAsciiDigit(b, ib)) {
            const std::weak_ordering order = compareDigitRuns(a, ia, b, ib);
            if (order != 0) return order;
            continue;
        }
        const auto ca = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(nextCodePoint(a, ia)), U_FOLD_CASE_DEFAULT));
        const auto cb = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(nextCodePoint(b, ib)), U_FOLD_CASE_DEFAULT));
        if (ca != cb) return ca < cb ? std::weak_ordering::less : std::weak_ordering::greater;
    }
    const bool aLeft = ia < a.size(), bLeft = ib < b.size();
    if (aLeft == bLeft) return std::weak_ordering::equivalent;
    return aLeft ? std::weak_ordering::greater : std::weak_ordering::less;
}

bool numericalCaseInsensitiveLess(std::string_view text, std::string_view other) {
    return numericalCaseInsensitiveCompare(text, other) < 0;
}

std::string stringByDeletingCharactersInSet(std::string_view text, const std::function<bool(char32_t)>& inSet) {
    std::string out;
    out.reserve(text.size());
    size_t index = 0;
    while (index < text.size()) {
        const size_t start = index;
        const char32_t c = nextCodePoint(text, index);
        if (!inSet(c)) out.append(text.substr(start, index - start));
    }
    return out;
}

std::string stringByDeletingCharactersInSet(std::string_view text, std::string_view characters) {
    std::u32string set;
    for (size_t index = 0; index < characters.size();) set.push_back(nextCodePoint(characters, index));
    return stringByDeletingCharactersInSet(text, [&set](char32_t c) { return set.find(c) != std::u32string::npos; });
}

std::optional<std::string> stringWithUTSFormat(std::chrono::system_clock::time_point date, std::string_view pattern) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString icuPattern = icu::UnicodeString::fromUTF8(
        icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
    icu::SimpleDateFormat formatter(icuPattern, icu::Locale(kNeutralDateLocale), status);
    if (U_FAILURE(status)) return std::nullopt;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    icu::UnicodeString text;
    formatter.format(static_cast<UDate>(ms), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

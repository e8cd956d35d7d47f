// Text, data and date helpers used by the job framework and the protocol client. Texts are
// UTF-8 std::string; "none" is an empty optional.
#pragma once

#include <chrono>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The encodings met in wire records and files.
enum class PLUMEX_TextEncoding {
    ASCII,
    UTF8,
    ISOLatin1,
    ISOLatin2,
    WindowsCP1250,
    WindowsCP1251,
    WindowsCP1252,
    ShiftJIS,
    UTF16,    // byte order from a leading mark, big-endian without one
    UTF16BE,
    UTF16LE,
    UTF32,    // byte order from a leading mark, big-endian without one
    UTF32BE,
    UTF32LE,
};

// Reads a zero-terminated string of at most maxLength bytes (0 = unlimited) in `encoding`;
// an unterminated field uses all maxLength bytes. None when maxLength is shorter than one code
// unit or the bytes do not decode.
std::optional<std::string> stringWithCStringMaxLengthEncoding(const void* bytes, size_t maxLength,
                                                              PLUMEX_TextEncoding encoding);

// Case-insensitive comparison with runs of digits compared by value ("Paper 9" < "Paper 10").
std::weak_ordering numericalCaseInsensitiveCompare(std::string_view text, std::string_view other);
// Convenience for sorting: true when text orders before other.
bool numericalCaseInsensitiveLess(std::string_view text, std::string_view other);

// Removes every character (code point) of `characters` from `text`.
std::string stringByDeletingCharactersInSet(std::string_view text, std::string_view characters);
// Removes every code point for which `inSet` answers true.
std::string stringByDeletingCharactersInSet(std::string_view text,
                                            const std::function<bool(char32_t)>& inSet);

// The locale every date is formatted in: Gregorian calendar and ASCII digits whatever the job's
// language (LANG) says, so that order references, back-print dates and log stamps read the
// same in every language.
inline constexpr const char* kNeutralDateLocale = "en_US_POSIX";

// Formats `date` with a Unicode date pattern in the neutral locale and local time zone.
std::optional<std::string> stringWithUTSFormat(std::chrono::system_clock::time_point date,
                                               std::string_view pattern);

// Keyed archives: a value tree written and read as a binary property list in the layout of
// the platform's keyed archiver ($archiver, $version, $top, $objects, UIDs, $class records),
// so that the backend and the print dialog exchange the paper catalogue in one format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tessaron::keyedarchive {

class Value;
using Dictionary = std::map<std::string, Value>;

// One archived object: a boolean, an integer, a real, a text or a dictionary of texts to values.
class Value {
public:
    using Storage = std::variant<bool, std::int64_t, double, std::string, Dictionary>;

    Value() : data_(std::int64_t{0}) {}
    Value(bool b) : data_(b) {}
    Value(int i) : data_(std::int64_t{i}) {}
    Value(unsigned i) : data_(std::int64_t{i}) {}
    Value(long i) : data_(std::int64_t{i}) {}
    Value(unsigned long i) : data_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : data_(std::int64_t{i}) {}
    Value(unsigned long long i) : data_(static_cast<std::int64_t>(i)) {}
    Value(double d) : data_(d) {}
    Value(const char* s) : data_(std::string(s)) {}
    Value(std::string s) : data_(std::move(s)) {}
    Value(Dictionary d) : data_(std::move(d)) {}

    bool isBool() const { return std::holds_alternative<bool>(data_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(data_); }
    bool isReal() const { return std::holds_alternative<double>(data_); }
    bool isString() const { return std::holds_alternative<std::string>(data_); }
    bool isDictionary() const { return std::holds_alternative<Dictionary>(data_); }

    // Numbers convert into each other (a boolean reads as 0 or 1); none for texts and dictionaries.
    std::optional<std::int64_t> integer() const;
    std::optional<double> real() const;
    std::optional<bool> boolean() const;
    const std::string* string() const { return std::get_if<std::string>(&data_); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&data_); }
    Dictionary* dictionary() { return std::get_if<Dictionary>(&data_); }

    const Storage& storage() const { return data_; }
    bool operator==(const Value& other) const = default;

private:
    Storage data_;
};

// Largest archive decode() accepts; a catalogue is a few kilobytes.
inline constexpr std::size_t kMaxArchiveSize = 16u * 1024u * 1024u;
// Deepest nesting of dictionaries decode() follows (also guards against reference cycles).
inline constexpr int kMaxDepth = 16;
// Shared objects are expanded once per reference, so a small archive can describe a huge tree.
// decode() stops at these totals: the largest real catalogue (2048 papers of 16 keys each, about
// 70,000 objects and well under a megabyte of text) stays far below them.
inline constexpr std::size_t kMaxDecodedObjects = 1u << 18;
inline constexpr std::size_t kMaxDecodedTextBytes = 16u * 1024u * 1024u;
// The property list beneath the archive: a catalogue's is four levels deep and holds about 40
// nodes per paper.
inline constexpr std::size_t kMaxPropertyListNodes = 1u << 20;
inline constexpr int kMaxPropertyListDepth = 32;
// Entries of one dictionary.
inline constexpr std::size_t kMaxDictionaryEntries = 1u << 14;

// The one rule for texts of an archive, applied by encode() and decode() and by whoever builds a
// value from foreign bytes (a paper name from the minilab): valid UTF-8 stays as it is; every
// byte that is not part of a valid UTF-8 sequence is taken as the Latin-1 character of that
// value; a text ends at its first zero byte. The result is always valid UTF-8 without zero bytes,
// so both sides of an archive see the same text.
std::string archiveText(std::string_view bytes);

// The archive of `root` as a binary property list; none if libplist fails to write it.
std::optional<std::vector<std::uint8_t>> encode(const Value& root);

// The root object of a keyed archive; none for anything that is not a well-formed keyed
// archive of the supported types, is larger than kMaxArchiveSize, nests deeper than kMaxDepth or
// expands beyond the totals above. When a limit refused the archive, `refusal` (if given)
// receives a line saying which, for the caller's log.
std::optional<Value> decode(std::span<const std::uint8_t> archive, std::string* refusal = nullptr);

}  // namespace tessaron::keyedarchive

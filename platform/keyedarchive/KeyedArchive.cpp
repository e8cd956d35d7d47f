#include "KeyedArchive.h"

#include "BinaryPlistScan.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace tessaron::keyedarchive {

std::optional<std::int64_t> Value::integer() const {
    if (auto* i = std::get_if<std::int64_t>(&data_)) return *i;
    if (auto* d = std::get_if<double>(&data_)) return static_cast<std::int64_t>(*d);
    if (auto* b = std::get_if<bool>(&data_)) return *b ? 1 : 0;
    return std::nullopt;
}

std::optional<double> Value::real() const {
    if (auto* d = std::get_if<double>(&data_)) return *d;
    if (auto* i = std::get_if<std::int64_t>(&data_)) return static_cast<double>(*i);
    if (auto* b = std::get_if<bool>(&data_)) return *b ? 1.0 : 0.0;
    return std::nullopt;
}

std::optional<bool> Value::boolean() const {
    if (auto* b = std::get_if<bool>(&data_)) return *b;
    if (auto* i = std::get_if<std::int64_t>(&data_)) return *i != 0;
    if (auto* d = std::get_if<double>(&data_)) return *d != 0.0;
    return std::nullopt;
}

namespace {

// Length of the valid UTF-8 sequence starting at bytes[i], or 0 when none starts there
// (overlong forms, surrogates and code points beyond U+10FFFF are not valid).
std::size_t validSequenceLength(std::string_view bytes, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    const auto continuation = [&](std::size_t k) { return i + k < bytes.size() && (b(k) & 0xC0) == 0x80; };
    const unsigned c = b(0);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return continuation(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!continuation(1) || !continuation(2)) return 0;
        if ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) > 0x9F)) return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
        if ((c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) > 0x8F)) return 0;
        return 4;
    }
    return 0;
}

}  // namespace

std::string archiveText(std::string_view bytes) {
    // libplist writes texts as C strings: what follows a zero byte would not survive a write.
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        if (const std::size_t n = validSequenceLength(bytes, i)) {
            out.append(bytes.substr(i, n));
            i += n;
        } else {
            const auto c = static_cast<unsigned char>(bytes[i++]);
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

struct PlistDeleter {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

constexpr const char* kArchiver = "NSKeyedArchiver";
constexpr std::uint64_t kArchiveVersion = 100000;

// Builds $objects the way the platform archiver does: "$null" first, equal texts and
// numbers stored once, one shared class record for all dictionaries.
class Encoder {
public:
    Encoder() : objects_(plist_new_array()) { plist_array_append_item(objects_, plist_new_string("$null")); }
    ~Encoder() { if (objects_) plist_free(objects_); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    std::uint64_t add(const Value& value) {
        return std::visit([this](const auto& v) { return addValue(v); }, value.storage());
    }
    plist_t release() { plist_t o = objects_; objects_ = nullptr; return o; }

private:
    std::uint64_t append(plist_t node) {
        plist_array_append_item(objects_, node);
        return plist_array_get_size(objects_) - 1;
    }
    std::uint64_t addValue(bool b) {
        auto& slot = b ? trueIndex_ : falseIndex_;
        if (!slot) slot = append(plist_new_bool(b ? 1 : 0));
        return *slot;
    }
    std::uint64_t addValue(std::int64_t i) {
        auto it = integers_.find(i);
        if (it != integers_.end()) return it->second;
        // Negative values go out as 8-byte integers, which property lists read as signed.
        return integers_[i] = append(plist_new_uint(static_cast<std::uint64_t>(i)));
    }
    std::uint64_t addValue(double d) { return append(plist_new_real(d)); }
    std::uint64_t addValue(const std::string& raw) {
        const std::string s = archiveText(raw);
        auto it = strings_.find(s);
        if (it != strings_.end()) return it->second;
        return strings_[s] = append(plist_new_string(s.c_str()));
    }
    std::uint64_t addValue(const Dictionary& dict) {
        plist_t node = plist_new_dict();  // owned by $objects, filled below
        const std::uint64_t index = append(node);
        plist_t keys = plist_new_array();
        plist_t values = plist_new_array();
        for (const auto& [key, value] : dict) plist_array_append_item(keys, plist_new_uid(addValue(key)));
        for (const auto& [key, value] : dict) plist_array_append_item(values, plist_new_uid(add(value)));
        plist_dict_set_item(node, "NS.keys", keys);
        plist_dict_set_item(node, "NS.objects", values);
        plist_dict_set_item(node, "$class", plist_new_uid(dictionaryClass()));
        return index;
    }
    std::uint64_t dictionaryClass() {
        if (!dictionaryClass_) {
            plist_t record = plist_new_dict();
            plist_t classes = plist_new_array();
            plist_array_append_item(classes, plist_new_string("NSDictionary"));
            plist_array_append_item(classes, plist_new_string("NSObject"));
            plist_dict_set_item(record, "$classes", classes);
            plist_dict_set_item(record, "$classname", plist_new_string("NSDictionary"));
            dictionaryClass_ = append(record);
        }
        return *dictionaryClass_;
    }

    plist_t objects_;
    std::map<std::string, std::uint64_t> strings_;
    std::map<std::int64_t, std::uint64_t> integers_;
    std::optional<std::uint64_t> trueIndex_, falseIndex_, dictionaryClass_;
};

// The elements of an array in one pass: the library's indexed access walks a list, which made
// decoding a large catalogue quadratic.
std::vector<plist_t> itemsOf(plist_t array) {
    std::vector<plist_t> items;
    items.reserve(plist_array_get_size(array));
    plist_array_iter iter = nullptr;
    plist_array_new_iter(array, &iter);
    if (!iter) return items;
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(array, iter, &item);
        if (!item) break;
        items.push_back(item);
    }
    std::free(iter);
    return items;
}

class Decoder {
public:
    explicit Decoder(plist_t objects) : objects_(itemsOf(objects)) {}

    std::optional<Value> decodeReference(plist_t uidNode, int depth) {
        if (!PLIST_IS_UID(uidNode)) return std::nullopt;
        if (depth > kMaxDepth) return refuse("nests deeper than " + std::to_string(kMaxDepth) + " levels");
        std::uint64_t index = 0;
        plist_get_uid_val(uidNode, &index);
        // Index 0 is "$null": an absent object, which no value of the tree may be.
        if (index == 0 || index >= objects_.size()) return std::nullopt;
        if (++objectsDecoded_ > kMaxDecodedObjects)
            return refuse("expands to more than " + std::to_string(kMaxDecodedObjects) + " objects");
        return decodeObject(objects_[static_cast<std::size_t>(index)], depth);
    }

    const std::string& refusal() const { return refusal_; }

private:
    std::optional<Value> refuse(std::string why) {
        if (refusal_.empty()) refusal_ = "keyed archive refused: it " + std::move(why);
        return std::nullopt;
    }

    std::optional<Value> decodeObject(plist_t node, int depth) {
        switch (plist_get_node_type(node)) {
            case PLIST_STRING: return text(node);
            case PLIST_BOOLEAN: {
                std::uint8_t b = 0;
                plist_get_bool_val(node, &b);
                return Value(b != 0);
            }
            case PLIST_UINT: {
                std::uint64_t u = 0;
                plist_get_uint_val(node, &u);
                return Value(static_cast<std::int64_t>(u));
            }
            case PLIST_REAL: {
                double d = 0;
                plist_get_real_val(node, &d);
                return Value(d);
            }
            case PLIST_DICT: return decodeInstance(node, depth);
            default: return std::nullopt;
        }
    }

    // An archived instance: a dictionary, or a text that was archived as an object.
    std::optional<Value> decodeInstance(plist_t node, int depth) {
        if (plist_t string = plist_dict_get_item(node, "NS.string"); PLIST_IS_STRING(string)) return text(string);
        plist_t keys = plist_dict_get_item(node, "NS.keys");
        plist_t values = plist_dict_get_item(node, "NS.objects");
        if (!PLIST_IS_ARRAY(keys) || !PLIST_IS_ARRAY(values)) return std::nullopt;
        const std::uint32_t n = plist_array_get_size(keys);
        if (n != plist_array_get_size(values)) return std::nullopt;
        if (n > kMaxDictionaryEntries)
            return refuse("holds a dictionary of more than " + std::to_string(kMaxDictionaryEntries) + " entries");
        const std::vector<plist_t> keyItems = itemsOf(keys), valueItems = itemsOf(values);
        if (keyItems.size() != n || valueItems.size() != n) return std::nullopt;
        Dictionary dict;
        for (std::uint32_t i = 0; i < n; ++i) {
            auto key = decodeReference(keyItems[i], depth + 1);
            if (!key || !key->string()) return std::nullopt;
            auto value = decodeReference(valueItems[i], depth + 1);
            if (!value) return std::nullopt;
            dict.insert_or_assign(*key->string(), std::move(*value));
        }
        return Value(std::move(dict));
    }

    // Every copy of a shared text counts against the total, as every copy takes memory.
    std::optional<Value> text(plist_t node) {
        std::uint64_t length = 0;
        const char* p = plist_get_string_ptr(node, &length);
        if (!p) return Value(std::string());
        textBytes_ += static_cast<std::size_t>(length);
        if (textBytes_ > kMaxDecodedTextBytes)
            return refuse("expands to more than " + std::to_string(kMaxDecodedTextBytes) + " bytes of text");
        return Value(archiveText(std::string_view(p, static_cast<std::size_t>(length))));
    }

    std::vector<plist_t> objects_;
    std::size_t objectsDecoded_ = 0;
    std::size_t textBytes_ = 0;
    std::string refusal_;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> encode(const Value& root) {
    Encoder encoder;
    const std::uint64_t rootIndex = encoder.add(root);
    PlistPtr archive(plist_new_dict());
    plist_dict_set_item(archive.get(), "$archiver", plist_new_string(kArchiver));
    plist_dict_set_item(archive.get(), "$version", plist_new_uint(kArchiveVersion));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(rootIndex));
    plist_dict_set_item(archive.get(), "$top", top);
    plist_dict_set_item(archive.get(), "$objects", encoder.release());

    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(archive.get(), &bytes, &length);
    if (!bytes || length == 0) return std::nullopt;
    std::vector<std::uint8_t> out(reinterpret_cast<std::uint8_t*>(bytes), reinterpret_cast<std::uint8_t*>(bytes) + length);
    plist_to_bin_free(bytes);
    return out;
}

std::optional<Value> decode(std::span<const std::uint8_t> archive, std::string* refusal) {
    if (archive.size() > kMaxArchiveSize) {
        if (refusal) *refusal = "keyed archive refused: it is larger than " + std::to_string(kMaxArchiveSize) + " bytes";
        return std::nullopt;
    }
    if (archive.size() < 8) return std::nullopt;
    const char* bytes = reinterpret_cast<const char*>(archive.data());
    const auto length = static_cast<std::uint32_t>(archive.size());
    if (!plist_is_binary(bytes, length)) return std::nullopt;
    // The parser copies shared objects once per reference: count what it would build first.
    const auto nodes = expandedNodeCount(archive, kMaxPropertyListNodes, kMaxPropertyListDepth);
    if (!nodes) return std::nullopt;
    if (*nodes > kMaxPropertyListNodes) {
        if (refusal)
            *refusal = "keyed archive refused: its property list expands to more than " +
                       std::to_string(kMaxPropertyListNodes) + " nodes";
        return std::nullopt;
    }
    plist_t parsed = nullptr;
    plist_from_bin(bytes, length, &parsed);
    PlistPtr root(parsed);
    if (!PLIST_IS_DICT(parsed)) return std::nullopt;

    plist_t archiver = plist_dict_get_item(parsed, "$archiver");
    if (!PLIST_IS_STRING(archiver)) return std::nullopt;
    std::uint64_t archiverLength = 0;
    const char* name = plist_get_string_ptr(archiver, &archiverLength);
    if (!name || std::string(name, static_cast<std::size_t>(archiverLength)) != kArchiver) return std::nullopt;

    plist_t top = plist_dict_get_item(parsed, "$top");
    plist_t objects = plist_dict_get_item(parsed, "$objects");
    if (!PLIST_IS_DICT(top) || !PLIST_IS_ARRAY(objects)) return std::nullopt;
    Decoder decoder(objects);
    auto value = decoder.decodeReference(plist_dict_get_item(top, "root"), 0);
    if (!value && refusal) *refusal = decoder.refusal();
    return value;
}

}  // namespace tessaron::keyedarchive

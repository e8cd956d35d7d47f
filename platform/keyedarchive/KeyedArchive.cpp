#include "KeyedArchive.h"

#include <plist/plist.h>

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
    std::uint64_t addValue(const std::string& s) {
        auto it = strings_.find(s);
        if (it != strings_.end()) return it->second;
        return strings_[s] = append(plist_new_string(s.c_str()));
    }
    std::uint64_t addValue(const Dictionary& dict) {
        const std::uint64_t index = append(plist_new_dict());
        plist_t keys = plist_new_array();
        plist_t values = plist_new_array();
        for (const auto& [key, value] : dict) plist_array_append_item(keys, plist_new_uid(addValue(key)));
        for (const auto& [key, value] : dict) plist_array_append_item(values, plist_new_uid(add(value)));
        plist_t node = plist_array_get_item(objects_, static_cast<std::uint32_t>(index));
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

class Decoder {
public:
    explicit Decoder(plist_t objects) : objects_(objects), count_(plist_array_get_size(objects)) {}

    std::optional<Value> decodeReference(plist_t uidNode, int depth) const {
        if (!PLIST_IS_UID(uidNode) || depth > kMaxDepth) return std::nullopt;
        std::uint64_t index = 0;
        plist_get_uid_val(uidNode, &index);
        // Index 0 is "$null": an absent object, which no value of the tree may be.
        if (index == 0 || index >= count_) return std::nullopt;
        return decodeObject(plist_array_get_item(objects_, static_cast<std::uint32_t>(index)), depth);
    }

private:
    std::optional<Value> decodeObject(plist_t node, int depth) const {
        switch (plist_get_node_type(node)) {
            case PLIST_STRING: return Value(stringOf(node));
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
    std::optional<Value> decodeInstance(plist_t node, int depth) const {
        if (plist_t text = plist_dict_get_item(node, "NS.string"); PLIST_IS_STRING(text)) return Value(stringOf(text));
        plist_t keys = plist_dict_get_item(node, "NS.keys");
        plist_t values = plist_dict_get_item(node, "NS.objects");
        if (!PLIST_IS_ARRAY(keys) || !PLIST_IS_ARRAY(values)) return std::nullopt;
        const std::uint32_t n = plist_array_get_size(keys);
        if (n != plist_array_get_size(values)) return std::nullopt;
        Dictionary dict;
        for (std::uint32_t i = 0; i < n; ++i) {
            auto key = decodeReference(plist_array_get_item(keys, i), depth + 1);
            if (!key || !key->string()) return std::nullopt;
            auto value = decodeReference(plist_array_get_item(values, i), depth + 1);
            if (!value) return std::nullopt;
            dict.insert_or_assign(*key->string(), std::move(*value));
        }
        return Value(std::move(dict));
    }

    static std::string stringOf(plist_t node) {
        std::uint64_t length = 0;
        const char* p = plist_get_string_ptr(node, &length);
        return p ? std::string(p, static_cast<std::size_t>(length)) : std::string();
    }

    plist_t objects_;
    std::uint32_t count_;
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

std::optional<Value> decode(std::span<const std::uint8_t> archive) {
    if (archive.size() < 8 || archive.size() > kMaxArchiveSize) return std::nullopt;
    const char* bytes = reinterpret_cast<const char*>(archive.data());
    const auto length = static_cast<std::uint32_t>(archive.size());
    if (!plist_is_binary(bytes, length)) return std::nullopt;
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
    return Decoder(objects).decodeReference(plist_dict_get_item(top, "root"), 0);
}

}  // namespace tessaron::keyedarchive

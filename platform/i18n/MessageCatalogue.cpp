#include "MessageCatalogue.h"

#include <vector>

#include "FileIO.h"

namespace tessaron {
namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr size_t kHeaderSize = 28;

// Reads the catalogue's 32-bit words in the byte order its magic number announced.
class WordReader {
public:
    WordReader(std::span<const uint8_t> bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    std::optional<uint32_t> at(size_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < 4) return std::nullopt;
        const uint8_t* p = bytes_.data() + offset;
        if (bigEndian_) return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
        return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }

    // The string of the descriptor at `offset`: its length and its start, followed by a zero
    // byte. Only the text before its first zero counts (the singular of a plural entry).
    std::optional<std::string_view> string(size_t offset) const {
        const auto length = at(offset), start = at(offset + 4);
        if (!length || !start) return std::nullopt;
        if (*start > bytes_.size() || bytes_.size() - *start <= *length) return std::nullopt;
        if (bytes_[*start + *length] != 0) return std::nullopt;
        std::string_view text(reinterpret_cast<const char*>(bytes_.data() + *start), *length);
        return text.substr(0, text.find('\0'));
    }

private:
    std::span<const uint8_t> bytes_;
    bool bigEndian_;
};

std::optional<bool> byteOrder(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    if (WordReader(bytes, false).at(0) == kMagic) return false;
    if (WordReader(bytes, true).at(0) == kMagic) return true;
    return std::nullopt;
}

}  // namespace

std::optional<MessageCatalogue> MessageCatalogue::parse(std::span<const uint8_t> bytes) {
    const auto bigEndian = byteOrder(bytes);
    if (!bigEndian || bytes.size() > kMaxFileSize) return std::nullopt;
    const WordReader words(bytes, *bigEndian);
    const auto revision = words.at(4), count = words.at(8), originals = words.at(12), translations = words.at(16);
    if (!revision || (*revision >> 16) > 1 || !count || !originals || !translations) return std::nullopt;
    // Each entry takes two descriptors of eight bytes: a count beyond that is a lie.
    if (*count > bytes.size() / 16) return std::nullopt;

    MessageCatalogue catalogue;
    catalogue.translations_.reserve(*count);
    for (size_t i = 0; i < *count; ++i) {
        const auto english = words.string(*originals + i * 8), translated = words.string(*translations + i * 8);
        if (!english || !translated) return std::nullopt;
        // The empty message id carries the catalogue's header, never a translation.
        if (english->empty() || translated->empty()) continue;
        catalogue.translations_.emplace(*english, *translated);
    }
    return catalogue;
}

std::optional<MessageCatalogue> MessageCatalogue::load(const std::string& path) {
    const auto bytes = readWholeFile(path, static_cast<off_t>(kMaxFileSize));
    if (!bytes) return std::nullopt;
    return parse(*bytes);
}

const std::string* MessageCatalogue::find(std::string_view english) const {
    const auto it = translations_.find(std::string(english));
    return it == translations_.end() ? nullptr : &it->second;
}

}  // namespace tessaron

#include "BinaryPlistScan.h"

#include <vector>

namespace tessaron::keyedarchive {

namespace {

constexpr std::size_t kHeaderSize = 8;   // "bplist00"
constexpr std::size_t kTrailerSize = 32;

std::optional<std::uint64_t> readBigEndian(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size) {
    if (size == 0 || size > 8 || offset > bytes.size() || bytes.size() - offset < size) return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < size; ++i) v = (v << 8) | bytes[offset + i];
    return v;
}

class Scan {
public:
    Scan(std::span<const std::uint8_t> bytes, std::size_t limit, int maxDepth)
        : bytes_(bytes), limit_(limit), maxDepth_(maxDepth) {}

    std::optional<std::size_t> run() {
        if (bytes_.size() < kHeaderSize + kTrailerSize || limit_ >= 0xFFFFFFFFu) return std::nullopt;
        const std::size_t trailer = bytes_.size() - kTrailerSize;
        offsetSize_ = bytes_[trailer + 6];
        refSize_ = bytes_[trailer + 7];
        const auto count = readBigEndian(bytes_, trailer + 8, 8);
        const auto top = readBigEndian(bytes_, trailer + 16, 8);
        const auto table = readBigEndian(bytes_, trailer + 24, 8);
        if (!count || !top || !table || offsetSize_ == 0 || offsetSize_ > 8 || refSize_ == 0 || refSize_ > 8) return std::nullopt;
        // Every object takes at least one byte, so the file bounds the count before any allocation.
        if (*count == 0 || *count > trailer || *top >= *count || *table > trailer) return std::nullopt;
        if ((trailer - *table) / offsetSize_ < *count) return std::nullopt;
        objectCount_ = static_cast<std::size_t>(*count);
        tableOffset_ = static_cast<std::size_t>(*table);
        state_.assign(objectCount_, kUnseen);
        nodes_.assign(objectCount_, 0);
        return nodesOf(static_cast<std::size_t>(*top), 0);
    }

private:
    static constexpr std::uint8_t kUnseen = 0, kVisiting = 1, kDone = 2;

    std::optional<std::size_t> nodesOf(std::size_t index, int depth) {
        if (index >= objectCount_ || depth > maxDepth_) return std::nullopt;
        if (state_[index] == kDone) return nodes_[index];
        if (state_[index] == kVisiting) return std::nullopt;  // a reference cycle
        state_[index] = kVisiting;
        const auto offset = readBigEndian(bytes_, tableOffset_ + index * offsetSize_, offsetSize_);
        if (!offset || *offset < kHeaderSize || *offset >= tableOffset_) return std::nullopt;
        const auto children = childReferences(static_cast<std::size_t>(*offset));
        if (!children) return std::nullopt;
        std::size_t total = 1;
        for (std::uint64_t i = 0; i < children->count; ++i) {
            const auto ref = readBigEndian(bytes_, children->first + static_cast<std::size_t>(i) * refSize_, refSize_);
            if (!ref) return std::nullopt;
            const auto n = nodesOf(static_cast<std::size_t>(*ref), depth + 1);
            if (!n) return std::nullopt;
            total += *n;
            if (total > limit_) total = limit_ + 1;
        }
        state_[index] = kDone;
        nodes_[index] = static_cast<std::uint32_t>(total);
        return total;
    }

    struct Children {
        std::size_t first = 0;     // offset of the first object reference
        std::uint64_t count = 0;   // number of object references
    };

    // Arrays and sets refer to their elements, dictionaries to their keys and values; every other
    // object is a leaf.
    std::optional<Children> childReferences(std::size_t offset) const {
        const std::uint8_t marker = bytes_[offset];
        const unsigned type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) return Children{};
        std::size_t next = offset + 1;
        std::uint64_t count = marker & 0x0F;
        if (count == 0x0F) {
            if (next >= tableOffset_ || (bytes_[next] >> 4) != 0x1) return std::nullopt;
            const std::size_t size = std::size_t{1} << (bytes_[next] & 0x0F);
            const auto n = readBigEndian(bytes_, next + 1, size);
            if (!n) return std::nullopt;
            count = *n;
            next += 1 + size;
        }
        if (type == 0xD) {
            if (count > tableOffset_) return std::nullopt;
            count *= 2;
        }
        if (next > tableOffset_ || (tableOffset_ - next) / refSize_ < count) return std::nullopt;
        return Children{next, count};
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t limit_;
    int maxDepth_;
    std::size_t offsetSize_ = 0, refSize_ = 0, objectCount_ = 0, tableOffset_ = 0;
    std::vector<std::uint8_t> state_;
    std::vector<std::uint32_t> nodes_;  // saturated at limit + 1, which run() keeps below 2^32
};

}  // namespace

std::optional<std::size_t> expandedNodeCount(std::span<const std::uint8_t> bplist, std::size_t limit, int maxDepth) {
    return Scan(bplist, limit, maxDepth).run();
}

}  // namespace tessaron::keyedarchive

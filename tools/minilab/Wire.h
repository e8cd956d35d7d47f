// The minilab's side of the Tessaron wire format: big-endian codecs and field tables of
// every record, written for the emulator alone so that it never mirrors the client's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaron::minilab {

using Bytes = std::vector<uint8_t>;

uint16_t getU16(std::span<const uint8_t> b, size_t off);
uint32_t getU32(std::span<const uint8_t> b, size_t off);
uint64_t getU64(std::span<const uint8_t> b, size_t off);
void putU16(Bytes& b, size_t off, uint16_t v);
void putU32(Bytes& b, size_t off, uint32_t v);
void putU64(Bytes& b, size_t off, uint64_t v);

enum class FieldType {
    U8,
    U16,
    S16,
    U32,
    U64,
    Text,     // zero-terminated UTF-8, padded with zero bytes
    Zero,     // reserved: zero bytes only
    Raw,      // bytes taken as they are (addresses, UTF-16 text)
};

struct Field {
    const char* name;
    size_t offset;
    size_t size;
    FieldType type;
};

struct Layout {
    const char* name;
    size_t size;
    std::span<const Field> fields;
    const Field* find(std::string_view fieldName) const;
};

extern const Layout kHeaderLayout;        // 16 bytes
extern const Layout kClientInfoLayout;    // 96 bytes
extern const Layout kOrderLayout;         // 240 bytes
extern const Layout kFrameLayout;         // 480 bytes
extern const Layout kInfoLayout;          // 64 bytes
extern const Layout kStatusLayout;        // 192 bytes
extern const Layout kErrorLayout;         // 552 bytes
extern const Layout kPaperLayout;         // 72 bytes (the first 24 used)
extern const Layout kPaperAdLayout;       // 108 bytes

constexpr size_t kHeaderSize = 16;
constexpr size_t kResultBlockSize = 32;
constexpr size_t kClientInfoSize = 96;

// A record received from a client: possibly only the leading part of its layout.
class RecordView {
public:
    RecordView(const Layout& layout, std::span<const uint8_t> bytes) : layout_(layout), bytes_(bytes) {}
    const Layout& layout() const { return layout_; }
    std::span<const uint8_t> bytes() const { return bytes_; }
    // A field is present when it lies wholly within the received bytes.
    bool has(std::string_view name) const;
    uint64_t number(std::string_view name) const;   // 0 when absent
    int64_t signedNumber(std::string_view name) const;
    std::span<const uint8_t> raw(std::string_view name) const;

private:
    const Layout& layout_;
    std::span<const uint8_t> bytes_;
};

// Builds a reply record field by field.
class RecordWriter {
public:
    explicit RecordWriter(const Layout& layout) : layout_(layout), bytes_(layout.size, 0) {}
    RecordWriter& set(std::string_view name, uint64_t value);
    // Text cut at a character boundary so that it fits (with its terminator when it has room).
    RecordWriter& setText(std::string_view name, std::string_view text, bool needsTerminator = true);
    RecordWriter& setRaw(std::string_view name, std::span<const uint8_t> raw);
    Bytes& bytes() { return bytes_; }

private:
    const Field& field(std::string_view name) const;
    const Layout& layout_;
    Bytes bytes_;
};

// Text field checks: terminator within the field, zero bytes after it, valid UTF-8.
// Answers the offset (within the field) of the first offending byte, or nothing when sound.
// `allowShiftCodes` admits the 0x0E 0xC1 0x0F sequence the back-print lines use for ©.
std::optional<size_t> checkTextField(std::span<const uint8_t> field, bool allowShiftCodes = false);
// The text up to the terminator, with the © code turned back into UTF-8.
std::string decodeTextField(std::span<const uint8_t> field);
std::string truncateUtf8(std::string_view text, size_t maxBytes);
std::string dottedQuad(uint32_t address);
std::string hexString(std::span<const uint8_t> bytes);

}  // namespace tessaron::minilab

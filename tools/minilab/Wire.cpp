#include "Wire.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace tessaron::minilab {

uint16_t getU16(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint16_t>((b[off] << 8) | b[off + 1]);
}

uint32_t getU32(std::span<const uint8_t> b, size_t off) {
    return (uint32_t{b[off]} << 24) | (uint32_t{b[off + 1]} << 16) | (uint32_t{b[off + 2]} << 8) | b[off + 3];
}

uint64_t getU64(std::span<const uint8_t> b, size_t off) {
    return (uint64_t{getU32(b, off)} << 32) | getU32(b, off + 4);
}

void putU16(Bytes& b, size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v >> 8);
    b[off + 1] = static_cast<uint8_t>(v);
}

void putU32(Bytes& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void putU64(Bytes& b, size_t off, uint64_t v) {
    putU32(b, off, static_cast<uint32_t>(v >> 32));
    putU32(b, off + 4, static_cast<uint32_t>(v));
}

namespace {

using F = FieldType;

constexpr std::array kHeaderFields{
    Field{"J", 0, 1, F::U8},           Field{"T", 1, 1, F::U8},
    Field{"serverVersion", 2, 4, F::U32}, Field{"command", 6, 1, F::U8},
    Field{"direction", 7, 1, F::U8},   Field{"dataLength", 8, 4, F::U32},
    Field{"reserve", 12, 4, F::U32},
};

constexpr std::array kClientInfoFields{
    Field{"User", 0, 20, F::Text},     Field{"Host", 20, 20, F::Text},
    Field{"Address", 40, 6, F::Raw},   Field{"IPAddress", 46, 4, F::Raw},
    Field{"Port", 50, 2, F::U16},      Field{"Version", 52, 4, F::U32},
    Field{"Level", 56, 2, F::U16},     Field{"Reserve", 58, 38, F::Zero},
};

constexpr std::array kOrderFields{
    Field{"OrderNo", 0, 2, F::U16},           Field{"FrameNum", 2, 2, F::U16},
    Field{"PaperWidth", 4, 2, F::U16},        Field{"PaperLengthC", 6, 2, F::U16},
    Field{"PaperLengthP", 8, 2, F::U16},      Field{"PaperLengthH", 10, 2, F::U16},
    Field{"Surface", 12, 2, F::U16},          Field{"WithBorderC", 14, 2, F::U16},
    Field{"WithBorderP", 16, 2, F::U16},      Field{"WithBorderH", 18, 2, F::U16},
    Field{"IndexPrintFlg", 20, 2, F::U16},    Field{"PaperFittingFlg", 22, 2, F::U16},
    Field{"IndexPaperWidth", 24, 2, F::U16},  Field{"IndexSurface", 26, 2, F::U16},
    Field{"CmsFlg", 28, 2, F::U16},           Field{"Reserve1", 30, 2, F::Zero},
    Field{"RefId", 32, 8, F::U64},            Field{"SorterNum", 40, 2, F::U16},
    Field{"PaperName", 42, 32, F::Text},      Field{"BothSidePrint", 74, 2, F::U16},
    Field{"Copies", 76, 2, F::U16},           Field{"Collate", 78, 2, F::U16},
    Field{"FastPrintFlg", 80, 2, F::U16},     Field{"Resolut", 82, 2, F::U16},
    Field{"PaperTone", 84, 2, F::U16},        Field{"PaperLengthMin", 86, 2, F::U16},
    Field{"PaperLengthMax", 88, 2, F::U16},   Field{"PaperWidthB", 90, 2, F::U16},
    Field{"SurfaceB", 92, 2, F::U16},         Field{"PaperNameB", 94, 32, F::Text},
    Field{"ResolutB", 126, 2, F::U16},        Field{"PaperToneB", 128, 2, F::U16},
    Field{"PaperLengthMinB", 130, 2, F::U16}, Field{"PaperLengthMaxB", 132, 2, F::U16},
    Field{"PaperWidthC", 134, 2, F::U16},     Field{"SurfaceC", 136, 2, F::U16},
    Field{"PaperNameC", 138, 32, F::Text},    Field{"ResolutC", 170, 2, F::U16},
    Field{"PaperToneC", 172, 2, F::U16},      Field{"PaperLengthMinC", 174, 2, F::U16},
    Field{"PaperLengthMaxC", 176, 2, F::U16}, Field{"PaperWidthD", 178, 2, F::U16},
    Field{"SurfaceD", 180, 2, F::U16},        Field{"PaperNameD", 182, 32, F::Text},
    Field{"ResolutD", 214, 2, F::U16},        Field{"PaperToneD", 216, 2, F::U16},
    Field{"PaperLengthMinD", 218, 2, F::U16}, Field{"PaperLengthMaxD", 220, 2, F::U16},
    Field{"IndexPrintNum", 222, 2, F::U16},   Field{"EnablePriority", 224, 2, F::U16},
    Field{"Priority", 226, 2, F::U16},        Field{"PrintMode", 228, 2, F::U16},
    Field{"Wait", 230, 2, F::U16},            Field{"BlankPageNum", 232, 2, F::U16},
    Field{"Reserve", 234, 6, F::Zero},
};

constexpr std::array kFrameFields{
    Field{"OrderNo", 0, 2, F::U16},          Field{"FrameNum", 2, 2, F::U16},
    Field{"FrameNo", 4, 2, F::U16},          Field{"FrameName", 6, 18, F::Text},
    Field{"ImageSize", 24, 4, F::U32},       Field{"ImageFormat", 28, 4, F::U32},
    Field{"reserved32", 32, 2, F::Zero},     Field{"Copies", 34, 2, F::U16},
    Field{"FixedFF", 36, 2, F::U16},         Field{"CVP1", 38, 120, F::Text},
    Field{"CVP2", 158, 120, F::Text},        Field{"reserved278", 278, 2, F::Zero},
    Field{"PaperWidth", 280, 2, F::U16},     Field{"PaperLength", 282, 2, F::U16},
    Field{"Surface", 284, 2, F::U16},        Field{"reserved286", 286, 2, F::Zero},
    Field{"PaperFittingFlg", 288, 2, F::U16}, Field{"reserved290", 290, 6, F::Zero},
    Field{"RefId", 296, 8, F::U64},          Field{"reserved304", 304, 16, F::Zero},
    Field{"PaperName", 320, 32, F::Text},    Field{"Resolut", 352, 2, F::U16},
    Field{"PaperTone", 354, 2, F::U16},      Field{"reserved356", 356, 124, F::Zero},
};

constexpr std::array kInfoFields{
    Field{"name", 0, 20, F::Text},          Field{"apiVersion", 20, 4, F::U32},
    Field{"ipAddress", 24, 4, F::U32},      Field{"reserved28", 28, 2, F::Zero},
    Field{"extraFeatures", 30, 2, F::U16},  Field{"duplex", 32, 2, F::U16},
    Field{"reserved34", 34, 30, F::Zero},
};

constexpr std::array kStatusFields{
    Field{"state", 0, 2, F::U16},           Field{"receive", 2, 2, F::U16},
    Field{"printingUnit", 4, 2, F::U16},    Field{"reserved6", 6, 128, F::Zero},
    Field{"imageFormats", 134, 4, F::U32},  Field{"printCount", 138, 8, F::U64},
    Field{"tempCD", 146, 2, F::U16},        Field{"tempBF", 148, 2, F::U16},
    Field{"tempSTB", 150, 2, F::U16},       Field{"remainCD", 152, 2, F::U16},
    Field{"remainBF", 154, 2, F::U16},      Field{"remainSTB", 156, 2, F::U16},
    Field{"spoolerSpace", 158, 8, F::U64},  Field{"reserved166", 166, 26, F::Zero},
};

constexpr std::array kErrorFields{
    Field{"count", 0, 4, F::U32},           Field{"number", 4, 4, F::U32},
    Field{"mainError", 8, 2, F::U16},       Field{"subError", 10, 2, F::U16},
    Field{"level", 12, 2, F::U16},          Field{"message", 14, 512, F::Raw},
    Field{"reserved526", 526, 26, F::Zero},
};

// Both paper records begin alike: the extended one goes on where the plain one is reserved.
constexpr std::array kPaperCommonFields{
    Field{"count", 0, 4, F::U32},           Field{"number", 4, 4, F::U32},
    Field{"width", 8, 2, F::U16},           Field{"resolution", 10, 2, F::U16},
    Field{"magazine", 12, 2, F::U16},       Field{"remain", 14, 4, F::U32},
    Field{"surface", 18, 2, F::U16},        Field{"lmin", 20, 2, F::U16},
    Field{"lmax", 22, 2, F::U16},
};

template <size_t N, size_t M>
constexpr std::array<Field, N + M> joined(const std::array<Field, N>& first, const std::array<Field, M>& rest) {
    std::array<Field, N + M> all{};
    for (size_t i = 0; i < N; ++i) all[i] = first[i];
    for (size_t i = 0; i < M; ++i) all[N + i] = rest[i];
    return all;
}

constexpr auto kPaperFields = joined(kPaperCommonFields, std::array{Field{"reserved24", 24, 48, F::Zero}});

constexpr auto kPaperAdFields = joined(kPaperCommonFields, std::array{
    Field{"source", 24, 2, F::U16},         Field{"name", 26, 32, F::Text},
    Field{"borderless", 58, 2, F::U16},     Field{"trimTop", 60, 2, F::S16},
    Field{"trimBottom", 62, 2, F::S16},     Field{"trimLeft", 64, 2, F::S16},
    Field{"trimRight", 66, 2, F::S16},      Field{"tone", 68, 2, F::U16},
    Field{"reserved70", 70, 38, F::Zero},
});

}  // namespace

const Layout kHeaderLayout{"header", 16, kHeaderFields};
const Layout kClientInfoLayout{"client information", 96, kClientInfoFields};
const Layout kOrderLayout{"order record", 240, kOrderFields};
const Layout kFrameLayout{"frame block", 480, kFrameFields};
const Layout kInfoLayout{"printer information", 64, kInfoFields};
const Layout kStatusLayout{"status", 192, kStatusFields};
const Layout kErrorLayout{"error record", 552, kErrorFields};
const Layout kPaperLayout{"paper record", 72, kPaperFields};
const Layout kPaperAdLayout{"extended paper record", 108, kPaperAdFields};

const Field* Layout::find(std::string_view fieldName) const {
    for (const auto& f : fields)
        if (fieldName == f.name) return &f;
    return nullptr;
}

bool RecordView::has(std::string_view name) const {
    const Field* f = layout_.find(name);
    return f && f->offset + f->size <= bytes_.size();
}

uint64_t RecordView::number(std::string_view name) const {
    const Field* f = layout_.find(name);
    if (!f || f->offset + f->size > bytes_.size()) return 0;
    switch (f->size) {
    case 1: return bytes_[f->offset];
    case 2: return getU16(bytes_, f->offset);
    case 4: return getU32(bytes_, f->offset);
    case 8: return getU64(bytes_, f->offset);
    default: return 0;
    }
}

int64_t RecordView::signedNumber(std::string_view name) const {
    return static_cast<int16_t>(static_cast<uint16_t>(number(name)));
}

std::span<const uint8_t> RecordView::raw(std::string_view name) const {
    const Field* f = layout_.find(name);
    if (!f || f->offset >= bytes_.size()) return {};
    size_t n = std::min(f->size, bytes_.size() - f->offset);
    return bytes_.subspan(f->offset, n);
}

const Field& RecordWriter::field(std::string_view name) const {
    const Field* f = layout_.find(name);
    if (!f) {
        // A misspelt field name is a programming error in the emulator itself.
        fprintf(stderr, "tessaron-minilab: no field %.*s in %s\n", static_cast<int>(name.size()), name.data(),
                layout_.name);
        std::abort();
    }
    return *f;
}

RecordWriter& RecordWriter::set(std::string_view name, uint64_t value) {
    const Field& f = field(name);
    switch (f.size) {
    case 1: bytes_[f.offset] = static_cast<uint8_t>(value); break;
    case 2: putU16(bytes_, f.offset, static_cast<uint16_t>(value)); break;
    case 4: putU32(bytes_, f.offset, static_cast<uint32_t>(value)); break;
    case 8: putU64(bytes_, f.offset, value); break;
    default: break;
    }
    return *this;
}

RecordWriter& RecordWriter::setText(std::string_view name, std::string_view text, bool needsTerminator) {
    const Field& f = field(name);
    std::string cut = truncateUtf8(text, needsTerminator ? f.size - 1 : f.size);
    for (size_t i = 0; i < f.size; ++i) bytes_[f.offset + i] = i < cut.size() ? static_cast<uint8_t>(cut[i]) : 0;
    return *this;
}

RecordWriter& RecordWriter::setRaw(std::string_view name, std::span<const uint8_t> raw) {
    const Field& f = field(name);
    for (size_t i = 0; i < f.size; ++i) bytes_[f.offset + i] = i < raw.size() ? raw[i] : 0;
    return *this;
}

namespace {

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not well formed.
size_t utf8Sequence(std::span<const uint8_t> s, size_t i) {
    uint8_t c = s[i];
    if (c < 0x80) return 1;
    size_t n = 0;
    uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) { n = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { n = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { n = 4; cp = c & 0x07; }
    else return 0;
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

bool isShiftCode(std::span<const uint8_t> s, size_t i) {
    return i + 3 <= s.size() && s[i] == 0x0E && s[i + 1] == 0xC1 && s[i + 2] == 0x0F;
}

}  // namespace

std::optional<size_t> checkTextField(std::span<const uint8_t> field, bool allowShiftCodes) {
    size_t i = 0;
    while (i < field.size() && field[i] != 0) {
        if (allowShiftCodes && isShiftCode(field, i)) {
            i += 3;
            continue;
        }
        size_t n = utf8Sequence(field, i);
        if (n == 0) return i;
        i += n;
    }
    if (i == field.size()) return field.empty() ? std::nullopt : std::optional<size_t>(field.size() - 1);
    for (size_t k = i; k < field.size(); ++k)
        if (field[k] != 0) return k;
    return std::nullopt;
}

std::string decodeTextField(std::span<const uint8_t> field) {
    std::string out;
    for (size_t i = 0; i < field.size() && field[i] != 0;) {
        if (isShiftCode(field, i)) {
            out += "\xC2\xA9";
            i += 3;
        } else {
            out += static_cast<char>(field[i++]);
        }
    }
    return out;
}

std::string truncateUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t end = maxBytes;
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

std::string dottedQuad(uint32_t a) {
    char buf[20];
    snprintf(buf, sizeof buf, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
    return buf;
}

std::string hexString(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        char h[3];
        snprintf(h, sizeof h, "%02x", b);
        out += h;
    }
    return out;
}

}  // namespace tessaron::minilab

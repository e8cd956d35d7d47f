// Wire records and code tables of the Tessaron order protocol. Every multi-byte integer is
// big-endian on the wire; each record's layout is a field table in WireLayout.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessaron::jrx {

inline constexpr std::uint16_t kTessaronPort = 5001;
inline constexpr std::uint16_t kClientInfoPort = 5002;
inline constexpr std::uint32_t kMinAPIVersion = 0x01000501;  // 1.0.5.1
inline constexpr std::uint32_t kMaxAPIVersion = 0x03000000;  // 3.0.0.0

inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kResultBlockSize = 32;
inline constexpr std::size_t kClientInfoSize = 96;
inline constexpr std::size_t kOrderParamADSize = 240;
inline constexpr std::size_t kFrameParamADSize = 480;
inline constexpr std::size_t kPrinterInfoSize = 64;
inline constexpr std::size_t kStatusSize = 192;
inline constexpr std::size_t kErrorRecordSize = 552;
inline constexpr std::size_t kPaperRecordSize = 72;
inline constexpr std::size_t kPaperRecordADSize = 108;
// Papers kept from one list; a lab registers far fewer, and each list reply nests one read.
inline constexpr std::uint32_t kMaxRegisteredPapers = 2048;

// Command codes.
enum : std::uint8_t {
    JRX_GET_PRINTER_INFO = 0x01,
    JRX_SEND_PRINT_DATA = 0x02,
    JRX_SPOOL_ORDER = 0x03,
    JRX_GET_PAPER = 0x06,
    JRX_GET_ERRORS = 0x07,
    JRX_GET_STATUS = 0x09,
    JRX_CANCEL_FASTPRINT_ORDER = 0x0D,
    JRX_SEND_FAST_PRINT_DATA = 0x12,
    JRX_SPOOL_FAST_PRINT_ORDER = 0x13,
    JRX_GET_PAPER_AD = 0x21,
    JRX_TRANSMIT_FILE_AD = 0x22,
    JRX_SET_ORDER_AD = 0x23,
};

inline constexpr std::uint32_t JRX_SUCCESS = 0;

// Largest payload (after the header) a reply to `command` may announce: the largest reply
// the command has plus a margin. Anything larger is a bad response, never an allocation.
std::size_t maxReplyDataLength(std::uint8_t command);

// ---- Byte helpers ---------------------------------------------------------------------
inline void putU16(std::uint8_t* p, std::uint16_t v) { p[0] = std::uint8_t(v >> 8); p[1] = std::uint8_t(v); }
inline void putU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24); p[1] = std::uint8_t(v >> 16); p[2] = std::uint8_t(v >> 8); p[3] = std::uint8_t(v);
}
inline void putU64(std::uint8_t* p, std::uint64_t v) { putU32(p, std::uint32_t(v >> 32)); putU32(p + 4, std::uint32_t(v)); }
inline std::uint16_t getU16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
inline std::uint32_t getU32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
inline std::uint64_t getU64(const std::uint8_t* p) { return (std::uint64_t(getU32(p)) << 32) | getU32(p + 4); }
inline std::int16_t getS16(const std::uint8_t* p) { return static_cast<std::int16_t>(getU16(p)); }

// A fixed-size text field: up to the first NUL, never past the field's end.
std::string fixedText(const std::uint8_t* field, std::size_t size);
// `text` into a zeroed field of `size` bytes, at most size - 1 bytes and a terminating NUL.
void putFixedText(std::uint8_t* field, std::size_t size, const std::string& text);

}  // namespace tessaron::jrx

// Command header, 16 bytes.
struct jrx_command_header_s {
    std::uint8_t J = 'J';
    std::uint8_t T = 'T';
    std::uint32_t serverVersion = tessaron::jrx::kMinAPIVersion;
    std::uint8_t command = 0;
    std::uint8_t direction = 0;
    std::uint32_t dataLength = 0;
    std::uint32_t reserve = 0;

    std::array<std::uint8_t, tessaron::jrx::kHeaderSize> encode() const;
    static std::optional<jrx_command_header_s> decode(std::span<const std::uint8_t> bytes);
};

// Client information record, 96 bytes: leads the data of the order commands.
struct _WSJRX_CLIENT_INFO {
    std::array<std::uint8_t, 20> User{};
    std::array<std::uint8_t, 20> Host{};
    std::array<std::uint8_t, 6> Address{};
    std::array<std::uint8_t, 4> IPAddress{};
    std::uint16_t Port = 0;
    std::uint32_t Version = tessaron::jrx::kMinAPIVersion;
    std::uint16_t Level = 0;
    std::array<std::uint8_t, 38> Reserve{};

    std::array<std::uint8_t, tessaron::jrx::kClientInfoSize> encode() const;
    static std::optional<_WSJRX_CLIENT_INFO> decode(std::span<const std::uint8_t> bytes);
};

// Order record of the extended order command, 240 bytes; every field not written stays 0.
// Encoded and decoded by the functions of OrderRecords.h.
struct jrx_order_param_ad_s {
    std::uint16_t OrderNo = 0, FrameNum = 0, PaperWidth = 0, PaperLengthC = 0, PaperLengthP = 0, PaperLengthH = 0;
    std::uint16_t Surface = 0, WithBorderC = 0, WithBorderP = 0, WithBorderH = 0, IndexPrintFlg = 0;
    std::uint16_t PaperFittingFlg = 0, IndexPaperWidth = 0, IndexSurface = 0, CmsFlg = 0, Reserve1 = 0;
    std::uint64_t RefId = 0;
    std::uint16_t SorterNum = 0;
    std::array<std::uint8_t, 32> PaperName{};
    std::uint16_t BothSidePrint = 0, Copies = 0, Collate = 0, FastPrintFlg = 0, Resolut = 0, PaperTone = 0;
    std::uint16_t PaperLengthMin = 0, PaperLengthMax = 0, PaperWidthB = 0, SurfaceB = 0;
    std::array<std::uint8_t, 32> PaperNameB{};
    std::uint16_t ResolutB = 0, PaperToneB = 0, PaperLengthMinB = 0, PaperLengthMaxB = 0, PaperWidthC = 0, SurfaceC = 0;
    std::array<std::uint8_t, 32> PaperNameC{};
    std::uint16_t ResolutC = 0, PaperToneC = 0, PaperLengthMinC = 0, PaperLengthMaxC = 0, PaperWidthD = 0, SurfaceD = 0;
    std::array<std::uint8_t, 32> PaperNameD{};
    std::uint16_t ResolutD = 0, PaperToneD = 0, PaperLengthMinD = 0, PaperLengthMaxD = 0;
    std::uint16_t IndexPrintNum = 0, EnablePriority = 0, Priority = 0, PrintMode = 0, Wait = 0, BlankPageNum = 0;
    std::array<std::uint8_t, 6> Reserve{};
};

// The order record (declared with the other wire records) and the frame block of a Tessaron
// print order, their big-endian codecs, and
// the command and payload each kind of minilab takes for frames, spooling and cancelling.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "JRXWire.h"

namespace tessaron {

using jrx_order_param_ad_s = ::jrx_order_param_ad_s;

inline constexpr size_t kClientInfoSize = 96;
inline constexpr size_t kOrderRecordSize = 240;
inline constexpr size_t kFrameBlockSize = 480;
inline constexpr size_t kCancelPayloadSize = kClientInfoSize + 8;
inline constexpr uint16_t kOrderNoUnassigned = 0xFFFF;
inline constexpr uint16_t kPaperFittingFlg = 2;
inline constexpr uint16_t kFixedFF = 255;

// Image file types named by a frame's ImageFormat.
inline constexpr uint32_t kImageFormatJPEG = 1;
inline constexpr uint32_t kImageFormatBMP = 2;
inline constexpr uint32_t kImageFormatTIFF = 32;

// Frame block (jrx_frame_param_ad_s), 480 bytes on the wire; older minilabs take its head.
struct jrx_frame_param_ad_s {
    uint16_t OrderNo = 0, FrameNum = 0, FrameNo = 0;
    std::array<uint8_t, 18> FrameName{};
    uint32_t ImageSize = 0, ImageFormat = 0;
    uint16_t Copies = 0, FixedFF = 0;
    std::array<uint8_t, 120> CVP1{}, CVP2{};
    uint16_t PaperWidth = 0, PaperLength = 0, Surface = 0, PaperFittingFlg = 0;
    uint64_t RefId = 0;
    std::array<uint8_t, 32> PaperName{};
    uint16_t Resolut = 0, PaperTone = 0;
};

std::array<uint8_t, kOrderRecordSize> encodeOrderRecord(const jrx_order_param_ad_s& order);
std::array<uint8_t, kFrameBlockSize> encodeFrameBlock(const jrx_frame_param_ad_s& frame);

// Decodes a record or the head of one an older minilab receives (64 or 256 bytes of order
// data; 320 or 384 bytes of frame block); bytes not carried read as zero. None when the buffer
// is longer than the record's wire form allows.
std::optional<jrx_order_param_ad_s> decodeOrderRecord(std::span<const uint8_t> bytes);
std::optional<jrx_frame_param_ad_s> decodeFrameBlock(std::span<const uint8_t> bytes);

// Which command set a minilab takes for its orders.
enum class OrderProtocol {
    Extended,   // 0x22 frames, 0x23 order
    FastPrint,  // 0x12 frames, 0x13 order
    Normal,     // 0x02 frames, 0x03 order
};

OrderProtocol orderProtocolFor(bool extraFeatures, bool fastPrint);
uint8_t frameCommandFor(OrderProtocol protocol);
uint8_t spoolCommandFor(OrderProtocol protocol);
inline constexpr uint8_t kCancelFastPrintCommand = 0x0D;
// Bytes of the frame block an image command carries: 480, 384 or 320.
size_t frameBlockLengthFor(OrderProtocol protocol);
// Bytes of order data a spool command carries after the client information: 240, 256 or 64.
size_t orderDataLengthFor(OrderProtocol protocol);

using ClientInfoBytes = std::span<const uint8_t, kClientInfoSize>;

// Client information followed by the frame block's head for this minilab.
std::vector<uint8_t> framePayload(OrderProtocol protocol, ClientInfoBytes clientInfo,
                                  const jrx_frame_param_ad_s& frame);
// Client information followed by this minilab's order data.
std::vector<uint8_t> spoolPayload(OrderProtocol protocol, ClientInfoBytes clientInfo,
                                  const jrx_order_param_ad_s& order);
// Client information followed by the order reference: 104 bytes.
std::vector<uint8_t> cancelPayload(ClientInfoBytes clientInfo, uint64_t refId);

}  // namespace tessaron

#include "OrderRecords.h"

#include <algorithm>
#include <cstring>

#include "WireLayout.h"

namespace tessaron {

namespace {

void append(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::array<uint8_t, kOrderRecordSize> encodeOrderRecord(const jrx_order_param_ad_s& order) {
    return jrx::encodeRecord<jrx::OrderLayout>(order);
}

std::array<uint8_t, kFrameBlockSize> encodeFrameBlock(const jrx_frame_param_ad_s& frame) {
    return jrx::encodeRecord<jrx::FrameLayout>(frame);
}

std::optional<jrx_order_param_ad_s> decodeOrderRecord(std::span<const uint8_t> bytes) {
    if (bytes.size() > jrx::OrderLayout::kSize) return std::nullopt;
    return jrx::decodeRecord<jrx::OrderLayout, jrx_order_param_ad_s>(bytes);
}

std::optional<jrx_frame_param_ad_s> decodeFrameBlock(std::span<const uint8_t> bytes) {
    if (bytes.size() > jrx::FrameLayout::kSize) return std::nullopt;
    return jrx::decodeRecord<jrx::FrameLayout, jrx_frame_param_ad_s>(bytes);
}

OrderProtocol orderProtocolFor(bool extraFeatures, bool fastPrint) {
    if (extraFeatures) return OrderProtocol::Extended;
    return fastPrint ? OrderProtocol::FastPrint : OrderProtocol::Normal;
}

uint8_t frameCommandFor(OrderProtocol protocol) {
    switch (protocol) {
        case OrderProtocol::Extended: return 0x22;
        case OrderProtocol::FastPrint: return 0x12;
        case OrderProtocol::Normal: break;
    }
    return 0x02;
}

uint8_t spoolCommandFor(OrderProtocol protocol) {
    switch (protocol) {
        case OrderProtocol::Extended: return 0x23;
        case OrderProtocol::FastPrint: return 0x13;
        case OrderProtocol::Normal: break;
    }
    return 0x03;
}

size_t frameBlockLengthFor(OrderProtocol protocol) {
    switch (protocol) {
        case OrderProtocol::Extended: return 480;
        case OrderProtocol::FastPrint: return 384;
        case OrderProtocol::Normal: break;
    }
    return 320;
}

size_t orderDataLengthFor(OrderProtocol protocol) {
    switch (protocol) {
        case OrderProtocol::Extended: return 240;
        case OrderProtocol::FastPrint: return 256;
        case OrderProtocol::Normal: break;
    }
    return 64;
}

std::vector<uint8_t> framePayload(OrderProtocol protocol, ClientInfoBytes clientInfo,
                                  const jrx_frame_param_ad_s& frame) {
    auto block = encodeFrameBlock(frame);
    std::vector<uint8_t> out;
    out.reserve(kClientInfoSize + block.size());
    append(out, clientInfo);
    append(out, std::span<const uint8_t>(block.data(), frameBlockLengthFor(protocol)));
    return out;
}

std::vector<uint8_t> spoolPayload(OrderProtocol protocol, ClientInfoBytes clientInfo,
                                  const jrx_order_param_ad_s& order) {
    auto record = encodeOrderRecord(order);
    std::vector<uint8_t> out;
    out.reserve(kClientInfoSize + 256);
    append(out, clientInfo);
    size_t length = std::min(orderDataLengthFor(protocol), record.size());
    append(out, std::span<const uint8_t>(record.data(), length));
    // The fast-print spool of older minilabs carries the head of the client information again.
    if (protocol == OrderProtocol::FastPrint) append(out, clientInfo.first(16));
    return out;
}

std::vector<uint8_t> cancelPayload(ClientInfoBytes clientInfo, uint64_t refId) {
    std::vector<uint8_t> out;
    out.reserve(kCancelPayloadSize);
    append(out, clientInfo);
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(refId >> shift));
    return out;
}

}  // namespace tessaron

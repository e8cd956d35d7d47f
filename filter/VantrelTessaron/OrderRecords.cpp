#include "OrderRecords.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace tessaron {

namespace {

// One layout table per record, walked by both the encoder and the decoder so the two can
// never disagree about an offset.
template <class Record, class Visit>
void visitOrderFields(Record& r, Visit&& at) {
    at(0, r.OrderNo);
    at(2, r.FrameNum);
    at(4, r.PaperWidth);
    at(6, r.PaperLengthC);
    at(8, r.PaperLengthP);
    at(10, r.PaperLengthH);
    at(12, r.Surface);
    at(14, r.WithBorderC);
    at(16, r.WithBorderP);
    at(18, r.WithBorderH);
    at(20, r.IndexPrintFlg);
    at(22, r.PaperFittingFlg);
    at(24, r.IndexPaperWidth);
    at(26, r.IndexSurface);
    at(28, r.CmsFlg);
    at(30, r.Reserve1);
    at(32, r.RefId);
    at(40, r.SorterNum);
    at(42, r.PaperName);
    at(74, r.BothSidePrint);
    at(76, r.Copies);
    at(78, r.Collate);
    at(80, r.FastPrintFlg);
    at(82, r.Resolut);
    at(84, r.PaperTone);
    at(86, r.PaperLengthMin);
    at(88, r.PaperLengthMax);
    at(90, r.PaperWidthB);
    at(92, r.SurfaceB);
    at(94, r.PaperNameB);
    at(126, r.ResolutB);
    at(128, r.PaperToneB);
    at(130, r.PaperLengthMinB);
    at(132, r.PaperLengthMaxB);
    at(134, r.PaperWidthC);
    at(136, r.SurfaceC);
    at(138, r.PaperNameC);
    at(170, r.ResolutC);
    at(172, r.PaperToneC);
    at(174, r.PaperLengthMinC);
    at(176, r.PaperLengthMaxC);
    at(178, r.PaperWidthD);
    at(180, r.SurfaceD);
    at(182, r.PaperNameD);
    at(214, r.ResolutD);
    at(216, r.PaperToneD);
    at(218, r.PaperLengthMinD);
    at(220, r.PaperLengthMaxD);
    at(222, r.IndexPrintNum);
    at(224, r.EnablePriority);
    at(226, r.Priority);
    at(228, r.PrintMode);
    at(230, r.Wait);
    at(232, r.BlankPageNum);
    at(234, r.Reserve);
}

template <class Record, class Visit>
void visitFrameFields(Record& r, Visit&& at) {
    at(0, r.OrderNo);
    at(2, r.FrameNum);
    at(4, r.FrameNo);
    at(6, r.FrameName);
    at(24, r.ImageSize);
    at(28, r.ImageFormat);
    at(34, r.Copies);
    at(36, r.FixedFF);
    at(38, r.CVP1);
    at(158, r.CVP2);
    at(280, r.PaperWidth);
    at(282, r.PaperLength);
    at(284, r.Surface);
    at(288, r.PaperFittingFlg);
    at(296, r.RefId);
    at(320, r.PaperName);
    at(352, r.Resolut);
    at(354, r.PaperTone);
}

template <class Field>
constexpr size_t wireSize() {
    if constexpr (std::is_integral_v<Field>) {
        return sizeof(Field);
    } else {
        return std::tuple_size_v<Field>;
    }
}

struct Writer {
    uint8_t* out;
    template <class Field>
    void operator()(size_t offset, const Field& value) const {
        if constexpr (std::is_integral_v<Field>) {
            for (size_t i = 0; i < sizeof(Field); ++i) {
                out[offset + i] = static_cast<uint8_t>(value >> (8 * (sizeof(Field) - 1 - i)));
            }
        } else {
            std::memcpy(out + offset, value.data(), value.size());
        }
    }
};

// Reads the fields that lie wholly inside the bytes given; the rest stay zero.
struct Reader {
    std::span<const uint8_t> in;
    template <class Field>
    void operator()(size_t offset, Field& value) const {
        if (offset + wireSize<Field>() > in.size()) return;
        if constexpr (std::is_integral_v<Field>) {
            Field v = 0;
            for (size_t i = 0; i < sizeof(Field); ++i) v = static_cast<Field>((v << 8) | in[offset + i]);
            value = v;
        } else {
            std::memcpy(value.data(), in.data() + offset, value.size());
        }
    }
};

void append(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::array<uint8_t, kOrderRecordSize> encodeOrderRecord(const jrx_order_param_ad_s& order) {
    std::array<uint8_t, kOrderRecordSize> out{};
    visitOrderFields(order, Writer{out.data()});
    return out;
}

std::array<uint8_t, kFrameBlockSize> encodeFrameBlock(const jrx_frame_param_ad_s& frame) {
    std::array<uint8_t, kFrameBlockSize> out{};
    visitFrameFields(frame, Writer{out.data()});
    return out;
}

std::optional<jrx_order_param_ad_s> decodeOrderRecord(std::span<const uint8_t> bytes) {
    if (bytes.size() > kOrderRecordSize) return std::nullopt;
    jrx_order_param_ad_s order;
    visitOrderFields(order, Reader{bytes});
    return order;
}

std::optional<jrx_frame_param_ad_s> decodeFrameBlock(std::span<const uint8_t> bytes) {
    if (bytes.size() > kFrameBlockSize) return std::nullopt;
    jrx_frame_param_ad_s frame;
    visitFrameFields(frame, Reader{bytes});
    return frame;
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

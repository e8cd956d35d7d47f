#include "JRXWire.h"

#include <algorithm>
#include <cstring>

namespace tessaron::jrx {

std::size_t maxReplyDataLength(std::uint8_t command) {
    // Room beyond the defined record for printers that append to their replies.
    constexpr std::size_t kMargin = 64 * 1024;
    std::size_t record = 0;
    switch (command) {
        case JRX_GET_PRINTER_INFO: record = kPrinterInfoSize; break;
        case JRX_GET_PAPER:
        case JRX_GET_PAPER_AD: record = kPaperRecordADSize; break;
        case JRX_GET_ERRORS: record = kErrorRecordSize; break;
        case JRX_GET_STATUS: record = kStatusSize; break;
        default: record = 0; break;
    }
    return kResultBlockSize + record + kMargin;
}

std::string fixedText(const std::uint8_t* field, std::size_t size) {
    const auto* end = std::find(field, field + size, std::uint8_t{0});
    return std::string(reinterpret_cast<const char*>(field), static_cast<std::size_t>(end - field));
}

void putFixedText(std::uint8_t* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    if (size == 0) return;
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

}  // namespace tessaron::jrx

std::array<std::uint8_t, tessaron::jrx::kHeaderSize> jrx_command_header_s::encode() const {
    std::array<std::uint8_t, tessaron::jrx::kHeaderSize> out{};
    out[0] = J;
    out[1] = T;
    tessaron::jrx::putU32(&out[2], serverVersion);
    out[6] = command;
    out[7] = direction;
    tessaron::jrx::putU32(&out[8], dataLength);
    tessaron::jrx::putU32(&out[12], reserve);
    return out;
}

std::optional<jrx_command_header_s> jrx_command_header_s::decode(std::span<const std::uint8_t> b) {
    if (b.size() < tessaron::jrx::kHeaderSize) return std::nullopt;
    jrx_command_header_s h;
    h.J = b[0];
    h.T = b[1];
    h.serverVersion = tessaron::jrx::getU32(&b[2]);
    h.command = b[6];
    h.direction = b[7];
    h.dataLength = tessaron::jrx::getU32(&b[8]);
    h.reserve = tessaron::jrx::getU32(&b[12]);
    return h;
}

std::array<std::uint8_t, tessaron::jrx::kClientInfoSize> _WSJRX_CLIENT_INFO::encode() const {
    std::array<std::uint8_t, tessaron::jrx::kClientInfoSize> out{};
    std::copy(User.begin(), User.end(), out.begin());
    std::copy(Host.begin(), Host.end(), out.begin() + 20);
    std::copy(Address.begin(), Address.end(), out.begin() + 40);
    std::copy(IPAddress.begin(), IPAddress.end(), out.begin() + 46);
    tessaron::jrx::putU16(&out[50], Port);
    tessaron::jrx::putU32(&out[52], Version);
    tessaron::jrx::putU16(&out[56], Level);
    std::copy(Reserve.begin(), Reserve.end(), out.begin() + 58);
    return out;
}

std::optional<_WSJRX_CLIENT_INFO> _WSJRX_CLIENT_INFO::decode(std::span<const std::uint8_t> b) {
    if (b.size() < tessaron::jrx::kClientInfoSize) return std::nullopt;
    _WSJRX_CLIENT_INFO c;
    std::copy(b.begin(), b.begin() + 20, c.User.begin());
    std::copy(b.begin() + 20, b.begin() + 40, c.Host.begin());
    std::copy(b.begin() + 40, b.begin() + 46, c.Address.begin());
    std::copy(b.begin() + 46, b.begin() + 50, c.IPAddress.begin());
    c.Port = tessaron::jrx::getU16(&b[50]);
    c.Version = tessaron::jrx::getU32(&b[52]);
    c.Level = tessaron::jrx::getU16(&b[56]);
    std::copy(b.begin() + 58, b.begin() + 96, c.Reserve.begin());
    return c;
}

std::array<std::uint8_t, tessaron::jrx::kOrderParamADSize> jrx_order_param_ad_s::encode() const {
    std::array<std::uint8_t, tessaron::jrx::kOrderParamADSize> out{};
    std::uint8_t* p = out.data();
    auto u16 = [&p](std::uint16_t v) { tessaron::jrx::putU16(p, v); p += 2; };
    auto text = [&p](const std::array<std::uint8_t, 32>& t) { std::copy(t.begin(), t.end(), p); p += 32; };
    for (std::uint16_t v : {OrderNo, FrameNum, PaperWidth, PaperLengthC, PaperLengthP, PaperLengthH, Surface, WithBorderC,
                            WithBorderP, WithBorderH, IndexPrintFlg, PaperFittingFlg, IndexPaperWidth, IndexSurface, CmsFlg,
                            Reserve1})
        u16(v);
    tessaron::jrx::putU64(p, RefId);
    p += 8;
    u16(SorterNum);
    text(PaperName);
    for (std::uint16_t v : {BothSidePrint, Copies, Collate, FastPrintFlg, Resolut, PaperTone, PaperLengthMin, PaperLengthMax,
                            PaperWidthB, SurfaceB})
        u16(v);
    text(PaperNameB);
    for (std::uint16_t v : {ResolutB, PaperToneB, PaperLengthMinB, PaperLengthMaxB, PaperWidthC, SurfaceC}) u16(v);
    text(PaperNameC);
    for (std::uint16_t v : {ResolutC, PaperToneC, PaperLengthMinC, PaperLengthMaxC, PaperWidthD, SurfaceD}) u16(v);
    text(PaperNameD);
    for (std::uint16_t v : {ResolutD, PaperToneD, PaperLengthMinD, PaperLengthMaxD, IndexPrintNum, EnablePriority, Priority,
                            PrintMode, Wait, BlankPageNum})
        u16(v);
    std::copy(Reserve.begin(), Reserve.end(), p);
    return out;
}

#include "JRXWire.h"

#include <algorithm>
#include <cstring>

#include "WireLayout.h"

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
    tessaron::jrx::visitHeaderFields(*this, tessaron::jrx::FieldWriter{out.data()});
    return out;
}

std::optional<jrx_command_header_s> jrx_command_header_s::decode(std::span<const std::uint8_t> b) {
    if (b.size() < tessaron::jrx::kHeaderSize) return std::nullopt;
    jrx_command_header_s h;
    tessaron::jrx::visitHeaderFields(h, tessaron::jrx::FieldReader{b});
    return h;
}

std::array<std::uint8_t, tessaron::jrx::kClientInfoSize> _WSJRX_CLIENT_INFO::encode() const {
    std::array<std::uint8_t, tessaron::jrx::kClientInfoSize> out{};
    tessaron::jrx::visitClientInfoFields(*this, tessaron::jrx::FieldWriter{out.data()});
    return out;
}

std::optional<_WSJRX_CLIENT_INFO> _WSJRX_CLIENT_INFO::decode(std::span<const std::uint8_t> b) {
    if (b.size() < tessaron::jrx::kClientInfoSize) return std::nullopt;
    _WSJRX_CLIENT_INFO c;
    tessaron::jrx::visitClientInfoFields(c, tessaron::jrx::FieldReader{b});
    return c;
}

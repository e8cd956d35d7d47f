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

namespace {

using tessaron::jrx::ClientInfoLayout;
using tessaron::jrx::HeaderLayout;

// A record read from the head of `b`; none when `b` is shorter than the record.
template <class Layout, class Record>
std::optional<Record> decodeWhole(std::span<const std::uint8_t> b) {
    if (b.size() < Layout::kSize) return std::nullopt;
    return tessaron::jrx::decodeRecord<Layout, Record>(b);
}

}  // namespace

std::array<std::uint8_t, HeaderLayout::kSize> jrx_command_header_s::encode() const {
    return tessaron::jrx::encodeRecord<HeaderLayout>(*this);
}

std::optional<jrx_command_header_s> jrx_command_header_s::decode(std::span<const std::uint8_t> b) {
    return decodeWhole<HeaderLayout, jrx_command_header_s>(b);
}

std::array<std::uint8_t, ClientInfoLayout::kSize> _WSJRX_CLIENT_INFO::encode() const {
    return tessaron::jrx::encodeRecord<ClientInfoLayout>(*this);
}

std::optional<_WSJRX_CLIENT_INFO> _WSJRX_CLIENT_INFO::decode(std::span<const std::uint8_t> b) {
    return decodeWhole<ClientInfoLayout, _WSJRX_CLIENT_INFO>(b);
}

#include "DiscoveryDatagram.h"

#include "PLUMEX_CUPSMessageLine.h"

#include <cstdio>
#include <cstring>

namespace tessaron::backend {

std::array<uint8_t, kDatagramSize> queryDatagram() {
    std::array<uint8_t, kDatagramSize> query{};
    query[1] = 0x0F;
    query[3] = 0x01;
    return query;
}

bool isDiscoveryReply(const uint8_t* bytes, size_t length) {
    // A short datagram cannot be a reply, whatever an earlier one left in a buffer.
    return length >= 4 && bytes[0] == 0x00 && bytes[1] == 0x0F && bytes[2] == 0x00 && bytes[3] == 0x02;
}

std::string replyPrinterName(const uint8_t* bytes, size_t length) {
    if (length <= 4) return {};
    const auto* name = reinterpret_cast<const char*>(bytes + 4);
    const size_t available = std::min(length, kDatagramSize) - 4;
    const auto* end = static_cast<const char*>(std::memchr(name, 0, available));
    return std::string(name, end ? static_cast<size_t>(end - name) : available);
}

std::string genericDeviceLine() {
    return tessaron::printjob::deviceLine("network", "vantrelps", "Unknown", "Vantrel Printing System");
}

// The name is the minilab's own text: the device-line writer keeps it to one quoted field.
std::string deviceLineForReply(const uint8_t* bytes, size_t length, const std::string& address) {
    return tessaron::printjob::deviceLine("network", "vantrelps://" + address, "Vantrel Tessaron",
                                   "Vantrel " + replyPrinterName(bytes, length) + " (" + address + ")");
}

std::string strayDatagramLine(const uint8_t* bytes, size_t length, const std::string& address) {
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "Received %ld byte packet from %s: ", static_cast<long>(length), address.c_str());
    std::string line = prefix;
    line += '"';
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = bytes[i];
        if (byte < 0x20 || byte >= 0x7F) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%.1o", static_cast<unsigned>(byte));
            line += octal;
        } else {
            line += static_cast<char>(byte);
        }
    }
    line += "\"\n";
    return line;
}

}  // namespace tessaron::backend

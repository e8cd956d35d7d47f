// The discovery datagrams of UDP port 5002 and the CUPS device lines made from them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaron::backend {

constexpr uint16_t kDiscoveryPort = 5002;
constexpr size_t kDatagramSize = 44;
constexpr const char* kDefaultDiscoveryAddress = "255.255.255.255";

std::array<uint8_t, kDatagramSize> queryDatagram();

// A reply begins 00 0F 00 02; nothing else of it is examined.
bool isDiscoveryReply(const uint8_t* bytes, size_t length);

// The name field of a reply: up to its zero byte, never past the received bytes.
std::string replyPrinterName(const uint8_t* bytes, size_t length);

// Device line 1, written once before any reply is read.
std::string genericDeviceLine();
// Device line 2 for a reply from `address` (dotted decimal).
std::string deviceLineForReply(const uint8_t* bytes, size_t length, const std::string& address);

// The --debug dump of a datagram that is not a reply.
std::string strayDatagramLine(const uint8_t* bytes, size_t length, const std::string& address);

}  // namespace tessaron::backend

// Strict checks of every request: a violation names the result code to answer, the byte
// offset within the request (header included) and what was wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Config.h"
#include "Wire.h"

namespace tessaron::minilab {

struct Violation {
    uint32_t code = 1;
    size_t offset = 0;      // from the first header byte of the request
    std::string what;
    bool fatal = false;     // the connection cannot be kept in step after it
};

// Where the parts of a request start.
constexpr size_t kDataOffset = kHeaderSize;
constexpr size_t kRecordOffset = kHeaderSize + kClientInfoSize;

// The size of the fixed part (client info + record) of a command's data, or of its whole
// data for the queries; nothing for an unknown command.
std::optional<size_t> fixedDataLength(uint8_t command);
size_t recordLength(uint8_t command);   // the frame or order part after the client info

struct HeaderCheck {
    std::optional<Violation> violation;
    size_t imageLength = 0;   // extra data of an image transfer
};
HeaderCheck checkHeader(std::span<const uint8_t> header, const LabConfig& lab);

// The data of a query (0x06, 0x07, 0x09, 0x21).
std::optional<Violation> checkQueryData(uint8_t command, std::span<const uint8_t> data);
std::optional<Violation> checkClientInfo(std::span<const uint8_t> info, uint32_t headerVersion);

// The order part of 0x03 (64 bytes), 0x13 (256 bytes) or 0x23 (240 bytes); on success
// `paper` is the configured paper the order names.
std::optional<Violation> checkOrder(uint8_t command, std::span<const uint8_t> clientInfo,
                                    std::span<const uint8_t> data, const LabConfig& lab, const Paper*& paper);
// The frame part of 0x02 (320), 0x12 (384) or 0x22 (480 bytes).
std::optional<Violation> checkFrame(uint8_t command, std::span<const uint8_t> frame, size_t imageLength,
                                    const LabConfig& lab, const Paper*& paper);

struct ImageInfo {
    const char* kind = "";   // "bmp" or "jpg"
    uint32_t width = 0;
    uint32_t height = 0;
};
// The image as sent: a bottom-up BMP (or a JPEG when the lab takes JPEG). `offset` is where
// the image starts within the request.
std::optional<Violation> checkImage(uint32_t format, std::span<const uint8_t> image, size_t offset,
                                    const LabConfig& lab, ImageInfo& info);

}  // namespace tessaron::minilab

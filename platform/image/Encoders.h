// Bitmap file encodings. Sources may be RGB8, RGBA8 or ARGB8; alpha is dropped.
#pragma once

#include "Image.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaron::image {

// Windows BMP as the desktop encoder writes it: BITMAPFILEHEADER + BITMAPINFOHEADER
// (54 bytes), 24-bit BGR, rows top to bottom (negative height), each row padded to 4 bytes,
// resolution from dpi.
std::optional<std::vector<uint8_t>> encodeBMP(ConstBitmapView bitmap, double dpi = 72.0);
// The same into `out`, whose memory is reused from page to page; false (out unspecified) when
// the bitmap cannot be encoded.
bool encodeBMPInto(ConstBitmapView bitmap, double dpi, std::vector<uint8_t>& out);

// Baseline TIFF, 8-bit RGB, uncompressed, one strip per few rows.
std::optional<std::vector<uint8_t>> encodeTIFF(ConstBitmapView bitmap, double dpi = 72.0);
// The same written to an open descriptor (from its current position; not closed).
bool writeTIFF(ConstBitmapView bitmap, int fd, double dpi = 72.0);

// Baseline JPEG, 4:2:0, quality factor 0...1 (0.95 for print frames).
std::optional<std::vector<uint8_t>> encodeJPEG(ConstBitmapView bitmap, double quality = 0.95, double dpi = 72.0);

}  // namespace tessaron::image

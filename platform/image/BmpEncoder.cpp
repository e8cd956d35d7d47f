#include "Encoders.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaron::image {

namespace {

void putLE16(std::vector<uint8_t>& out, size_t at, uint16_t v)
{
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void putLE32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// 16-byte vectors are the narrowest width every x86-64 build has; the shuffle is internal.
#pragma GCC diagnostic ignored "-Wpsabi"
using Bytes16 = uint8_t __attribute__((vector_size(16)));

// RGB to BGR over one row of n pixels: five pixels per 16-byte shuffle, the sixteenth byte
// written ahead and overwritten by the next step; the rest one pixel at a time. Built for
// AVX2 as well, where the shuffle is one instruction.
__attribute__((target_clones("avx2", "default"))) void swapRedBlue(const uint8_t* s, uint8_t* d, size_t n)
{
    const size_t bytes = n * 3;
    size_t i = 0;
    for (; i + 16 <= bytes; i += 15) {
        Bytes16 v;
        std::memcpy(&v, s + i, sizeof v);
        v = __builtin_shufflevector(v, v, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
        std::memcpy(d + i, &v, sizeof v);
    }
    for (; i < bytes; i += 3) {
        d[i] = s[i + 2];
        d[i + 1] = s[i + 1];
        d[i + 2] = s[i];
    }
}

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

}  // namespace

std::optional<std::vector<uint8_t>> encodeBMP(ConstBitmapView bitmap, double dpi)
{
    std::vector<uint8_t> out;
    if (!encodeBMPInto(bitmap, dpi, out))
        return std::nullopt;
    return out;
}

bool encodeBMPInto(ConstBitmapView bitmap, double dpi, std::vector<uint8_t>& out)
{
    if (!bitmap.isValid() || bitmap.width == 0 || bitmap.height == 0)
        return false;
    const auto layout = layoutFor(bitmap.width, bitmap.height, PixelFormat::RGB8, 4);
    if (!layout)
        return false;
    const size_t offset = kFileHeaderSize + kInfoHeaderSize;
    const size_t fileSize = offset + layout->byteCount;
    if (fileSize > UINT32_MAX)
        return false;
    // Every byte is written below, so a buffer of the right size is reused as it stands.
    out.resize(fileSize);
    std::fill_n(out.begin(), offset, uint8_t{0});
    out[0] = 'B';
    out[1] = 'M';
    putLE32(out, 2, static_cast<uint32_t>(fileSize));
    putLE32(out, 10, static_cast<uint32_t>(offset));
    putLE32(out, 14, kInfoHeaderSize);
    putLE32(out, 18, static_cast<uint32_t>(bitmap.width));
    // Rows top to bottom.
    putLE32(out, 22, static_cast<uint32_t>(-static_cast<int32_t>(bitmap.height)));
    putLE16(out, 26, 1);   // planes
    putLE16(out, 28, 24);  // bits per pixel
    putLE32(out, 30, 0);   // uncompressed
    putLE32(out, 34, static_cast<uint32_t>(layout->byteCount));
    const double ppm = std::isfinite(dpi) && dpi > 0 && dpi < 1.0e6 ? dpi / 0.0254 : 72.0 / 0.0254;
    putLE32(out, 38, static_cast<uint32_t>(std::lround(ppm)));
    putLE32(out, 42, static_cast<uint32_t>(std::lround(ppm)));
    const int r = bitmap.format == PixelFormat::ARGB8 ? 1 : 0;
    const int bpp = bitmap.bytesPerPixel();
    const size_t packed = static_cast<size_t>(bitmap.width) * 3;
    for (int y = 0; y < bitmap.height; ++y) {
        const uint8_t* s = bitmap.row(y) + r;
        uint8_t* d = out.data() + offset + static_cast<size_t>(y) * layout->bytesPerRow;
        std::fill(d + packed, d + layout->bytesPerRow, uint8_t{0});
        if (bitmap.format == PixelFormat::RGB8) {
            swapRedBlue(s, d, static_cast<size_t>(bitmap.width));
            continue;
        }
        for (int x = 0; x < bitmap.width; ++x, s += bpp, d += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    return true;
}

}  // namespace tessaron::image

#include "Encoders.h"

#include <cmath>

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

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

}  // namespace

std::optional<std::vector<uint8_t>> encodeBMP(ConstBitmapView bitmap, double dpi)
{
    if (!bitmap.isValid() || bitmap.width == 0 || bitmap.height == 0)
        return std::nullopt;
    const auto layout = layoutFor(bitmap.width, bitmap.height, PixelFormat::RGB8, 4);
    if (!layout)
        return std::nullopt;
    const size_t offset = kFileHeaderSize + kInfoHeaderSize;
    const size_t fileSize = offset + layout->byteCount;
    if (fileSize > UINT32_MAX)
        return std::nullopt;
    std::vector<uint8_t> out(fileSize, 0);
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
    for (int y = 0; y < bitmap.height; ++y) {
        const uint8_t* s = bitmap.row(y) + r;
        uint8_t* d = out.data() + offset + static_cast<size_t>(y) * layout->bytesPerRow;
        for (int x = 0; x < bitmap.width; ++x, s += bpp, d += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    return out;
}

}  // namespace tessaron::image

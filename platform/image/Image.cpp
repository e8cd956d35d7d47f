#include "Image.h"

#include <cstring>
#include <new>

namespace tessaron::image {

std::optional<BufferLayout> layoutFor(int width, int height, PixelFormat format, size_t rowAlignment)
{
    if (width < 0 || height < 0 || width > kMaxDimension || height > kMaxDimension)
        return std::nullopt;
    if (rowAlignment == 0 || (rowAlignment & (rowAlignment - 1)) != 0 || rowAlignment > 4096)
        return std::nullopt;
    // Both factors are below 2^23, so the products fit in 64 bits before the bound check.
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel(format));
    const size_t stride = (rowBytes + rowAlignment - 1) & ~(rowAlignment - 1);
    const size_t total = stride * static_cast<size_t>(height);
    if (stride > kMaxBitmapBytes || total > kMaxBitmapBytes)
        return std::nullopt;
    return BufferLayout{stride, total};
}

template <typename Byte>
bool BasicBitmapView<Byte>::isValid() const
{
    if (width < 0 || height < 0 || width > kMaxDimension || height > kMaxDimension)
        return false;
    if (width == 0 || height == 0)
        return true;
    if (data == nullptr)
        return false;
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel());
    return bytesPerRow >= rowBytes && bytesPerRow <= kMaxBitmapBytes;
}
template struct BasicBitmapView<uint8_t>;
template struct BasicBitmapView<const uint8_t>;

std::optional<Bitmap> Bitmap::create(int width, int height, PixelFormat format, size_t rowAlignment)
{
    const auto layout = layoutFor(width, height, format, rowAlignment);
    if (!layout)
        return std::nullopt;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[layout->byteCount == 0 ? 1 : layout->byteCount]());
    if (!data)
        return std::nullopt;
    return Bitmap(std::move(data), width, height, layout->bytesPerRow, format);
}

void Bitmap::convertAlphaPosition(PixelFormat to)
{
    if (to == _format || !hasAlpha(to) || !hasAlpha(_format))
        return;
    const bool toFirst = to == PixelFormat::ARGB8;
    for (int r = 0; r < _height; ++r) {
        uint8_t* p = row(r);
        for (int x = 0; x < _width; ++x, p += 4) {
            const uint8_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
            if (toFirst) {
                p[0] = b3; p[1] = b0; p[2] = b1; p[3] = b2;
            } else {
                p[0] = b1; p[1] = b2; p[2] = b3; p[3] = b0;
            }
        }
    }
    _format = to;
}

namespace {
struct Layout {
    int r, g, b, a;  // byte offsets; a < 0 when there is no alpha
};
constexpr Layout layoutOf(PixelFormat f)
{
    switch (f) {
    case PixelFormat::RGB8: return {0, 1, 2, -1};
    case PixelFormat::RGBA8: return {0, 1, 2, 3};
    case PixelFormat::ARGB8: return {1, 2, 3, 0};
    }
    return {0, 1, 2, -1};
}
}  // namespace

bool copyPixels(ConstBitmapView src, BitmapView dst)
{
    if (!src.isValid() || !dst.isValid() || src.width != dst.width || src.height != dst.height)
        return false;
    const Layout s = layoutOf(src.format), d = layoutOf(dst.format);
    const int sb = src.bytesPerPixel(), db = dst.bytesPerPixel();
    for (int r = 0; r < src.height; ++r) {
        const uint8_t* sp = src.row(r);
        uint8_t* dp = dst.row(r);
        if (src.format == dst.format) {
            std::memmove(dp, sp, static_cast<size_t>(src.width) * static_cast<size_t>(sb));
            continue;
        }
        for (int x = 0; x < src.width; ++x, sp += sb, dp += db) {
            dp[d.r] = sp[s.r];
            dp[d.g] = sp[s.g];
            dp[d.b] = sp[s.b];
            if (d.a >= 0)
                dp[d.a] = s.a >= 0 ? sp[s.a] : 255;
        }
    }
    return true;
}

}  // namespace tessaron::image

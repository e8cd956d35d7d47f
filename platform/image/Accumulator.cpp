#include "Accumulator.h"

#include "Parallel.h"
#include "PointProgram.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tessaron::image {

namespace {

constexpr double kUnlimited = 1.0e15;

// Pixel index range [first, end) whose centres lie in [origin, origin + size).
void centresIn(double origin, double size, int limit, int& first, int& end)
{
    const double lo = std::ceil(origin - 0.5);
    const double hi = std::ceil(origin + size - 0.5);
    first = static_cast<int>(std::clamp(lo, 0.0, static_cast<double>(limit)));
    end = static_cast<int>(std::clamp(hi, 0.0, static_cast<double>(limit)));
    if (end < first)
        end = first;
}

struct Offsets {
    int r, g, b, a;
};
Offsets offsetsOf(PixelFormat f)
{
    switch (f) {
    case PixelFormat::RGB8: return {0, 1, 2, -1};
    case PixelFormat::RGBA8: return {0, 1, 2, 3};
    case PixelFormat::ARGB8: return {1, 2, 3, 0};
    }
    return {0, 1, 2, -1};
}

// ARGB of a source pixel at column c of a row.
inline void fetch(const uint8_t* row, int c, int bpp, const Offsets& o, uint8_t out[4])
{
    const uint8_t* p = row + static_cast<size_t>(c) * static_cast<size_t>(bpp);
    out[0] = o.a >= 0 ? p[o.a] : 255;
    out[1] = p[o.r];
    out[2] = p[o.g];
    out[3] = p[o.b];
}

}  // namespace

Image Image::imageWithBitmap(ConstBitmapView bitmap)
{
    Image i;
    i._bitmap = bitmap;
    return i;
}

Image Image::imageWithColor(Color color)
{
    Image i;
    i._color = color;
    return i;
}

std::optional<Image> Image::outputOfFilter(const Filter& filter, const Image& input)
{
    if (filter.kind() == FilterKind::ConstantColorGenerator) {
        const auto v = filter.valueForKey("inputColor");
        return imageWithColor(std::get<Color>(*v));
    }
    if (filter.kind() == FilterKind::AffineTransform) {
        const auto t = std::get<AffineTransform>(*filter.valueForKey("inputTransform"));
        if (!t.isTranslation() || !std::isfinite(t.tx) || !std::isfinite(t.ty))
            return std::nullopt;
        return input.translatedBy(t.tx, t.ty);
    }
    return std::nullopt;
}

Image Image::translatedBy(double tx, double ty) const
{
    Image i = *this;
    if (_bitmap) {
        i._tx += tx;
        i._ty += ty;
    }
    return i;
}

Rect Image::extent() const
{
    if (!_bitmap)
        return {-kUnlimited, -kUnlimited, 2 * kUnlimited, 2 * kUnlimited};
    return {_tx, _ty, static_cast<double>(_bitmap->width), static_cast<double>(_bitmap->height)};
}

std::optional<ImageAccumulator> ImageAccumulator::create(int width, int height, unsigned threads, size_t rowAlignment)
{
    auto canvas = Bitmap::create(width, height, PixelFormat::ARGB8, rowAlignment);
    if (!canvas)
        return std::nullopt;
    return ImageAccumulator(std::move(*canvas), resolveThreadCount(threads));
}

Rect ImageAccumulator::extent() const
{
    return {0, 0, static_cast<double>(_canvas.width()), static_cast<double>(_canvas.height())};
}

void ImageAccumulator::setImage(const Image& image)
{
    draw(image, 0, 0, _canvas.width(), _canvas.height(), true);
}

void ImageAccumulator::setImageDirtyRect(const Image& image, Rect dirtyRect)
{
    if (!std::isfinite(dirtyRect.x) || !std::isfinite(dirtyRect.y) || !std::isfinite(dirtyRect.width) ||
        !std::isfinite(dirtyRect.height))
        return;
    int x0, x1, y0, y1;
    centresIn(dirtyRect.x, dirtyRect.width, _canvas.width(), x0, x1);
    centresIn(dirtyRect.y, dirtyRect.height, _canvas.height(), y0, y1);
    draw(image, x0, y0, x1, y1, false);
}

// Pixels [x0, x1) x [y0, y1) in canvas coordinates (y up).
void ImageAccumulator::draw(const Image& image, int x0, int y0, int x1, int y1, bool clearUncovered)
{
    const int H = _canvas.height();
    if (x0 >= x1 || y0 >= y1)
        return;
    if (!image.bitmap()) {
        const Color& c = image.color();
        const uint8_t argb[4] = {detail::quantize(c.alpha), detail::quantize(c.red), detail::quantize(c.green), detail::quantize(c.blue)};
        detail::runBands(y1 - y0, detail::bandCount(y1 - y0, x1 - x0, _threads), [&](unsigned, int first, int end) {
            for (int y = y0 + first; y < y0 + end; ++y) {
                uint8_t* p = _canvas.row(H - 1 - y) + static_cast<size_t>(x0) * 4;
                for (int x = x0; x < x1; ++x, p += 4)
                    std::memcpy(p, argb, 4);
            }
        });
        return;
    }
    const ConstBitmapView src = *image.bitmap();
    const double tx = image.translationX(), ty = image.translationY();
    if (!std::isfinite(tx) || !std::isfinite(ty) || src.width == 0 || src.height == 0 || !src.isValid())
        return;
    // Covered pixels; the rest of the range is cleared or left alone.
    int cx0, cx1, cy0, cy1;
    centresIn(tx, src.width, _canvas.width(), cx0, cx1);
    centresIn(ty, src.height, H, cy0, cy1);
    cx0 = std::clamp(cx0, x0, x1);
    cx1 = std::clamp(cx1, cx0, x1);
    cy0 = std::clamp(cy0, y0, y1);
    cy1 = std::clamp(cy1, cy0, y1);
    // Canvas pixel x samples source column u = x - tx (pixel centres at whole numbers);
    // the fraction is the same for every pixel.
    const double fu = -tx - std::floor(-tx), fv = -ty - std::floor(-ty);
    int ax = static_cast<int>(std::lround(fu * 256)), ay = static_cast<int>(std::lround(fv * 256));
    const long long baseU = static_cast<long long>(std::floor(-tx)) + (ax == 256 ? 1 : 0);
    const long long baseV = static_cast<long long>(std::floor(-ty)) + (ay == 256 ? 1 : 0);
    ax &= 255;
    ay &= 255;
    const Offsets o = offsetsOf(src.format);
    const int bpp = src.bytesPerPixel();
    const int sw = src.width, sh = src.height;
    auto clampU = [&](long long u) { return static_cast<int>(std::clamp<long long>(u, 0, sw - 1)); };
    auto clampV = [&](long long v) { return static_cast<int>(std::clamp<long long>(v, 0, sh - 1)); };

    auto drawRow = [&](int y) {
        uint8_t* dst = _canvas.row(H - 1 - y);
        if (clearUncovered && (y < cy0 || y >= cy1)) {
            std::memset(dst + static_cast<size_t>(x0) * 4, 0, static_cast<size_t>(x1 - x0) * 4);
            return;
        }
        if (y < cy0 || y >= cy1)
            return;
        if (clearUncovered) {
            std::memset(dst + static_cast<size_t>(x0) * 4, 0, static_cast<size_t>(cx0 - x0) * 4);
            std::memset(dst + static_cast<size_t>(cx1) * 4, 0, static_cast<size_t>(x1 - cx1) * 4);
        }
        // Source rows (from the top) of the two vertical samples.
        const long long v = y + baseV;
        const uint8_t* rowA = src.row(sh - 1 - clampV(v));
        const uint8_t* rowB = src.row(sh - 1 - clampV(v + 1));
        uint8_t* p = dst + static_cast<size_t>(cx0) * 4;
        if (ax == 0 && ay == 0) {
            for (int x = cx0; x < cx1; ++x, p += 4)
                fetch(rowA, clampU(x + baseU), bpp, o, p);
            return;
        }
        const int w00 = (256 - ax) * (256 - ay), w10 = ax * (256 - ay), w01 = (256 - ax) * ay, w11 = ax * ay;
        for (int x = cx0; x < cx1; ++x, p += 4) {
            uint8_t a[4], b[4], c[4], d[4];
            const int u0 = clampU(x + baseU), u1 = clampU(x + baseU + 1);
            fetch(rowA, u0, bpp, o, a);
            fetch(rowA, u1, bpp, o, b);
            fetch(rowB, u0, bpp, o, c);
            fetch(rowB, u1, bpp, o, d);
            for (int k = 0; k < 4; ++k)
                p[k] = static_cast<uint8_t>((w00 * a[k] + w10 * b[k] + w01 * c[k] + w11 * d[k] + 32768) >> 16);
        }
    };
    detail::runBands(y1 - y0, detail::bandCount(y1 - y0, x1 - x0, _threads), [&](unsigned, int first, int end) {
        for (int y = y0 + first; y < y0 + end; ++y)
            drawRow(y);
    });
}

}  // namespace tessaron::image

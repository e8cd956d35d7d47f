// Bitmaps of 8-bit samples: owned (Bitmap) or borrowed (BitmapView), with a row stride.
// Geometry follows the image convention of the pipeline: origin at the bottom-left corner,
// y up, so bitmap row r (counted from the top) lies at y = height - 1 - r.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace tessaron::image {

enum class PixelFormat : uint8_t {
    RGB8,   // R G B
    RGBA8,  // R G B A (alpha last)
    ARGB8,  // A R G B (alpha first)
};

constexpr int bytesPerPixel(PixelFormat format) { return format == PixelFormat::RGB8 ? 3 : 4; }
constexpr bool hasAlpha(PixelFormat format) { return format != PixelFormat::RGB8; }

// Format flags as a rendered bitmap reports them; bit 0 set means alpha comes first.
constexpr uint32_t kBitmapFormatAlphaFirst = 1u << 0;
constexpr uint32_t formatFlags(PixelFormat format) { return format == PixelFormat::ARGB8 ? kBitmapFormatAlphaFirst : 0u; }

// Upper bound for any buffer sized from image dimensions.
constexpr size_t kMaxBitmapBytes = size_t{1} << 30;
constexpr int kMaxDimension = 1 << 20;

// Bytes per row for width pixels rounded up to alignment (a power of two, >= 1), and the
// buffer size for height such rows; none when a product overflows or exceeds kMaxBitmapBytes.
struct BufferLayout {
    size_t bytesPerRow;
    size_t byteCount;
};
std::optional<BufferLayout> layoutFor(int width, int height, PixelFormat format, size_t rowAlignment = 1);

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// Components in 0...1 (values outside are clamped when converted to samples).
struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const Color&) const = default;
};

// Borrowed pixels, e.g. a raster page buffer. Rows are bytesPerRow apart; each holds
// width * bytesPerPixel(format) meaningful bytes.
template <typename Byte>
struct BasicBitmapView {
    Byte* data = nullptr;
    int width = 0;
    int height = 0;
    size_t bytesPerRow = 0;
    PixelFormat format = PixelFormat::RGB8;

    Byte* row(int r) const { return data + static_cast<size_t>(r) * bytesPerRow; }
    int bytesPerPixel() const { return image::bytesPerPixel(format); }
    int bitsPerPixel() const { return 8 * bytesPerPixel(); }
    // True when the described rows fit the stride and the dimensions are within bounds.
    bool isValid() const;
    operator BasicBitmapView<const uint8_t>() const { return {data, width, height, bytesPerRow, format}; }
};
using BitmapView = BasicBitmapView<uint8_t>;
using ConstBitmapView = BasicBitmapView<const uint8_t>;

// An owned bitmap; zero-filled on creation. Move-only.
class Bitmap {
public:
    static std::optional<Bitmap> create(int width, int height, PixelFormat format, size_t rowAlignment = 1);

    Bitmap(Bitmap&&) noexcept = default;
    Bitmap& operator=(Bitmap&&) noexcept = default;

    int width() const { return _width; }
    int height() const { return _height; }
    size_t bytesPerRow() const { return _bytesPerRow; }
    size_t byteCount() const { return _bytesPerRow * static_cast<size_t>(_height); }
    PixelFormat format() const { return _format; }
    int bitsPerSample() const { return 8; }
    int samplesPerPixel() const { return bytesPerPixel(_format); }
    int bitsPerPixel() const { return 8 * bytesPerPixel(_format); }
    uint32_t bitmapFormat() const { return formatFlags(_format); }

    uint8_t* data() { return _data.get(); }
    const uint8_t* data() const { return _data.get(); }
    uint8_t* row(int r) { return _data.get() + static_cast<size_t>(r) * _bytesPerRow; }
    const uint8_t* row(int r) const { return _data.get() + static_cast<size_t>(r) * _bytesPerRow; }
    BitmapView view() { return {_data.get(), _width, _height, _bytesPerRow, _format}; }
    ConstBitmapView view() const { return {_data.get(), _width, _height, _bytesPerRow, _format}; }

    // Reinterprets 4-byte pixels between alpha-first and alpha-last in place.
    void convertAlphaPosition(PixelFormat to);

private:
    Bitmap(std::unique_ptr<uint8_t[]> data, int width, int height, size_t bytesPerRow, PixelFormat format)
        : _data(std::move(data)), _width(width), _height(height), _bytesPerRow(bytesPerRow), _format(format) {}

    std::unique_ptr<uint8_t[]> _data;
    int _width = 0;
    int _height = 0;
    size_t _bytesPerRow = 0;
    PixelFormat _format = PixelFormat::RGB8;
};

// Copies src into dst pixel by pixel, converting between formats (alpha 255 where src has
// none, dropped where dst has none). Sizes must match; answers false otherwise.
bool copyPixels(ConstBitmapView src, BitmapView dst);

}  // namespace tessaron::image

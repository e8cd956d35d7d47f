#include "Render.h"

#include <cstring>

namespace tessaron::image {

namespace {
PixelFormat formatFor(const RenderFormat& f) { return f.alphaFirst ? PixelFormat::ARGB8 : PixelFormat::RGBA8; }
}  // namespace

std::optional<Bitmap> renderBitmap(ConstBitmapView bitmap, const RenderFormat& format)
{
    if (!bitmap.isValid())
        return std::nullopt;
    auto out = Bitmap::create(bitmap.width, bitmap.height, formatFor(format), format.rowAlignment);
    if (!out || !copyPixels(bitmap, out->view()))
        return std::nullopt;
    return out;
}

std::optional<Bitmap> renderImage(const Image& image, const RenderFormat& format)
{
    // A translated bitmap's extent moves with it, so over that extent it is its own pixels.
    if (!image.bitmap())
        return std::nullopt;
    return renderBitmap(*image.bitmap(), format);
}

std::optional<Bitmap> renderAccumulator(ImageAccumulator&& accumulator, const RenderFormat& format)
{
    Bitmap canvas = std::move(accumulator).takeCanvas();
    const auto wanted = layoutFor(canvas.width(), canvas.height(), formatFor(format), format.rowAlignment);
    if (!wanted)
        return std::nullopt;
    if (wanted->bytesPerRow == canvas.bytesPerRow()) {
        canvas.convertAlphaPosition(formatFor(format));
        return canvas;
    }
    return renderBitmap(canvas.view(), format);
}

bool stripAlphaInto(ConstBitmapView rendered, BitmapView page)
{
    if (!rendered.isValid() || !page.isValid() || page.format != PixelFormat::RGB8 || rendered.format == PixelFormat::RGB8)
        return false;
    if (rendered.width < page.width || rendered.height < page.height)
        return false;
    const int skip = rendered.format == PixelFormat::ARGB8 ? 1 : 0;
    for (int r = 0; r < page.height; ++r) {
        const uint8_t* s = rendered.row(r) + skip;
        uint8_t* d = page.row(r);
        for (int x = 0; x < page.width; ++x, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    return true;
}

}  // namespace tessaron::image

// Rendering to 8-bit RGBA bitmaps, alpha first or last, and the copy back into a page's own
// 24-bit layout.
#pragma once

#include "Accumulator.h"
#include "Image.h"

#include <optional>

namespace tessaron::image {

struct RenderFormat {
    bool alphaFirst = false;   // ARGB8 (format flag bit 0) instead of RGBA8
    size_t rowAlignment = 16;  // rows padded at the end to a multiple of this (power of two)
    unsigned threads = 0;      // 0: all hardware threads
};

// The image over its extent (must be finite; a translated bitmap renders at its own size
// with the translation's fractional part resampled).
std::optional<Bitmap> renderImage(const Image& image, const RenderFormat& format = {});
// A bitmap directly (alpha 255 where it has none).
std::optional<Bitmap> renderBitmap(ConstBitmapView bitmap, const RenderFormat& format = {});
// The accumulator's canvas, reusing its memory when no row padding is asked for and
// copying otherwise.
std::optional<Bitmap> renderAccumulator(ImageAccumulator&& accumulator, const RenderFormat& format = {});

// Copies the colour samples of a 32-bit rendering (RGBA8 or ARGB8) into an RGB8 page, rows top
// to bottom: page.height rows of page.width pixels; the rendering's further pixels and row
// padding are skipped. Answers false, copying nothing, when the rendering is smaller.
bool stripAlphaInto(ConstBitmapView rendered, BitmapView page);

}  // namespace tessaron::image

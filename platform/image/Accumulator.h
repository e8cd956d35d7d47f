// Images as the compositing step sees them (a bitmap placed at a translation, or a constant
// colour of unlimited extent) and an accumulator canvas that takes them, whole or inside a
// dirty rectangle.
#pragma once

#include "Filters.h"
#include "Image.h"

#include <optional>

namespace tessaron::image {

class Image {
public:
    // The bitmap at extent (0, 0, width, height). The pixels are borrowed, not copied.
    static Image imageWithBitmap(ConstBitmapView bitmap);
    static Image imageWithColor(Color color);
    // "CIConstantColorGenerator" (inputColor) or "CIAffineTransform" (inputTransform, pure
    // translations only) applied to input; none for other filters or transforms.
    static std::optional<Image> outputOfFilter(const Filter& filter, const Image& input);

    Image translatedBy(double tx, double ty) const;
    bool isInfinite() const { return !_bitmap.has_value(); }
    // Unlimited images answer a huge rectangle around the origin.
    Rect extent() const;
    double translationX() const { return _tx; }
    double translationY() const { return _ty; }
    const std::optional<ConstBitmapView>& bitmap() const { return _bitmap; }
    const Color& color() const { return _color; }

private:
    std::optional<ConstBitmapView> _bitmap;
    Color _color;
    double _tx = 0, _ty = 0;
};

// A width x height canvas of 8-bit ARGB, transparent black at first. A pixel belongs to a
// rectangle when its centre lies inside it; an image covers the pixels whose centres lie
// inside its extent. Fractional translations sample bilinearly, the bitmap's edge pixels
// continuing for the half pixel at its border.
class ImageAccumulator {
public:
    // rowAlignment as in Bitmap::create; 16 matches the renderer's default, so that
    // renderAccumulator can hand the canvas over without a copy.
    static std::optional<ImageAccumulator> create(int width, int height, unsigned threads = 0, size_t rowAlignment = 16);

    Rect extent() const;
    // Every canvas pixel from image (transparent where the image does not cover it).
    void setImage(const Image& image);
    // Only the pixels inside dirtyRect from image; pixels the image does not cover keep
    // their values, so a page stays white where a translated image leaves a gap.
    void setImageDirtyRect(const Image& image, Rect dirtyRect);

    const Bitmap& canvas() const { return _canvas; }
    // Hands over the canvas (ARGB8); the accumulator is empty afterwards.
    Bitmap takeCanvas() && { return std::move(_canvas); }

private:
    ImageAccumulator(Bitmap canvas, unsigned threads) : _canvas(std::move(canvas)), _threads(threads) {}
    void draw(const Image& image, int x0, int y0, int x1, int y1, bool clearUncovered);
    Bitmap _canvas;
    unsigned _threads;
};

}  // namespace tessaron::image

#include "Render.h"
#include "TestImages.h"

#include <gtest/gtest.h>

namespace tessaron::image::test {
namespace {

// A W x H RGB bitmap whose pixel (column x, row r from the top) is (x, r, 200).
Bitmap coordinates(int w, int h)
{
    auto b = Bitmap::create(w, h, PixelFormat::RGB8);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            b->row(r)[3 * x] = static_cast<uint8_t>(x);
            b->row(r)[3 * x + 1] = static_cast<uint8_t>(r);
            b->row(r)[3 * x + 2] = 200;
        }
    return std::move(*b);
}

// ARGB of canvas pixel (column x, row r from the top) as one number.
uint32_t argbAt(const Bitmap& canvas, int x, int r)
{
    const uint8_t* p = canvas.row(r) + 4 * x;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }
constexpr uint32_t kWhite = 0xffffffff;

// An accumulator of the page's size whose canvas shows the page moved by (dx, dy); the page
// must outlive it.
std::optional<ImageAccumulator> canvasShowing(const Bitmap& page, double dx, double dy)
{
    auto acc = ImageAccumulator::create(page.width(), page.height(), 1);
    acc->setImage(Image::imageWithBitmap(page.view()).translatedBy(dx, dy));
    return acc;
}

ImageAccumulator whiteCanvas(int w, int h)
{
    auto acc = ImageAccumulator::create(w, h, 1);
    EXPECT_TRUE(acc);
    acc->setImage(Image::imageWithColor({1, 1, 1, 1}));
    return std::move(*acc);
}

TEST(Accumulator, DirtyRectangleReplacesOnlyItsPixels)
{
    const Bitmap page = coordinates(10, 4);
    // Binding strips of two pixels either side: (R.w - W) / 2 + R.x = 0, no translation.
    ImageAccumulator acc = whiteCanvas(10, 4);
    acc.setImageDirtyRect(Image::imageWithBitmap(page.view()), {2, 0, 6, 4});
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(argbAt(acc.canvas(), x, r), x < 2 || x >= 8 ? kWhite : argb(255, x, r, 200)) << x << "," << r;

    // y grows upwards: a rectangle at y 0, height 1 is the bottom row.
    ImageAccumulator bottom = whiteCanvas(10, 4);
    bottom.setImageDirtyRect(Image::imageWithBitmap(page.view()), {0, 0, 10, 1});
    EXPECT_EQ(argbAt(bottom.canvas(), 5, 3), argb(255, 5, 3, 200));
    EXPECT_EQ(argbAt(bottom.canvas(), 5, 2), kWhite);

    // Pixels belong to a fractional rectangle by their centres.
    ImageAccumulator frac = whiteCanvas(10, 4);
    frac.setImageDirtyRect(Image::imageWithBitmap(page.view()), {1.4, 0, 7.2, 4});  // centres 1.5 ... 8.5
    EXPECT_EQ(argbAt(frac.canvas(), 0, 0), kWhite);
    EXPECT_EQ(argbAt(frac.canvas(), 1, 0), argb(255, 1, 0, 200));
    EXPECT_EQ(argbAt(frac.canvas(), 8, 0), argb(255, 8, 0, 200));
    EXPECT_EQ(argbAt(frac.canvas(), 9, 0), kWhite);
}

TEST(Accumulator, TranslationMovesRightAndUp)
{
    const Bitmap page = coordinates(5, 4);
    auto acc = canvasShowing(page, 1, 1);
    // Up by one: canvas row r shows page row r + 1; the bottom row and left column are uncovered.
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 5; ++x) {
            const bool covered = x >= 1 && r <= 2;
            EXPECT_EQ(argbAt(acc->canvas(), x, r), covered ? argb(255, x - 1, r + 1, 200) : 0u) << x << "," << r;
        }

    // Within a dirty rectangle, what the moved image leaves uncovered keeps the white.
    ImageAccumulator white = whiteCanvas(5, 4);
    white.setImageDirtyRect(Image::imageWithBitmap(page.view()).translatedBy(-2, 0), {0, 0, 5, 4});
    EXPECT_EQ(argbAt(white.canvas(), 2, 0), argb(255, 4, 0, 200));
    EXPECT_EQ(argbAt(white.canvas(), 3, 0), kWhite);
}

TEST(Accumulator, HalfPixelTranslationInterpolates)
{
    const Bitmap page = coordinates(8, 2);
    auto acc = canvasShowing(page, 0.5, 0);
    // Canvas pixel x lies between page columns x - 1 and x; the left edge continues.
    for (int x = 1; x < 8; ++x) {
        const int red = acc->canvas().row(0)[4 * x + 1];
        EXPECT_NEAR(red, x - 0.5, 0.51) << x;
    }
    EXPECT_EQ(acc->canvas().row(0)[1], 0);
}

TEST(Accumulator, FiltersMakeConstantAndTranslatedImages)
{
    Filter color = *Filter::filterWithName("CIConstantColorGenerator");
    ASSERT_TRUE(color.setValueForKey(Color{1, 1, 1, 1}, "inputColor"));
    const Bitmap page = coordinates(3, 3);
    const Image input = Image::imageWithBitmap(page.view());
    auto white = Image::outputOfFilter(color, input);
    ASSERT_TRUE(white);
    EXPECT_TRUE(white->isInfinite());

    Filter move = *Filter::filterWithName("CIAffineTransform");
    ASSERT_TRUE(move.setValueForKey(AffineTransform::translation(2.5, -1), "inputTransform"));
    auto moved = Image::outputOfFilter(move, input);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->extent(), (Rect{2.5, -1, 3, 3}));
    ASSERT_TRUE(move.setValueForKey(AffineTransform{2, 0, 0, 2, 0, 0}, "inputTransform"));
    EXPECT_FALSE(Image::outputOfFilter(move, input).has_value());
    EXPECT_FALSE(Image::outputOfFilter(*Filter::filterWithName("CIGammaAdjust"), input).has_value());
}

TEST(Render, AlphaFirstAndLastByteOrder)
{
    const Bitmap page = coordinates(3, 2);
    auto last = renderBitmap(page.view(), {.alphaFirst = false, .rowAlignment = 16, .threads = 1});
    auto first = renderBitmap(page.view(), {.alphaFirst = true, .rowAlignment = 16, .threads = 1});
    ASSERT_TRUE(last && first);
    EXPECT_EQ(last->bitmapFormat() & kBitmapFormatAlphaFirst, 0u);
    EXPECT_EQ(first->bitmapFormat() & kBitmapFormatAlphaFirst, kBitmapFormatAlphaFirst);
    EXPECT_EQ(last->bytesPerRow(), 16u);  // 12 bytes of pixels, padded
    EXPECT_EQ(last->bitsPerPixel(), 32);
    const uint8_t* l = last->row(1) + 4 * 2;
    const uint8_t* f = first->row(1) + 4 * 2;
    EXPECT_EQ((std::array<int, 4>{l[0], l[1], l[2], l[3]}), (std::array<int, 4>{2, 1, 200, 255}));
    EXPECT_EQ((std::array<int, 4>{f[0], f[1], f[2], f[3]}), (std::array<int, 4>{255, 2, 1, 200}));
}

TEST(Render, AccumulatorCanvasIsHandedOverAndWrittenBack)
{
    for (bool alphaFirst : {false, true}) {
        Bitmap page = coordinates(12, 3);
        ImageAccumulator acc = whiteCanvas(12, 3);
        acc.setImageDirtyRect(Image::imageWithBitmap(page.view()), {2, 0, 8, 3});
        const uint8_t* canvasMemory = acc.canvas().data();
        auto rendered = renderAccumulator(std::move(acc), {.alphaFirst = alphaFirst, .rowAlignment = 16, .threads = 1});
        ASSERT_TRUE(rendered);
        EXPECT_EQ(rendered->data(), canvasMemory);  // no second RGBA buffer
        ASSERT_TRUE(stripAlphaInto(rendered->view(), page.view()));
        for (int x = 0; x < 12; ++x) {
            const uint8_t* p = page.row(2) + 3 * x;
            if (x < 2 || x >= 10)
                EXPECT_EQ((std::array<int, 3>{p[0], p[1], p[2]}), (std::array<int, 3>{255, 255, 255}));
            else
                EXPECT_EQ((std::array<int, 3>{p[0], p[1], p[2]}), (std::array<int, 3>{x, 2, 200}));
        }
    }
}

TEST(Render, WriteBackSkipsExtraColumnsAndRefusesSmallerRenderings)
{
    Bitmap page = coordinates(4, 2);
    // A rendering wider than the page (a margin rectangle wider than the page).
    const Bitmap wide = coordinates(6, 2);
    auto rendered = renderBitmap(wide.view(), {.alphaFirst = true, .rowAlignment = 1, .threads = 1});
    ASSERT_TRUE(stripAlphaInto(rendered->view(), page.view()));
    EXPECT_EQ(page.row(1)[3 * 3], 3);
    EXPECT_EQ(page.row(1)[3 * 3 + 1], 1);

    const Bitmap before = copyOf(page);
    const Bitmap narrow = coordinates(3, 2);
    auto small = renderBitmap(narrow.view());
    EXPECT_FALSE(stripAlphaInto(small->view(), page.view()));
    EXPECT_TRUE(sameBytes(page, before));
}

}  // namespace
}  // namespace tessaron::image::test

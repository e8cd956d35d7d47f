#include "TestImages.h"

#include <gtest/gtest.h>

namespace tessaron::image::test {
namespace {

Filter unsharp(double radius, double intensity)
{
    return makeFilter("CIUnsharpMask", {{"inputRadius", radius}, {"inputIntensity", intensity}});
}

TEST(UnsharpMask, MatchesTheDoubleReferenceWithinOne)
{
    struct Case {
        int width, height;
        PixelFormat format;
        double radius, intensity;
    };
    const Case cases[] = {
        {37, 23, PixelFormat::RGB8, 2.5, 0.5},
        {40, 31, PixelFormat::RGBA8, 1.0, 2.0},
        {29, 17, PixelFormat::ARGB8, 0.4, 1.0},
        {1, 19, PixelFormat::RGB8, 2.5, 0.5},    // one column: horizontal edges on both sides
        {23, 1, PixelFormat::RGB8, 2.5, 0.5},    // one row
        {4, 3, PixelFormat::RGB8, 5.0, 0.7},     // kernel far wider than the image
        {30, 20, PixelFormat::RGB8, 2.0, -0.5},  // negative intensity blurs
    };
    for (const Case& c : cases) {
        Bitmap image = randomBitmap(c.width, c.height, c.format, 13, 4);
        const Bitmap expected = referenceUnsharp(image, c.radius, c.intensity);
        const Filter f = unsharp(c.radius, c.intensity);
        ASSERT_TRUE(applyFilters(image.view(), std::span(&f, 1), 1));
        EXPECT_LE(maxSampleDifference(image, expected), 1) << c.width << "x" << c.height << " r " << c.radius;
    }
}

TEST(UnsharpMask, BandsSeeTheOriginalRowsOfTheirNeighbours)
{
    // Large enough for several bands; a multi-threaded run must equal the reference, which
    // fails if a band reads rows that a neighbouring band already sharpened.
    Bitmap image = randomBitmap(300, 480, PixelFormat::RGB8, 17);
    const Bitmap expected = referenceUnsharp(image, 3.0, 1.0);
    const Filter f = unsharp(3.0, 1.0);
    ASSERT_TRUE(applyFilters(image.view(), std::span(&f, 1), 4));
    EXPECT_LE(maxSampleDifference(image, expected), 1);
}

TEST(UnsharpMask, BandsThinnerThanTheKernelStillMatch)
{
    // Four bands of eight rows with a kernel reaching past the neighbouring band, and row
    // widths that leave a remainder after the eight-sample vector loops.
    for (PixelFormat format : {PixelFormat::RGB8, PixelFormat::ARGB8}) {
        Bitmap image = randomBitmap(4099, 32, format, 23);
        const Bitmap expected = referenceUnsharp(image, 4.0, 1.5);
        const Filter f = unsharp(4.0, 1.5);
        ASSERT_TRUE(applyFilters(image.view(), std::span(&f, 1), 4));
        EXPECT_LE(maxSampleDifference(image, expected), 1);
    }
}

TEST(UnsharpMask, ZeroIntensityIsBitExact)
{
    Bitmap image = randomBitmap(41, 13, PixelFormat::RGBA8, 5);
    const Bitmap before = copyOf(image);
    const Filter f = unsharp(2.5, 0.0);
    ASSERT_TRUE(applyFilters(image.view(), std::span(&f, 1), 2));
    EXPECT_TRUE(sameBytes(image, before));
}

TEST(UnsharpMask, FlatAreasAndAlphaStayAsTheyAre)
{
    auto flat = Bitmap::create(16, 16, PixelFormat::RGBA8);
    for (size_t i = 0; i < flat->byteCount(); ++i)
        flat->data()[i] = static_cast<uint8_t>(i % 4 == 3 ? (i * 7) & 0xff : 100 + i % 4);
    const Bitmap before = copyOf(*flat);
    const Filter f = unsharp(2.5, 3.0);
    ASSERT_TRUE(applyFilters(flat->view(), std::span(&f, 1), 1));
    EXPECT_TRUE(sameBytes(*flat, before));
}

TEST(UnsharpMask, SharpensAnEdge)
{
    auto edge = Bitmap::create(20, 4, PixelFormat::RGB8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 20; ++x)
            for (int c = 0; c < 3; ++c)
                edge->row(y)[3 * x + c] = x < 10 ? 60 : 180;
    const Filter f = unsharp(1.0, 1.0);
    ASSERT_TRUE(applyFilters(edge->view(), std::span(&f, 1), 1));
    EXPECT_LT(edge->row(0)[3 * 9], 60);    // dark side darker next to the edge
    EXPECT_GT(edge->row(0)[3 * 10], 180);  // light side lighter
    EXPECT_EQ(edge->row(0)[0], 60);        // far from the edge unchanged
    EXPECT_EQ(edge->row(3)[3 * 19], 180);
}

}  // namespace
}  // namespace tessaron::image::test

#include "TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tessaron::image::test {
namespace {

const PixelFormat kFormats[] = {PixelFormat::RGB8, PixelFormat::RGBA8, PixelFormat::ARGB8};

std::vector<Filter> pointFilterSamples()
{
    return {
        makeFilter("CIColorControls", {{"inputSaturation", 1.3}, {"inputBrightness", 0.05}, {"inputContrast", 1.1}}),
        makeFilter("CIColorControls", {{"inputSaturation", 0.7}, {"inputBrightness", -0.1}, {"inputContrast", 0.9}}),
        makeFilter("CIColorControls", {{"inputSaturation", 0.0}}),
        makeFilter("CIColorControls", {{"inputBrightness", 0.1}}),
        makeFilter("CIGammaAdjust", {{"inputPower", 0.7}}),
        makeFilter("CIGammaAdjust", {{"inputPower", 1.3}}),
        makeFilter("CIColorMatrix", {{"inputRVector", Vector4{1.1, 0, 0, 0}},
                                     {"inputGVector", Vector4{0, 0.9, 0, 0}},
                                     {"inputBVector", Vector4{0, 0, 1.3, 0}}}),
        makeFilter("CIColorMatrix", {{"inputRVector", Vector4{0.5, 0.3, 0.2, 0}},
                                     {"inputGVector", Vector4{-0.2, 1.1, 0.1, 0.05}},
                                     {"inputBiasVector", Vector4{0.02, -0.03, 0.1, 0}}}),
        // Huge coefficients leave the fixed-point path.
        makeFilter("CIColorMatrix", {{"inputRVector", Vector4{40, -39.5, 0, 0}}}),
    };
}

TEST(Filters, RegistryKnowsTheNamedFiltersAndTheirDefaults)
{
    EXPECT_FALSE(Filter::filterWithName("CIGaussianBlur").has_value());
    auto cc = Filter::filterWithName("CIColorControls");
    ASSERT_TRUE(cc);
    EXPECT_EQ(cc->numberForKey("inputContrast"), 1.0);
    EXPECT_TRUE(cc->isIdentity());
    EXPECT_FALSE(cc->setValueForKey(Vector4{1, 0, 0, 0}, "inputContrast"));
    EXPECT_FALSE(cc->setValueForKey(1.0, "inputPower"));
    EXPECT_TRUE(cc->setValueForKey(1.05, "inputContrast"));
    EXPECT_FALSE(cc->isIdentity());
    cc->setDefaults();
    EXPECT_TRUE(cc->isIdentity());

    auto usm = Filter::filterWithName("CIUnsharpMask");
    ASSERT_TRUE(usm);
    EXPECT_EQ(usm->numberForKey("inputRadius"), 2.5);
    EXPECT_EQ(usm->numberForKey("inputIntensity"), 0.5);
    EXPECT_FALSE(usm->isIdentity());
    EXPECT_EQ(describeValue(Vector4{1, 0, 0.5, 0}), "[1 0 0.5 0]");
    EXPECT_EQ(describeValue(1.05), "1.05");
    EXPECT_EQ(describeValue(AffineTransform::translation(12.5, -3)), "[1 0 0 1 12.5 -3]");
    EXPECT_EQ(describeValue(Color{1, 0.25, 0, 1}), "(1 0.25 0 1)");
}

TEST(Filters, ShortDescriptionListsEveryInputWithItsRecord)
{
    auto gamma = makeFilter("CIGammaAdjust", {{"inputPower", 0.7}});
    EXPECT_EQ(shortDescription(gamma),
              "\"Gamma Adjust\": {\n  Raises every colour component to a power.\n"
              "  Power = {\n    The exponent; 1 leaves the image unchanged.\n    current value = 0.7\n"
              "    default value = 1\n    minimum value = 0.25\n     maximum value = 4\n    identity value = 1\n  };\n"
              "};");
    // Values that do not exist are left out: a colour has no range and no identity.
    const std::string color = shortDescription(*Filter::filterWithName("CIConstantColorGenerator"));
    EXPECT_NE(color.find("  Color = {\n    The colour of every pixel.\n    current value = (1 0 0 1)\n"
                         "    default value = (1 0 0 1)\n  };\n};"),
              std::string::npos)
        << color;
    // Every input of a filter with several appears, in the filter's own order.
    const std::string matrix = shortDescription(*Filter::filterWithName("CIColorMatrix"));
    EXPECT_LT(matrix.find("  Red Vector = {"), matrix.find("  Bias Vector = {"));
    EXPECT_EQ(matrix.rfind("  };\n};"), matrix.size() - 7);
}

TEST(Filters, IdentityParametersLeaveEveryByteUnchanged)
{
    std::vector<Filter> identities;
    for (const char* name : {"CIColorControls", "CIGammaAdjust", "CIColorMatrix"})
        identities.push_back(*Filter::filterWithName(name));
    identities.push_back(makeFilter("CIUnsharpMask", {{"inputIntensity", 0.0}}));
    identities.push_back(makeFilter("CIUnsharpMask", {{"inputRadius", 0.0}}));
    for (PixelFormat format : kFormats) {
        Bitmap image = randomBitmap(61, 37, format, 7, 16);
        const Bitmap before = copyOf(image);
        ASSERT_TRUE(applyFilters(image.view(), identities, 2));
        EXPECT_TRUE(sameBytes(image, before));
    }
}

TEST(Filters, ParametersThatOnlyLookNeutralStillComputeExactly)
{
    // An explicit identity matrix written per vector runs through the table path.
    Filter m = makeFilter("CIColorMatrix", {{"inputRVector", Vector4{1, 0, 0, 0}}});
    ASSERT_TRUE(m.isIdentity());
    // Saturation 1 with brightness 0 and contrast 1 after a gamma: only the gamma acts.
    Filter g = makeFilter("CIGammaAdjust", {{"inputPower", 1.3}});
    Bitmap image = randomBitmap(40, 30, PixelFormat::RGB8, 3);
    const Bitmap expected = referencePoint(image, g);
    std::vector<Filter> chain{*Filter::filterWithName("CIColorControls"), g, m};
    ASSERT_TRUE(applyFilters(image.view(), chain, 1));
    EXPECT_EQ(maxSampleDifference(image, expected), 0);
}

TEST(Filters, PointFiltersMatchTheDoubleReferenceWithinOne)
{
    for (PixelFormat format : kFormats) {
        for (const Filter& f : pointFilterSamples()) {
            Bitmap image = randomBitmap(64, 48, format, 11);
            const Bitmap expected = referencePoint(image, f);
            ASSERT_TRUE(applyFilters(image.view(), std::span(&f, 1), 1));
            EXPECT_LE(maxSampleDifference(image, expected), 1) << f.name() << " format " << int(format);
        }
    }
}

TEST(Filters, AlphaTakesPartInTheColorMatrixOnlyWhenAsked)
{
    // Colour from alpha, and alpha from colour.
    Filter f = makeFilter("CIColorMatrix", {{"inputRVector", Vector4{0.5, 0, 0, 0.5}}, {"inputAVector", Vector4{0, 0, 0.25, 0.5}}});
    Bitmap rgba = randomBitmap(32, 16, PixelFormat::RGBA8, 5);
    const Bitmap expected = referencePoint(rgba, f);
    ASSERT_TRUE(applyFilters(rgba.view(), std::span(&f, 1), 1));
    EXPECT_LE(maxSampleDifference(rgba, expected), 1);

    // Without alpha every pixel counts as opaque.
    Bitmap rgb = randomBitmap(32, 16, PixelFormat::RGB8, 5);
    const Bitmap expectedRgb = referencePoint(rgb, f);
    ASSERT_TRUE(applyFilters(rgb.view(), std::span(&f, 1), 1));
    EXPECT_LE(maxSampleDifference(rgb, expectedRgb), 1);

    // Colour controls and gamma keep alpha as it is.
    Bitmap argb = randomBitmap(32, 16, PixelFormat::ARGB8, 9);
    const Bitmap original = copyOf(argb);
    std::vector<Filter> chain{pointFilterSamples()[0], pointFilterSamples()[4]};
    ASSERT_TRUE(applyFilters(argb.view(), chain, 1));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(argb.row(y)[4 * x], original.row(y)[4 * x]);
}

TEST(Filters, FusedChainEqualsOneFilterAfterAnother)
{
    const auto samples = pointFilterSamples();
    const std::vector<std::vector<Filter>> chains = {
        {samples[0], samples[4], samples[6]},  // the job's usual order
        {samples[1], samples[5], samples[7]},
        {samples[6], samples[4], samples[5], samples[3]},
        {samples[0], makeFilter("CIUnsharpMask", {{"inputRadius", 1.5}, {"inputIntensity", 0.8}}), samples[4]},
    };
    for (PixelFormat format : kFormats) {
        for (const auto& chain : chains) {
            Bitmap fused = randomBitmap(50, 40, format, 21, 8);
            Bitmap sequential = copyOf(fused);
            ASSERT_TRUE(applyFilters(fused.view(), chain, 2));
            for (const Filter& f : chain)
                ASSERT_TRUE(applyFilters(sequential.view(), std::span(&f, 1), 1));
            EXPECT_TRUE(sameBytes(fused, sequential)) << "format " << int(format);
        }
    }
}

TEST(Filters, ThreadCountDoesNotChangeTheResult)
{
    const auto samples = pointFilterSamples();
    std::vector<Filter> chain{samples[0], samples[4], samples[7],
                              makeFilter("CIUnsharpMask", {{"inputRadius", 2.5}, {"inputIntensity", 0.5}})};
    // Tall enough for several bands, with odd band boundaries.
    Bitmap one = randomBitmap(257, 531, PixelFormat::RGB8, 99, 4);
    Bitmap many = copyOf(one);
    ASSERT_TRUE(applyFilters(one.view(), chain, 1));
    ASSERT_TRUE(applyFilters(many.view(), chain, 5));
    EXPECT_TRUE(sameBytes(one, many));
}

TEST(Filters, RefusedChainsLeaveTheBitmapUntouched)
{
    Bitmap image = randomBitmap(20, 10, PixelFormat::RGB8, 1);
    const Bitmap before = copyOf(image);
    const Filter gamma = makeFilter("CIGammaAdjust", {{"inputPower", 1.2}});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<Filter>> refused = {
        {gamma, makeFilter("CIColorControls", {{"inputContrast", nan}})},
        {gamma, makeFilter("CIColorMatrix", {{"inputBiasVector", Vector4{0, std::numeric_limits<double>::infinity(), 0, 0}}})},
        {gamma, *Filter::filterWithName("CIAffineTransform")},
        {gamma, makeFilter("CIUnsharpMask", {{"inputRadius", 1000.0}})},
    };
    for (const auto& chain : refused) {
        EXPECT_FALSE(applyFilters(image.view(), chain, 1));
        EXPECT_TRUE(sameBytes(image, before));
    }
    BitmapView narrowStride = image.view();
    narrowStride.bytesPerRow = 59;
    EXPECT_FALSE(applyFilters(narrowStride, std::span(&gamma, 1), 1));
    EXPECT_TRUE(sameBytes(image, before));
}

TEST(Bitmaps, LayoutRefusesOverflowAndHugeSizes)
{
    EXPECT_FALSE(layoutFor(-1, 10, PixelFormat::RGB8));
    EXPECT_FALSE(layoutFor(kMaxDimension + 1, 1, PixelFormat::RGB8));
    EXPECT_FALSE(layoutFor(100000, 100000, PixelFormat::RGBA8));  // 40 GB
    EXPECT_FALSE(layoutFor(10, 10, PixelFormat::RGB8, 3));
    const auto l = layoutFor(5, 3, PixelFormat::RGB8, 16);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->bytesPerRow, 16u);
    EXPECT_EQ(l->byteCount, 48u);
    EXPECT_FALSE(Bitmap::create(70000, 70000, PixelFormat::ARGB8).has_value());
}

}  // namespace
}  // namespace tessaron::image::test

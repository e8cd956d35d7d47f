#include <gtest/gtest.h>

#include <cmath>

#include "ImageAdjustments.h"

using namespace tessaron;

TEST(Corrections, TypesClampAtTheirInclusiveLimits) {
    EXPECT_DOUBLE_EQ(correctedValueForType("10", 33), 1.1);
    EXPECT_DOUBLE_EQ(correctedValueForType("50", 33), 1.3);
    EXPECT_DOUBLE_EQ(correctedValueForType("-30", 33), 0.7);
    EXPECT_DOUBLE_EQ(correctedValueForType("-20", 35), -0.1);
    EXPECT_DOUBLE_EQ(correctedValueForType("5", 35), 0.05);
    EXPECT_DOUBLE_EQ(correctedValueForType("5", 34), 1.05);
    EXPECT_DOUBLE_EQ(correctedValueForType("30", 34), 1.1);
    EXPECT_DOUBLE_EQ(correctedValueForType("0", 33), 1);
    EXPECT_DOUBLE_EQ(correctedValueForType("2.75", 1), 2);
    EXPECT_DOUBLE_EQ(correctedValueForType("2.75", 0), 2.75);
    EXPECT_DOUBLE_EQ(correctedValueForType("", 0), 0);
}

TEST(FilterChain, OnlyChangingFiltersAreAddedInTheirFixedOrder) {
    JobOptionValues neutral{{"AdjustmentsEnabled", "True"}, {"Red", "0.00"}, {"Green", "0.00"}, {"Blue", "0.00"},
                            {"Gamma", "0.00"}, {"Saturation", "0.00"}, {"Brightness", "0.00"}, {"Contrast", "0.00"},
                            {"SharpnessEnabled", "False"}};
    auto plan = adjustmentPlanForOptions(neutral);
    EXPECT_TRUE(plan.adjustmentsEnabled);
    EXPECT_TRUE(plan.filters.empty());

    auto gamma = neutral;
    gamma["Gamma"] = "20";
    plan = adjustmentPlanForOptions(gamma);
    ASSERT_EQ(plan.filters.size(), 1u);
    EXPECT_EQ(plan.filters[0].kind, AdjustmentFilterKind::GammaAdjust);
    EXPECT_DOUBLE_EQ(plan.filters[0].power, 1.2);

    JobOptionValues all{{"Red", "10"}, {"Brightness", "5"}, {"Gamma", "-10"}, {"SharpnessRadius", "2"},
                        {"SharpnessIntensity", "0.50"}};  // both switches absent: on
    plan = adjustmentPlanForOptions(all);
    ASSERT_EQ(plan.filters.size(), 4u);
    EXPECT_EQ(plan.filters[0].kind, AdjustmentFilterKind::ColorControls);
    EXPECT_DOUBLE_EQ(plan.filters[0].brightness, 0.05);
    EXPECT_DOUBLE_EQ(plan.filters[0].saturation, 1);
    EXPECT_EQ(plan.filters[1].kind, AdjustmentFilterKind::GammaAdjust);
    EXPECT_DOUBLE_EQ(plan.filters[1].power, 0.9);
    EXPECT_EQ(plan.filters[2].kind, AdjustmentFilterKind::ColorMatrix);
    EXPECT_FLOAT_EQ(plan.filters[2].red, 1.1f);
    EXPECT_FLOAT_EQ(plan.filters[2].green, 1.0f);
    EXPECT_EQ(plan.filters[3].kind, AdjustmentFilterKind::UnsharpMask);
    EXPECT_DOUBLE_EQ(plan.filters[3].radius, 2);
    EXPECT_STREQ(filterNameFor(plan.filters[3].kind), "CIUnsharpMask");

    // Disabled adjustments add nothing whatever their values.
    all["AdjustmentsEnabled"] = "false";
    all["SharpnessEnabled"] = "FALSE";
    plan = adjustmentPlanForOptions(all);
    EXPECT_FALSE(plan.adjustmentsEnabled);
    EXPECT_TRUE(plan.filters.empty());
}

TEST(FilterChain, SharpeningNeedsRadiusAndIntensityAndIsBounded) {
    JobOptionValues o{{"AdjustmentsEnabled", "False"}, {"SharpnessRadius", "0"}, {"SharpnessIntensity", "1"}};
    auto plan = adjustmentPlanForOptions(o);
    EXPECT_TRUE(plan.sharpnessEnabled);
    EXPECT_TRUE(plan.filters.empty());
    o["SharpnessRadius"] = "1e9";
    plan = adjustmentPlanForOptions(o);
    ASSERT_EQ(plan.filters.size(), 1u);
    EXPECT_DOUBLE_EQ(plan.filters[0].radius, kMaxSharpnessRadius);
    EXPECT_DOUBLE_EQ(plan.filters[0].intensity, 1);
    // An intensity that would overflow a float sample is bounded like the radius.
    for (const char* huge : {"1e300", "-1e300", "1e999"}) {
        o["SharpnessIntensity"] = huge;
        plan = adjustmentPlanForOptions(o);
        ASSERT_EQ(plan.filters.size(), 1u) << huge;
        EXPECT_DOUBLE_EQ(std::abs(plan.filters[0].intensity), kMaxSharpnessIntensity) << huge;
    }
}

namespace {
RasterGeometry page(bool duplex, bool tumble) { return RasterGeometry{1200, 1800, 300, duplex, tumble}; }
}

TEST(BindingMargin, SidesAndTumbleGiveOddAndEvenRectangles) {
    const double m = 5 * 0.03937 * 300;  // 59.055 pixels
    JobOptionValues left{{"BindingMargin", "Left"}, {"BindingWidth", "5"}};
    auto rects = croppingRectsForBindingMargin(left, page(true, false));
    ASSERT_TRUE(rects.odd && rects.even);
    EXPECT_EQ(*rects.odd, (CroppingRect{m, 0, 1200 - m, 1800}));
    EXPECT_EQ(*rects.even, *rects.odd);

    rects = croppingRectsForBindingMargin(left, page(true, true));
    EXPECT_EQ(*rects.even, (CroppingRect{0, 0, 1200 - m, 1800}));
    EXPECT_EQ(croppingRectForPage(rects, 1, page(true, true)), *rects.odd);
    EXPECT_EQ(croppingRectForPage(rects, 2, page(true, true)), *rects.even);

    JobOptionValues top{{"BindingMargin", "Top"}, {"BindingWidth", "5"}};
    rects = croppingRectsForBindingMargin(top, page(true, true));
    EXPECT_EQ(*rects.odd, (CroppingRect{0, 0, 1200, 1800 - m}));
    EXPECT_EQ(*rects.even, (CroppingRect{0, m, 1200, 1800 - m}));

    JobOptionValues bottom{{"BindingMargin", "Bottom"}, {"BindingWidth", "5"}};
    rects = croppingRectsForBindingMargin(bottom, page(true, true));
    EXPECT_EQ(*rects.odd, (CroppingRect{0, m, 1200, 1800 - m}));
    EXPECT_EQ(*rects.even, (CroppingRect{0, 0, 1200, 1800 - m}));

    JobOptionValues right{{"BindingMargin", "Right"}, {"BindingWidth", "5"}};
    rects = croppingRectsForBindingMargin(right, page(true, true));
    EXPECT_EQ(*rects.odd, (CroppingRect{0, 0, 1200 - m, 1800}));
    EXPECT_EQ(*rects.even, (CroppingRect{m, 0, 1200 - m, 1800}));
}

TEST(BindingMargin, OneSidedNoneAndZeroWidthMeanNoMarginAndWrongCaseMeansWholePage) {
    const CroppingRect whole{0, 0, 1200, 1800};
    JobOptionValues left{{"BindingMargin", "Left"}, {"BindingWidth", "5"}};
    auto rects = croppingRectsForBindingMargin(left, page(false, false));
    EXPECT_FALSE(rects.odd);
    EXPECT_EQ(croppingRectForPage(rects, 1, page(false, false)), whole);

    EXPECT_FALSE(croppingRectsForBindingMargin({{"BindingMargin", "none"}, {"BindingWidth", "5"}}, page(true, false)).odd);
    EXPECT_FALSE(croppingRectsForBindingMargin({{"BindingMargin", "Left"}, {"BindingWidth", "0"}}, page(true, false)).odd);
    EXPECT_FALSE(croppingRectsForBindingMargin({{"BindingWidth", "5"}}, page(true, false)).odd);

    rects = croppingRectsForBindingMargin({{"BindingMargin", "left"}, {"BindingWidth", "5"}}, page(true, false));
    ASSERT_TRUE(rects.odd);
    EXPECT_EQ(*rects.odd, whole);

    // A margin wider than the page leaves an empty rectangle, never a negative one.
    rects = croppingRectsForBindingMargin({{"BindingMargin", "Left"}, {"BindingWidth", "5000"}}, page(true, false));
    EXPECT_EQ(rects.odd->width, 0);
    EXPECT_EQ(rects.odd->x, 1200);
    rects = croppingRectsForBindingMargin({{"BindingMargin", "Left"}, {"BindingWidth", "-5"}}, page(true, false));
    EXPECT_EQ(*rects.odd, whole);
}

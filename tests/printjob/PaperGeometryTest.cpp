// Paper matching against the catalogue, the print length of a page on a roll, frame names and
// the order reference.
#include <gtest/gtest.h>

#include <unicode/locid.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

#include "JobPreparationSupport.h"
#include "PaperLength.h"
#include "PaperMatching.h"

using namespace tessaron;
namespace ka = tessaron::keyedarchive;

namespace {

ka::Dictionary paper(int width, int resolution) {
    ka::Dictionary p;
    p["paperWidth"] = width;
    p["paperSurface"] = 1;
    p["paperResolution"] = resolution;
    return p;
}

}  // namespace

TEST(PaperMatching, ExactKeyElseSmallestKeySharingWidthAndSurface) {
    ka::Dictionary papers;
    papers["w1020s1r600"] = paper(1020, 6000);
    papers["w1020s1r400"] = paper(1020, 4000);
    papers["w1270s1r300"] = paper(1270, 3000);

    auto hit = matchRollPaper(papers, "w1270s1r300");
    ASSERT_TRUE(hit);
    EXPECT_EQ(paperU16(*hit, "paperWidth"), 1270);

    // No 300 dpi entry for 1020: the lowest resolution of that width and surface is taken.
    auto partial = matchRollPaper(papers, "w1020s1r300");
    ASSERT_TRUE(partial);
    EXPECT_EQ(paperU16(*partial, "paperResolution"), 4000);

    EXPECT_FALSE(matchRollPaper(papers, "w1520s1r300"));
    EXPECT_FALSE(matchRollPaper(papers, "A4-x300")) << "a key without r has no width part";
    EXPECT_FALSE(exactPaper(papers, "w1020s1r300"));
}

TEST(PaperMatching, PrefixIsPlainTextAndNonDictionaryEntriesNeverMatch) {
    ka::Dictionary papers;
    papers["w1020s10r300"] = paper(1020, 3000);
    papers["w1020s1r999"] = ka::Value("not a paper");
    // "w1020s1" is a text prefix of "w1020s10...": the surface-10 paper is found.
    auto m = matchRollPaper(papers, "w1020s1r300");
    ASSERT_TRUE(m);
    EXPECT_EQ(paperU16(*m, "paperResolution"), 3000);
    EXPECT_FALSE(exactPaper(papers, "w1020s1r999"));
}

TEST(PaperMatching, EntryValuesOutsideU16ReadAsZero) {
    ka::Dictionary p;
    p["paperLMax"] = 70000;
    p["paperLMin"] = -5;
    p["paperWidth"] = ka::Value("1020");
    p["paperSurface"] = 65535;
    EXPECT_EQ(paperU16(p, "paperLMax"), 0);
    EXPECT_EQ(paperU16(p, "paperLMin"), 0);
    EXPECT_EQ(paperU16(p, "paperWidth"), 0);
    EXPECT_EQ(paperU16(p, "paperSurface"), 65535);
    EXPECT_EQ(paperU16(p, "missing"), 0);
}

TEST(PrintLength, SideEqualToTheRollIsTheWidthElseTheCloserSide) {
    EXPECT_EQ(exactPaperWidth(1020), 1016);
    EXPECT_EQ(exactPaperWidth(6220), 6223);
    EXPECT_EQ(exactPaperWidth(1021), 0);
    EXPECT_EQ(overspillForOption(2), 40);
    EXPECT_EQ(overspillForOption(-0.07), -1);

    // 1016 + overspill 40 = 1056: portrait and landscape both print 1560 along the roll.
    auto portrait = printLengthForPage(299.34, 442.2, 1056);
    EXPECT_EQ(portrait.width, 1056);
    EXPECT_EQ(portrait.height, 1560);
    EXPECT_EQ(portrait.length, 1560);
    EXPECT_FALSE(portrait.mismatch);
    auto landscape = printLengthForPage(442.2, 299.34, 1056);
    EXPECT_EQ(landscape.length, 1560);
    EXPECT_FALSE(landscape.mismatch);

    auto closer = printLengthForPage(299.34, 442.2, 1016);
    EXPECT_TRUE(closer.mismatch);
    EXPECT_EQ(closer.length, 1560);
    // Equal distance: the page width becomes the length.
    auto tie = printLengthForPage(100, 201, 531);  // 353 and 709, both 178 away
    EXPECT_TRUE(tie.mismatch);
    EXPECT_EQ(tie.length, 353);
}

TEST(FrameName, TitleAndPageCutToSeventeenBytesOnWholeCharacters) {
    EXPECT_EQ(frameNameForTitle("Cat", 12), "Cat_12");
    EXPECT_EQ(frameNameForTitle("Holiday photos 2023", 3), "Holiday photos _3");
    const std::string umlauts = frameNameForTitle("\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4", 1);
    EXPECT_LE(umlauts.size(), 17u);
    EXPECT_EQ(umlauts.substr(umlauts.size() - 2), "_1");
    EXPECT_EQ(umlauts.size() % 2, 0u) << "no half character before the suffix";
    EXPECT_LE(frameNameForTitle("", 65535).size(), 17u);
}

TEST(OrderReference, NineteenDigitsOfTheTimeWithARandomLowByte) {
    const auto now = std::chrono::system_clock::now();
    const uint64_t a = newOrderReference(now, 0);
    const uint64_t b = newOrderReference(now, 0x1FF);
    EXPECT_GE(a, 1000000000000000000ull);
    EXPECT_EQ(b, a | 0xFF);
    EXPECT_EQ(newOrderReference(now, 0x100), a) << "only the low byte of the random value counts";
}

TEST(OrderReference, GregorianAsciiDigitsInAPersianJob) {
    // The job's language makes ICU's default locale Persian; the reference must not follow it.
    const icu::Locale saved = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("fa_IR"), status);
    setenv("LANG", "fa_IR.UTF-8", 1);
    const auto now = std::chrono::system_clock::now();
    const uint64_t reference = newOrderReference(now, 0);
    icu::Locale::setDefault(saved, status);
    setenv("LANG", "C", 1);

    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const std::string digits = std::to_string(reference);
    ASSERT_EQ(digits.size(), 19u) << digits;
    // The week-based year may be one ahead in the last days of December.
    const int year = std::stoi(digits.substr(0, 4));
    EXPECT_TRUE(year == local.tm_year + 1900 || year == local.tm_year + 1901) << digits;
    EXPECT_EQ(std::stoi(digits.substr(4, 2)), local.tm_mon + 1) << digits;
}

TEST(OrderReference, RandomByteComesFromARealSource) {
    // Two jobs in the same millisecond differ only by this byte: it must not repeat itself.
    std::set<long> seen;
    for (int i = 0; i < 64; ++i) {
        const long value = orderReferenceRandomByte();
        EXPECT_GE(value, 0);
        EXPECT_LE(value, 0xFF);
        seen.insert(value);
    }
    EXPECT_GT(seen.size(), 8u);
}

TEST(EngineFilters, EachPlanStepCarriesItsValues) {
    AdjustmentFilter matrix{AdjustmentFilterKind::ColorMatrix};
    matrix.red = 1.1f;
    matrix.green = 0.9f;
    auto m = engineFilterFor(matrix);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->name(), "CIColorMatrix");
    EXPECT_FLOAT_EQ(static_cast<float>(m->vectorForKey("inputRVector")[0]), 1.1f);
    EXPECT_FLOAT_EQ(static_cast<float>(m->vectorForKey("inputGVector")[1]), 0.9f);
    EXPECT_DOUBLE_EQ(m->vectorForKey("inputBVector")[2], 1);

    AdjustmentFilter controls{AdjustmentFilterKind::ColorControls};
    controls.saturation = 1.2;
    controls.brightness = -0.05;
    controls.contrast = 1.05;
    auto c = engineFilterFor(controls);
    ASSERT_TRUE(c);
    EXPECT_DOUBLE_EQ(c->numberForKey("inputSaturation"), 1.2);
    EXPECT_DOUBLE_EQ(c->numberForKey("inputBrightness"), -0.05);
    EXPECT_DOUBLE_EQ(c->numberForKey("inputContrast"), 1.05);

    AdjustmentFilter sharpen{AdjustmentFilterKind::UnsharpMask};
    sharpen.radius = 3;
    sharpen.intensity = 0.4;
    auto s = engineFilterFor(sharpen);
    ASSERT_TRUE(s);
    EXPECT_DOUBLE_EQ(s->numberForKey("inputRadius"), 3);
    EXPECT_DOUBLE_EQ(s->numberForKey("inputIntensity"), 0.4);
    EXPECT_FALSE(s->isIdentity());
}

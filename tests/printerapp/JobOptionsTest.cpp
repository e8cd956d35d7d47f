// Which paper prints a job's media, and the options the backend gets for it.
#include <gtest/gtest.h>

#include "JobPaper.h"
#include "LabReport.h"
#include "VendorOptions.h"

namespace tessaron::printerapptest {
namespace {

using namespace tessaron::printerapp;

LabReport lab() {
    return parseLabReport(
        "lab\tname=L\textended=1\n"
        "paper\tsource=1\tname=A4\twidth=2100\tsurface=1\tresolution=3000\tlmin=2970\tlmax=2970\n"
        "paper\twidth=1020\tsurface=1\tresolution=3000\tlmin=890\tlmax=1600\n"
        "paper\twidth=1020\tsurface=2\tresolution=6000\tlmin=890\tlmax=3050\n"
        "paper\twidth=1270\tsurface=1\tresolution=3000\tlmin=890\tlmax=2540\n");
}

TEST(JobPaper, ARollPrintsMediaWhoseSideIsItsWidthAndWhoseOtherSideFitsItsRange) {
    const auto portrait = paperForMedia(lab(), {10160, 15240, "", 300});
    ASSERT_TRUE(portrait);
    EXPECT_FALSE(portrait->sheet);
    EXPECT_EQ(portrait->width, 1020u);
    EXPECT_EQ(portrait->surface, 1u);
    const auto landscape = paperForMedia(lab(), {15240, 10160, "", 300});
    ASSERT_TRUE(landscape);
    EXPECT_EQ(landscape->width, 1020u);
    EXPECT_EQ(paperForMedia(lab(), {12700, 17780, "", 300})->width, 1270u);
    EXPECT_FALSE(paperForMedia(lab(), {10160, 40000, "", 300})) << "longer than every 102 mm roll";
    EXPECT_FALSE(paperForMedia(lab(), {9000, 15240, "", 300})) << "no roll that wide";
}

TEST(JobPaper, TheMediaTypeChoosesTheSurfaceAndTheResolutionIsPreferred) {
    const auto second = paperForMedia(lab(), {10160, 20320, "jrx-surface-2", 300});
    ASSERT_TRUE(second);
    EXPECT_EQ(second->surface, 2u) << "only surface 2 is that long, at another resolution";
    EXPECT_EQ(paperForMedia(lab(), {10160, 15240, "", 600})->surface, 2u) << "the roll at the job's resolution";
    EXPECT_FALSE(paperForMedia(lab(), {10160, 15240, "jrx-surface-3", 300}));
}

TEST(JobPaper, SheetsAreMatchedByNameSizeAndExactResolutionOnExtendedLabsOnly) {
    const auto sheet = paperForMedia(lab(), {21000, 29700, "", 300});
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->sheet);
    EXPECT_EQ(sheet->name, "A4");
    EXPECT_FALSE(paperForMedia(lab(), {21000, 29700, "", 600}));
    LabReport plain = lab();
    plain.extended = false;
    EXPECT_FALSE(paperForMedia(plain, {21000, 29700, "", 300}));
}

TEST(JobPaper, OptionsNameThePaperTurnTheDebugLogOffAndQuoteEveryValue) {
    const std::string roll = backendOptions(PaperChoice{false, "", 1020, 1}, {{"CVP1", "Say \"hi\" \\ bye\n"}});
    EXPECT_EQ(roll, "PaperFeed=\"Roll\" PaperWidth=\"1020\" PaperSurface=\"1\" DebugLog=\"False\" "
                    "BindingMargin=\"None\" CVP1=\"Say \\\"hi\\\" \\\\ bye \"");
    const std::string sheet = backendOptions(PaperChoice{true, "A4 Gloss", 2100, 1}, {});
    EXPECT_NE(sheet.find("PaperFeed=\"Sheet\" PaperName=\"A4 Gloss\""), std::string::npos);
}

std::string valueOf(const std::vector<std::pair<std::string, std::string>>& options, const std::string& key) {
    for (const auto& [name, value] : options)
        if (name == key) return value;
    return "(absent)";
}

TEST(VendorOptions, StandardsTurnEveryAdjustmentOff) {
    const auto options = backendVendorOptions({});
    EXPECT_EQ(valueOf(options, "AdjustmentsEnabled"), "False");
    EXPECT_EQ(valueOf(options, "SharpnessEnabled"), "False");
    EXPECT_EQ(valueOf(options, "EnableCVP1"), "False");
    EXPECT_EQ(valueOf(options, "EnableCVP2"), "False");
    EXPECT_EQ(valueOf(options, "Overspill"), "0.0");
    EXPECT_EQ(valueOf(options, "SharpnessRadius"), "2");
}

TEST(VendorOptions, ValuesAreClampedAndSwitchTheirFeatureOn) {
    const auto options = backendVendorOptions({{"jrx-red", "99"}, {"jrx-contrast", "-4"}, {"jrx-overspill", "15"},
                                               {"jrx-sharpness-intensity", "50"}, {"jrx-paper-tone", "x"},
                                               {"jrx-back-print-2", "Order %o"}});
    EXPECT_EQ(valueOf(options, "Red"), "30");
    EXPECT_EQ(valueOf(options, "Contrast"), "-4");
    EXPECT_EQ(valueOf(options, "AdjustmentsEnabled"), "True");
    EXPECT_EQ(valueOf(options, "Overspill"), "1.5");
    EXPECT_EQ(valueOf(options, "SharpnessIntensity"), "0.50");
    EXPECT_EQ(valueOf(options, "SharpnessEnabled"), "True");
    EXPECT_EQ(valueOf(options, "PaperTone"), "0") << "not a number: the standard";
    EXPECT_EQ(valueOf(options, "EnableCVP2"), "True");
    EXPECT_EQ(valueOf(options, "CVP2"), "Order %o");
}

TEST(VendorOptions, LongBackPrintTextIsCutOnACharacterBoundary) {
    std::string text(239, 'a');
    text += "\xC3\xA9\xC3\xA9";  // the first two-byte letter straddles the limit
    const std::string cut = valueOf(backendVendorOptions({{"jrx-back-print-1", text}}), "CVP1");
    EXPECT_EQ(cut, std::string(239, 'a'));
}

// What PAPPL writes for a text default (the ippAttributeString form) read back as written:
// quotes, backslashes and token brackets come back as they were typed.
TEST(VendorOptions, SavedTextComesBackAsTyped) {
    EXPECT_EQ(unescapedSavedText(R"(Printed by \"the lab\" \\ \[F] on \[d].\[MM])"), R"(Printed by "the lab" \ [F] on [d].[MM])");
    EXPECT_EQ(unescapedSavedText(R"(plain)"), "plain");
    EXPECT_EQ(unescapedSavedText(R"(ends in \)"), R"(ends in \)") << "a lone last backslash stays";
}

TEST(VendorOptions, PrinterAttributesCarrySupportedRangesAndKeptDefaults) {
    ipp_t* attrs = ippNew();
    addVendorAttributes(attrs, {{"jrx-red-default", "12"}, {"jrx-back-print-1-default", "Hello"}});
    int lower = 0, upper = 0;
    ipp_attribute_t* range = ippFindAttribute(attrs, "jrx-red-supported", IPP_TAG_RANGE);
    ASSERT_NE(range, nullptr);
    lower = ippGetRange(range, 0, &upper);
    EXPECT_EQ(lower, -30);
    EXPECT_EQ(upper, 30);
    EXPECT_EQ(ippGetInteger(ippFindAttribute(attrs, "jrx-red-default", IPP_TAG_INTEGER), 0), 12);
    EXPECT_EQ(ippGetInteger(ippFindAttribute(attrs, "jrx-green-default", IPP_TAG_INTEGER), 0), 0);
    EXPECT_STREQ(ippGetString(ippFindAttribute(attrs, "jrx-back-print-1-default", IPP_TAG_TEXT), 0, nullptr), "Hello");
    EXPECT_EQ(ippFindAttribute(attrs, "jrx-back-print-1-supported", IPP_TAG_ZERO), nullptr)
        << "free text stays text as a printer default";
    ippDelete(attrs);
}

}  // namespace
}  // namespace tessaron::printerapptest

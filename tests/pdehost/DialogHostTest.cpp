// The host the panels write through: PPD choices checked against the printer's constraints,
// other keys kept as print settings, the page format derived from size and orientation.
#include "DialogHost.h"
#include "HostFixtures.h"
#include "PageFormat.h"
#include "QueuePPD.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace tessaron;
using print::DialogHost;

namespace {

class HostTest : public pdetest::ConstrainedPPDTest {
protected:
    std::string marked(const char* key) const {
        ppd_choice_t* choice = ppdFindMarkedChoice(ppd_->ppd(), key);
        return choice ? choice->choice : "";
    }
};

TEST_F(HostTest, AConflictingChoiceIsRefusedAndThePreviousOneStaysMarked) {
    DialogHost host("lab", "vantrelps://127.0.0.45", ppd_->ppd(), {});
    std::vector<std::string> seen;
    host.setChangeObserver([&](const std::string& k, const std::string& v) { seen.push_back(k + "=" + v); });

    std::string why;
    EXPECT_FALSE(host.choose("PageSize", "Large", &why)) << "large paper is not fed from the roll";
    EXPECT_NE(why.find("InputSlot=Roll"), std::string::npos) << why;
    EXPECT_EQ(marked("PageSize"), "Small");
    EXPECT_FALSE(host.settings().contains("PageSize"));
    EXPECT_EQ(ppdConflicts(ppd_->ppd()), 0) << "the refused choice leaves no conflict behind";

    // Through the panels' entry the same choice is refused the same way.
    EXPECT_FALSE(host.willChangePPDOptionKeyValuePpdChoice("PageSize", "Large"));

    EXPECT_TRUE(host.choose("InputSlot", "Tray"));
    EXPECT_TRUE(host.choose("PageSize", "Large"));
    EXPECT_EQ(marked("PageSize"), "Large");
    EXPECT_FALSE(host.choose("InputSlot", "Roll"));
    EXPECT_EQ(marked("InputSlot"), "Tray");
    EXPECT_EQ(host.settings().value("PageSize"), "Large");
    EXPECT_EQ(seen, (std::vector<std::string>{"InputSlot=Tray", "PageSize=Large"})) << "refusals are not announced";
}

TEST_F(HostTest, ARefusedFirstChoiceLeavesThePPDsDefaultMarked) {
    // A PPD whose defaults were never marked: only the roll is.
    ppd_file_t* bare = ppdOpenFile(temp_.file("test.ppd").c_str());
    ASSERT_TRUE(bare);
    ppdMarkOption(bare, "InputSlot", "Roll");
    ASSERT_FALSE(ppdFindMarkedChoice(bare, "PageSize"));
    {
        DialogHost host("lab", "", bare, {});
        EXPECT_FALSE(host.choose("PageSize", "Large"));
        ppd_choice_t* size = ppdFindMarkedChoice(bare, "PageSize");
        ASSERT_TRUE(size);
        EXPECT_STREQ(size->choice, "Small");
        EXPECT_EQ(ppdConflicts(bare), 0);
    }
    ppdClose(bare);
}

TEST_F(HostTest, UnknownChoicesOfPPDOptionsAreRefusedOtherKeysBecomeSettings) {
    DialogHost host("lab", "", ppd_->ppd(), {});
    std::string why;
    EXPECT_FALSE(host.choose("PaperTone", "Velvet", &why));
    EXPECT_NE(why.find("Velvet"), std::string::npos);
    EXPECT_EQ(marked("PaperTone"), "Glossy");
    EXPECT_FALSE(host.choose("", "x", &why));

    EXPECT_TRUE(host.willChangePPDOptionKeyValuePpdChoice("CVPLine1", "Hello%20World"));
    EXPECT_EQ(host.printSettingsGetValue("CVPLine1"), QString("Hello%20World"));
    EXPECT_EQ(host.currentValue("CVPLine1"), "Hello%20World");
    EXPECT_EQ(host.printSettingsSetValue("TessaronSharpness", "3"), 0);
    EXPECT_NE(host.printSettingsSetValue("", "3"), 0);
    EXPECT_EQ(host.settings().value("TessaronSharpness"), "3");
    EXPECT_FALSE(host.printSettingsGetValue("NeverSet"));
}

TEST_F(HostTest, SavedDefaultsAreMarkedInThePPD) {
    print::PrintSettings saved;
    saved.set("PaperTone", "Luster");
    saved.set("InputSlot", "Tray");
    DialogHost host("lab", "", ppd_->ppd(), saved);
    EXPECT_EQ(marked("PaperTone"), "Luster");
    EXPECT_EQ(host.currentValue("InputSlot"), "Tray");
    EXPECT_TRUE(host.choose("PageSize", "Large")) << "the saved tray allows large paper";
}

TEST_F(HostTest, PaperRectFollowsTheMarkedSizeNotTheOrientation) {
    DialogHost host("lab", "", ppd_->ppd(), {});
    // Small: 288 x 432 points, imageable 10 20 278 422.
    auto portrait = host.unadjustedPaperRect();
    ASSERT_TRUE(portrait);
    EXPECT_DOUBLE_EQ(portrait->left, -10);
    EXPECT_DOUBLE_EQ(portrait->top, -10);
    EXPECT_DOUBLE_EQ(portrait->width(), 288);
    EXPECT_DOUBLE_EQ(portrait->height(), 432);
    EXPECT_EQ(host.orientation(), pde::PageOrientation::Portrait);

    ASSERT_TRUE(host.choose("orientation-requested", "4"));
    EXPECT_EQ(host.orientation(), pde::PageOrientation::Landscape);
    auto landscape = host.unadjustedPaperRect();
    ASSERT_TRUE(landscape);
    EXPECT_DOUBLE_EQ(landscape->width(), 288) << "the host gives the paper unturned; the panels turn it";
    EXPECT_DOUBLE_EQ(landscape->height(), 432);
    // Turned on request, as the page is seen.
    auto turned = print::unadjustedPaperRect(ppd_->ppd(), "", pde::PageOrientation::Landscape);
    ASSERT_TRUE(turned);
    EXPECT_DOUBLE_EQ(turned->width(), 432);
    EXPECT_DOUBLE_EQ(turned->left, -20) << "the bottom margin comes to the left";

    ASSERT_TRUE(host.choose("orientation-requested", "sideways"));
    EXPECT_FALSE(host.orientation()) << "an orientation that is no IPP value is none";
    EXPECT_FALSE(print::unadjustedPaperRect(ppd_->ppd(), "NoSuchSize", pde::PageOrientation::Portrait));
}

TEST(PageFormat, IPPOrientationValuesRoundTrip) {
    for (auto o : {pde::PageOrientation::Portrait, pde::PageOrientation::Landscape,
                   pde::PageOrientation::ReverseLandscape, pde::PageOrientation::ReversePortrait})
        EXPECT_EQ(print::orientationFromIPP(print::ippValueForOrientation(o)), o);
    EXPECT_EQ(print::orientationFromIPP(std::nullopt), pde::PageOrientation::Portrait);
    EXPECT_FALSE(print::orientationFromIPP(std::string("7")));
    EXPECT_FALSE(print::orientationFromIPP(std::string("4x")));
}

TEST(PrintSettings, KeepFirstSetOrderAndLeaveThePrintersAttributesOut) {
    print::PrintSettings settings;
    settings.set("b", "1");
    settings.set("a", "2");
    settings.set("b", "3");
    ASSERT_EQ(settings.entries().size(), 2u);
    EXPECT_EQ(settings.entries()[0], (std::pair<std::string, std::string>{"b", "3"}));
    settings.remove("b");
    EXPECT_FALSE(settings.contains("b"));

    cups_option_t* options = nullptr;
    int count = 0;
    for (auto [k, v] : {std::pair{"printer-info", "Lab"}, std::pair{"device-uri", "vantrelps://x"},
                        std::pair{"marker-levels", "1"}, std::pair{"copies", "2"}, std::pair{"PaperTone", "Matte"}})
        count = cupsAddOption(k, v, count, &options);
    const auto saved = print::PrintSettings::fromDestinationOptions(count, options);
    cupsFreeOptions(count, options);
    EXPECT_EQ(saved.entries().size(), 2u);
    EXPECT_EQ(saved.value("copies"), "2");
    EXPECT_EQ(saved.value("PaperTone"), "Matte");
}

}  // namespace

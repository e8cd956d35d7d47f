// The lab query's records read back, and what they become as printer capabilities.
#include <gtest/gtest.h>

#include "Capabilities.h"
#include "LabRegistry.h"
#include "LabReport.h"

namespace tessaron::printerapptest {
namespace {

using namespace tessaron::printerapp;

const char* kReport =
    "lab\tname=Lab 1\tapi=3.0.0.0\taddress=127.0.0.2\textended=1\tduplex=1\n"
    "status\tstate=1\tstate-name=JRX_STATE_PRINT\treceive=0\tprinting-unit=1\n"
    "error\tnumber=1\tmain=5000\tsub=1\tlevel=2\tmessage=Paper jam\n"
    "paper\tkey=A4-r300\tsource=1\tname=A4\twidth=2100\tsurface=1\tresolution=3000\tlmin=2970\tlmax=2970\tmagazine=3\tremain=200\ttone=0\n"
    "paper\tkey=w1020s1r300\tsource=0\tname=\twidth=1020\tsurface=1\tresolution=3000\tlmin=890\tlmax=3050\tmagazine=1\tremain=500\ttone=0\n"
    "paper\tkey=w1270s2r600\tsource=0\tname=\twidth=1270\tsurface=2\tresolution=6000\tlmin=890\tlmax=1270\tmagazine=2\tremain=0\ttone=0\n"
    "end\n";

TEST(LabReport, ReadsEveryRecordAndOnlyAFinishedReportIsComplete) {
    const LabReport report = parseLabReport(kReport);
    EXPECT_TRUE(report.reached);
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(report.name, "Lab 1");
    EXPECT_TRUE(report.extended);
    EXPECT_TRUE(report.duplex);
    EXPECT_EQ(report.state, 1);
    EXPECT_FALSE(report.ableReceive);
    ASSERT_EQ(report.errors.size(), 1u);
    EXPECT_EQ(report.errors[0].main, 5000u);
    EXPECT_EQ(report.errors[0].message, "Paper jam");
    ASSERT_EQ(report.papers.size(), 3u);
    EXPECT_TRUE(report.papers[0].sheet);
    EXPECT_EQ(report.papers[0].name, "A4");
    EXPECT_EQ(report.papers[1].dpi(), 300u);
    EXPECT_EQ(report.papers[1].remain, 500);

    const std::string cut = std::string(kReport).substr(0, std::string(kReport).find("paper"));
    EXPECT_FALSE(parseLabReport(cut).complete);
    EXPECT_FALSE(parseLabReport("offline\n").reached);
    EXPECT_FALSE(parseLabReport("end\n").complete) << "an end without the lab record";
}

TEST(LabReport, StrangeInputIsSkippedAndListsAreCapped) {
    std::string text = "lab\tname=X\tbogus\t=1\tapi\nstatus\tstate=zz\treceive=1\nnonsense line\n";
    for (int i = 0; i < 3000; ++i) text += "paper\twidth=-5\tresolution=99999999999999\n";
    for (int i = 0; i < 100; ++i) text += "error\tmain=1\n";
    const LabReport report = parseLabReport(text);
    EXPECT_EQ(report.name, "X");
    EXPECT_EQ(report.state, 0);
    EXPECT_EQ(report.papers.size(), kMaxReportPapers);
    EXPECT_EQ(report.papers[0].width, 0u) << "negative numbers read as nothing";
    EXPECT_EQ(report.papers[0].resolution, 0u) << "numbers beyond 32 bits read as nothing";
    EXPECT_EQ(report.errors.size(), kMaxReportErrors);
}

TEST(Capabilities, RollsGivePhotoSizesWithinTheirLengthRangeAndSheetsTheirOwnSize) {
    LabPaper roll;
    roll.width = 1020;  // printed 101.6 mm
    roll.lmin = 1400;
    roll.lmax = 1600;
    const std::vector<MediaSize> sizes = rollSizes(roll);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].name, "na_index-4x6_4x6in") << "6x4 comes first";
    EXPECT_EQ(sizes[0].width, 10160);
    EXPECT_EQ(sizes[1].length, 14220);
    EXPECT_EQ(sizes[1].name, "custom_jrx-1016x1422_101.6x142.2mm") << "a name part of letters, digits and '-'";
    roll.lmin = roll.lmax = 1000;
    ASSERT_EQ(rollSizes(roll).size(), 1u) << "no proportion fits: the shortest length";
    EXPECT_EQ(rollSizes(roll)[0].length, 10000);
    roll.width = 1111;
    EXPECT_TRUE(rollSizes(roll).empty()) << "a width the lab cannot print exactly";

    LabPaper sheet;
    sheet.sheet = true;
    sheet.width = 2100;
    sheet.lmin = 2970;
    EXPECT_EQ(sheetSize(sheet).name, "iso_a4_210x297mm");
}

TEST(Capabilities, MapTheWholeReport) {
    HighWaterMarks marks;
    const Capabilities caps = capabilitiesFor(parseLabReport(kReport), marks);
    EXPECT_TRUE(caps.duplex);
    EXPECT_EQ(caps.resolutions, (std::vector<int>{300, 600}));
    EXPECT_EQ(caps.types, (std::vector<std::string>{"jrx-surface-1", "jrx-surface-2"}));
    ASSERT_EQ(caps.ready.size(), 3u);
    EXPECT_EQ(caps.ready[0].source, "roll-1") << "magazines in order";
    EXPECT_EQ(caps.ready[0].size.name, "na_index-4x6_4x6in");
    EXPECT_EQ(caps.ready[2].source, "tray-3");
    ASSERT_EQ(caps.supplies.size(), 3u);
    EXPECT_EQ(caps.supplies[0].description, "102 mm surface 1 (magazine 1): 500 left");
    EXPECT_EQ(caps.supplies[1].level, 0) << "an empty magazine";
    EXPECT_EQ(caps.supplies[2].level, 100);
    EXPECT_EQ(caps.reasons, (std::vector<std::string>{"media-low", "other"}));
    EXPECT_EQ(caps.message, "Error 5000/1: Paper jam");
    EXPECT_EQ(caps.alerts, (std::vector<Alert>{{"critical", "Error 5000/1: Paper jam"}}));
}

// PAPPL answers printer-state-message itself, so what the lab needs a person for travels
// as alerts: every error the lab handed over (the newest ones, bounded), or its silence.
TEST(Capabilities, AlertsNameTheLabsErrorsNewestLastOrItsSilence) {
    HighWaterMarks marks;
    std::string report = "lab\tname=L\nstatus\tstate=0\treceive=1\n";
    for (int i = 1; i <= 12; ++i)
        report += "error\tnumber=" + std::to_string(i) + "\tmain=" + (i == 12 ? "4000" : "5000") + "\tsub=" +
                  std::to_string(i) + "\tlevel=1\tmessage=" + (i == 12 ? "" : "Jam") + "\n";
    const Capabilities caps = capabilitiesFor(parseLabReport(report + "end\n"), marks);
    ASSERT_EQ(caps.alerts.size(), kMaxAlerts);
    EXPECT_EQ(caps.alerts.front(), (Alert{"critical", "Error 5000/3: Jam"})) << "the oldest two are left out";
    EXPECT_EQ(caps.alerts.back(), (Alert{"warning", "Attention 4000/12"})) << "an attention is a warning";
    EXPECT_EQ(caps.message, "Attention 4000/12");

    const Capabilities silent = capabilitiesFor(parseLabReport("offline\n"), marks);
    EXPECT_EQ(silent.alerts, (std::vector<Alert>{{"critical", "The minilab does not answer."}}));
    EXPECT_TRUE(capabilitiesFor(parseLabReport("lab\tname=L\nstatus\tstate=0\treceive=1\nend\n"), marks).alerts.empty());
}

TEST(Capabilities, LevelsFollowTheMostEachMagazineHasHeld) {
    HighWaterMarks marks;
    LabReport report = parseLabReport("lab\tname=L\nstatus\tstate=0\treceive=1\n"
                                      "paper\twidth=1020\tresolution=3000\tlmin=890\tlmax=3050\tmagazine=1\tremain=400\n");
    EXPECT_EQ(capabilitiesFor(report, marks).supplies[0].level, 100);
    report.papers[0].remain = 100;
    const Capabilities lower = capabilitiesFor(report, marks);
    EXPECT_EQ(lower.supplies[0].level, 25);
    EXPECT_TRUE(lower.reasons.empty());
    EXPECT_EQ(lower.message, "Ready: L");
    report.papers[0].remain = 0;
    EXPECT_EQ(capabilitiesFor(report, marks).reasons, (std::vector<std::string>{"media-empty"}));
}

TEST(Capabilities, ALabThatDoesNotAnswerIsOfflineWithNothingToOffer) {
    HighWaterMarks marks;
    const Capabilities caps = capabilitiesFor(parseLabReport("offline\n"), marks);
    EXPECT_EQ(caps.reasons, (std::vector<std::string>{"offline"}));
    EXPECT_TRUE(caps.sizes.empty());
    EXPECT_TRUE(caps.supplies.empty());
}

// A lab's error list is emptied by every query, so an error's alert outlives the report
// that carried it, for a while.
TEST(LabRegistry, AnErrorsAlertStaysAfterTheNextReportForAWhile) {
    LabRegistry registry;
    const std::string uri = "vantrelps://127.0.0.2";
    const std::string quiet = "lab\tname=L\nstatus\tstate=0\treceive=1\nend\n";
    registry.store(uri, parseLabReport("lab\tname=L\nerror\tmain=5000\tsub=1\tmessage=Jam\nend\n"), 1000);
    const Capabilities later = registry.store(uri, parseLabReport(quiet), 1000 + LabRegistry::kAlertSeconds - 1);
    EXPECT_EQ(later.alerts, (std::vector<Alert>{{"critical", "Error 5000/1: Jam"}}));
    EXPECT_TRUE(later.reasons.empty()) << "the state is the lab's now";
    EXPECT_TRUE(registry.store(uri, parseLabReport(quiet), 1000 + LabRegistry::kAlertSeconds).alerts.empty());
    EXPECT_EQ(registry.store(uri, parseLabReport("offline\n"), 2000).alerts,
              (std::vector<Alert>{{"critical", "The minilab does not answer."}}));
}

TEST(Capabilities, MediaTypesNameSurfacesAndNothingElse) {
    EXPECT_EQ(surfaceForMediaType(mediaTypeForSurface(7)), 7);
    for (const char* other : {"", "stationery", "jrx-surface-", "jrx-surface-x1", "jrx-surface-123456"})
        EXPECT_EQ(surfaceForMediaType(other), -1) << other;
}

}  // namespace
}  // namespace tessaron::printerapptest

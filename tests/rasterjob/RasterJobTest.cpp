// Raster jobs that print: the order stored by the emulated minilab carries what was asked.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "RasterJobRun.h"

using namespace tessaron::rasterjobtest;

namespace {

const char* kQuiet = "DebugLog=False";

TEST(RasterJob, RollPaperOrderHoldsEveryPageAsAFrame) {
    Lab lab(labConfig());
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    job.copies = 2;
    job.options = std::string(kQuiet) + " PaperWidth=1020 PaperSurface=1 EnableCVP1=True CVP1=Taken\\ by\\ [U]";
    job.pages = {patternPage(1), patternPage(2), patternPage(3)};
    const auto r = lab.print(job);
    ASSERT_EQ(r.exitStatus, 0) << r.err << lab.log();

    EXPECT_NE(r.err.find("starting up (v1089)"), std::string::npos);
    EXPECT_NE(r.err.find("PAGE: 3 1"), std::string::npos);
    ASSERT_TRUE(lab.hasFile("order-1/order.json")) << lab.log();
    const auto order = lab.json("order-1/order.json");
    EXPECT_EQ(order["frameNum"], 3);
    EXPECT_EQ(order["record"]["FrameNum"], 3);
    EXPECT_EQ(order["record"]["Copies"], 2);
    EXPECT_EQ(order["record"]["PaperWidth"], 1020);
    EXPECT_EQ(order["record"]["Surface"], 1);
    // 6 inches of page along a 101.6 mm roll.
    EXPECT_EQ(order["record"]["PaperLengthC"], 1560);
    EXPECT_EQ(order["record"]["PaperLengthMin"], 1270);
    EXPECT_EQ(order["record"]["PaperLengthMax"], 3050);
    EXPECT_EQ(order["record"]["BothSidePrint"], 0);
    EXPECT_EQ(order["record"]["OrderNo"], 0xFFFF);
    EXPECT_EQ(order["client"]["User"], "alice");
    EXPECT_EQ(order["client"]["Port"], 5002);

    for (int k = 1; k <= 3; ++k) {
        const std::string base = "order-1/frame-" + std::to_string(k);
        const auto frame = lab.json(base + ".json");
        EXPECT_EQ(frame["record"]["FrameNo"], k);
        EXPECT_EQ(frame["record"]["FrameNum"], 3);
        EXPECT_EQ(frame["record"]["Copies"], 2);
        EXPECT_EQ(frame["record"]["FrameName"], "Cat_" + std::to_string(k));
        EXPECT_EQ(frame["record"]["PaperLength"], 1560);
        EXPECT_EQ(frame["record"]["RefId"], order["record"]["RefId"]);
        EXPECT_EQ(frame["backPrint"]["CVP1"], "Taken by alice");
        EXPECT_EQ(frame["backPrint"]["CVP2"], "");
        // The frame is the page as rendered, rows the right way up.
        const auto picture = decodeBMP(lab.file(base + ".bmp"));
        ASSERT_TRUE(picture) << base;
        ASSERT_EQ(picture->width, 120);
        ASSERT_EQ(picture->height, 180);
        for (auto [x, y] : {std::pair{0, 0}, {119, 0}, {7, 150}, {119, 179}}) {
            uint8_t want[3];
            patternPixel(static_cast<uint32_t>(k), static_cast<uint32_t>(x), static_cast<uint32_t>(y), want);
            const uint8_t* got = picture->at(x, y);
            EXPECT_EQ((std::vector<int>{got[0], got[1], got[2]}), (std::vector<int>{want[0], want[1], want[2]}))
                << base << " at " << x << "," << y;
        }
    }
}

TEST(RasterJob, LandscapePagePartialResolutionMatchAndTitleCut) {
    // Only a 600 dpi paper is registered: the 300 dpi job takes it through the width and surface.
    Lab lab(R"({"name": "Lab 21", "apiVersion": "3.0.0.0", "extraFeatures": true, "papers": [
        {"number": 1, "width": 1020, "surface": 1, "resolution": 6000, "lmin": 1270, "lmax": 3050}]})");
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    job.title = "Holiday photos 2023";
    job.options = std::string(kQuiet) + " PaperWidth=1020 PaperSurface=1 Overspill=2 PaperTone=3 "
                                        "AP_ColorMatchingMode=AP_ApplicationColorMatching";
    Page page = patternPage(1);
    std::swap(page.pointsWide, page.pointsHigh);
    job.pages = {page};
    const auto r = lab.print(job);
    ASSERT_EQ(r.exitStatus, 0) << r.err << lab.log();
    EXPECT_NE(r.err.find("found a partial match with paper w1020s1r600"), std::string::npos) << r.err;
    const auto order = lab.json("order-1/order.json");
    // 1560 along the roll less 4 mm of overspill.
    EXPECT_EQ(order["record"]["PaperLengthC"], 1520);
    EXPECT_EQ(order["record"]["PaperTone"], 3);
    EXPECT_EQ(order["record"]["Resolut"], 6000);
    EXPECT_EQ(order["record"]["CmsFlg"], 1);
    EXPECT_EQ(lab.json("order-1/frame-1.json")["record"]["FrameName"], "Holiday photos _1");
}

TEST(RasterJob, SheetPaperTwoSidedOnADuplexLab) {
    Lab lab(labConfig());
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    job.options = std::string(kQuiet) + " PaperFeed=Sheet PaperName=A4";
    Page a = patternPage(1), b = patternPage(2);
    a.duplex = b.duplex = true;
    job.pages = {a, b};
    const auto r = lab.print(job);
    ASSERT_EQ(r.exitStatus, 0) << r.err << lab.log();
    const auto record = lab.json("order-1/order.json")["record"];
    EXPECT_EQ(record["BothSidePrint"], 1);
    EXPECT_EQ(record["PaperName"], "A4");
    // Sheets are cut at the paper's own length whatever the page says.
    EXPECT_EQ(record["PaperLengthC"], 2970);
    EXPECT_EQ(lab.json("order-1/frame-2.json")["record"]["PaperName"], "A4");
}

TEST(RasterJob, AdjustmentsChangeTheFramesAndPageCountComesFromTheStream) {
    Lab lab(labConfig());
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    // Brightness +10 % lifts every channel; the stream is counted, nothing names the count.
    job.options = std::string(kQuiet) + " AdjustmentsEnabled=True Brightness=10 SharpnessEnabled=False";
    Page flat;
    flat.pixel = [](uint32_t, uint32_t, uint8_t* rgb) { rgb[0] = 100, rgb[1] = 50, rgb[2] = 20; };
    job.pages = {flat, flat, flat, flat};
    const auto r = lab.print(job);
    ASSERT_EQ(r.exitStatus, 0) << r.err << lab.log();
    EXPECT_EQ(lab.json("order-1/order.json")["record"]["FrameNum"], 4);
    const auto picture = decodeBMP(lab.file("order-1/frame-4.bmp"));
    ASSERT_TRUE(picture);
    const uint8_t* px = picture->at(60, 90);
    // c + 0.1 on the 0...1 scale is c + 25.5 samples.
    EXPECT_NEAR(px[0], 126, 1);
    EXPECT_NEAR(px[1], 76, 1);
    EXPECT_NEAR(px[2], 46, 1);
}

}  // namespace

namespace {

TEST(RasterJob, APersianJobStartedAsTheSchedulerDoesNamesItselfAndDatesItsOrdersInAsciiDigits) {
    Lab lab(labConfig());
    ASSERT_TRUE(lab.ready()) << lab.log();
    const std::string year = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return std::to_string(local.tm_year + 1900);
    }();

    std::vector<uint64_t> references;
    // argv[0] is the device URI; once with a trailing slash, which leaves no file part at all.
    for (const std::string& argv0 : {std::string("vantrelps://") + kLabAddress, std::string("vantrelps://") + kLabAddress + "/"}) {
        SCOPED_TRACE(argv0);
        JobSpec job;
        job.argv0 = argv0;
        job.env = {{"LANG", "fa_IR.UTF-8"}};
        job.options = std::string(kQuiet) + " PaperWidth=1020 EnableCVP1=True CVP1=[YYYY]";
        const auto r = lab.print(job);
        ASSERT_EQ(r.exitStatus, 0) << r.err << lab.log();
        EXPECT_NE(r.err.find("DEBUG: vantrelps: starting up (v1089)"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("finished with this job (vantrelps v1089)"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("DEBUG: : "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("DEBUG: 127."), std::string::npos) << r.err;
    }
    std::vector<std::string> orders;
    for (const std::string& name : lab.orders())
        if (name.rfind("order-", 0) == 0) orders.push_back(name);
    ASSERT_EQ(orders.size(), 2u) << lab.log();
    for (const std::string& order : orders) {
        const auto record = lab.json(order + "/order.json")["record"];
        const uint64_t reference = record["RefId"].get<uint64_t>();
        const std::string digits = std::to_string(reference);
        EXPECT_EQ(digits.size(), 19u) << digits;
        // The week-based year may run one ahead in the last days of December.
        EXPECT_TRUE(digits.rfind(year, 0) == 0 || digits.rfind(std::to_string(std::stoi(year) + 1), 0) == 0)
            << digits;
        references.push_back(reference);
        const auto frame = lab.json(order + "/frame-1.json");
        const std::string printed = frame["backPrint"]["CVP1"].get<std::string>();
        EXPECT_TRUE(printed == year || printed == std::to_string(std::stoi(year) + 1)) << printed;
    }
    EXPECT_NE(references[0], references[1]);
}

}  // namespace

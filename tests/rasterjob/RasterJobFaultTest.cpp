// Raster jobs that must not print: each ends with its message and status, and the minilab
// never publishes an order with frames missing.
#include <gtest/gtest.h>

#include <csignal>

#include "RasterJobRun.h"

using namespace tessaron::rasterjobtest;

namespace {

const char* kQuiet = "DebugLog=False ";

// A quiet job of `count` pattern pages.
JobSpec patternJob(uint32_t count) {
    JobSpec job;
    job.options = kQuiet;
    job.pages.clear();
    for (uint32_t seed = 1; seed <= count; ++seed) job.pages.push_back(patternPage(seed));
    return job;
}

bool noOrderPublished(const Lab& lab) {
    for (const auto& name : lab.orders())
        if (name.rfind("order-", 0) == 0 && !lab.hasFile(name + "/cancelled.json")) return false;
    return true;
}

TEST(RasterJobRefusal, PaperAndSizeProblemsEndTheJobBeforeAnyFrame) {
    Lab lab(labConfig());
    ASSERT_TRUE(lab.ready()) << lab.log();
    struct Case {
        const char* options;
        double high;  // page height in points
        const char* message;
    } cases[] = {
        {"PaperWidth=1520 PaperSurface=1", 442.2, "Selected paper width, surface, and resolution are not available!"},
        {"PaperWidth=1020 PaperSurface=1", 1000.0, "Paper length exceeds maximum length: 30.50 cm"},
        {"PaperWidth=1020 PaperSurface=1", 300.0, "Paper length too short; minimum length: 12.70 cm"},
        {"PaperFeed=Sheet PaperName=Letter", 442.2, "Selected paper width, surface, and resolution are not available!"},
    };
    for (const Case& c : cases) {
        JobSpec job;
        job.options = std::string(kQuiet) + c.options;
        job.pages[0].pointsHigh = c.high;
        const auto r = lab.print(job);
        EXPECT_EQ(r.exitStatus, 1) << c.options;
        EXPECT_NE(r.err.find(std::string("ERROR: ") + c.message), std::string::npos) << c.options << "\n" << r.err;
        EXPECT_NE(r.err.find("STATE: +general-error"), std::string::npos) << c.options;
    }
    EXPECT_TRUE(lab.orders().empty());
    EXPECT_EQ(lab.log().find("TRANSMIT_FILE"), std::string::npos) << lab.log();
}

TEST(RasterJobRefusal, SheetPaperNeedsAnExtendedLab) {
    Lab lab(labConfig("", true));
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    job.options = std::string(kQuiet) + "PaperFeed=Sheet PaperName=A4";
    const auto r = lab.print(job);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("This printer does not support sheet paper!"), std::string::npos) << r.err;
}

TEST(RasterJobRefusal, RefusedSpoolIsAFailureAndLeavesNoOrder) {
    Lab lab(labConfig(R"(, "faults": {"spoolRefused": 17})"));
    ASSERT_TRUE(lab.ready()) << lab.log();
    const auto r = lab.print(patternJob(2));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("Failed to spool order (ERROR 17: JRX_INVALID_PAPER)"), std::string::npos) << r.err;
    // The error list is not read after a failed job.
    EXPECT_EQ(r.err.find("getting (any) server error messages"), std::string::npos);
    EXPECT_TRUE(noOrderPublished(lab));
}

TEST(RasterJobTransfer, AFrameWithoutReplyIsSentOnceMoreWithItsNumber) {
    // The connection of the second image is reset before its image is read.
    Lab lab(labConfig(R"(, "faults": {"resetAtFrame": 2})"));
    ASSERT_TRUE(lab.ready()) << lab.log();
    const auto r = lab.print(patternJob(3));
    ASSERT_EQ(r.exitStatus, 0) << r.err << lab.log();
    ASSERT_TRUE(lab.hasFile("order-1/order.json")) << lab.log();
    EXPECT_EQ(lab.json("order-1/order.json")["frameNum"], 3);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(lab.json("order-1/frame-" + std::to_string(k) + ".json")["record"]["FrameNo"], k);
        const auto picture = decodeBMP(lab.file("order-1/frame-" + std::to_string(k) + ".bmp"));
        ASSERT_TRUE(picture);
        uint8_t want[3];
        patternPixel(static_cast<uint32_t>(k), 5, 5, want);
        EXPECT_EQ(picture->at(5, 5)[0], want[0]) << k;
    }
}

TEST(RasterJobTransfer, FramesThatNeverArriveEndTheJobWithoutAnOrder) {
    // Every transfer of the second image and its repeat get no reply.
    Lab lab(labConfig(R"(, "faults": {"closeWithoutReply": [{"command": 34, "at": 2}, {"command": 34, "at": 3}]})"));
    ASSERT_TRUE(lab.ready()) << lab.log();
    const auto r = lab.print(patternJob(3));
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find("ERROR: image 2 could not be sent"), std::string::npos) << r.err;
    // This lab takes its orders first: the order is cancelled, never left waiting for a frame.
    EXPECT_TRUE(lab.hasFile("order-1/cancelled.json")) << lab.log();
    EXPECT_TRUE(noOrderPublished(lab));
}

TEST(RasterJobTransfer, APlainLabNeverGetsTheSpoolOfAnOrderWithAFrameMissing) {
    // An older lab: frames first, the order after the last one.
    Lab lab(R"({"name": "Old Lab", "apiVersion": "2.1.0.0", "extraFeatures": false, "duplex": false,
        "papers": [{"width": 1020, "surface": 1, "resolution": 3000, "lmin": 1270, "lmax": 3050}],
        "faults": {"closeWithoutReply": [{"command": 2, "at": 2}, {"command": 2, "at": 3}]}})");
    ASSERT_TRUE(lab.ready()) << lab.log();
    const auto r = lab.print(patternJob(3));
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find("ERROR: image 2 could not be sent"), std::string::npos) << r.err;
    EXPECT_EQ(lab.log().find("0x03 JRX_SPOOL_ORDER"), std::string::npos) << lab.log();
    EXPECT_TRUE(noOrderPublished(lab));
}

TEST(RasterJobTransfer, APageWithoutAnImageFailsTheJobInsteadOfAShortOrder) {
    Lab lab(labConfig());
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job = patternJob(3);
    job.pages[1].gray = true;
    const auto r = lab.print(job);
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find("ERROR: Only 2 of 3 images could be sent"), std::string::npos) << r.err;
    EXPECT_TRUE(lab.hasFile("order-1/cancelled.json")) << lab.log();
    EXPECT_TRUE(noOrderPublished(lab));
}

TEST(RasterJobErrors, ErrorsAfterTheJobAreDrainedAndRecoveryAnnounced) {
    Lab lab(labConfig(R"(, "errors": [{"number": 1, "mainError": 5000, "subError": 2, "level": 1, "message": "Paper jam"},
                                      {"number": 2, "mainError": 1200, "subError": 1, "level": 0, "message": "Low paper"}])"));
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    job.options = kQuiet;
    const auto r = lab.print(job);
    ASSERT_EQ(r.exitStatus, 0) << r.err << lab.log();
    EXPECT_NE(r.err.find("Printer reported Error 5000"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Printer reported Attention 1200"), std::string::npos) << r.err;
    // Read until the list is empty, then the job is well again.
    EXPECT_NE(r.err.find("STATE: -"), std::string::npos);
    EXPECT_TRUE(lab.hasFile("order-1/order.json"));
}

TEST(RasterJobFastPrint, OrderComesFirstAndASignalCancelsIt) {
    Lab lab(labConfig("", true));
    ASSERT_TRUE(lab.ready()) << lab.log();
    {
        const auto r = lab.print(patternJob(2));
        ASSERT_EQ(r.exitStatus, 0) << r.err << lab.log();
        const auto order = lab.json("order-1/order.json");
        EXPECT_EQ(order["command"], "JRX_SPOOL_FAST_PRINT_ORDER");
        EXPECT_EQ(order["fastPrint"], true);
        EXPECT_EQ(lab.json("order-1/frame-2.json")["command"], "JRX_SEND_FAST_PRINT_DATA");
        // Spooled once, before the first frame.
        const std::string log = lab.log();
        const std::string spool = "0x13 JRX_SPOOL_FAST_PRINT_ORDER";
        EXPECT_LT(log.find(spool), log.find("0x12 JRX_SEND_FAST_PRINT_DATA")) << log;
        EXPECT_EQ(log.find(spool, log.find(spool) + 1), std::string::npos) << log;
    }
    // A big job stopped part way: the order on the minilab is cancelled, never left incomplete.
    JobSpec big;
    big.options = kQuiet;
    big.pages.clear();
    for (uint32_t k = 1; k <= 40; ++k) {
        Page p = patternPage(k);
        p.width = 600;
        p.height = 900;
        big.pages.push_back(p);
    }
    auto running = lab.start(big);
    ASSERT_TRUE(running->waitForError("PAGE: 2 1", std::chrono::seconds(60))) << running->stderrSoFar();
    running->signal(SIGTERM);
    const auto r = running->wait(std::chrono::seconds(60));
    EXPECT_NE(r.exitStatus, 0);
    ASSERT_TRUE(lab.process().waitForLog("CANCEL", std::chrono::seconds(10))) << lab.log();
    ASSERT_TRUE(lab.hasFile("order-2/cancelled.json")) << lab.log();
    EXPECT_EQ(lab.json("order-2/cancelled.json")["frameNum"], 40) << r.err.substr(0, 6000);
}

}  // namespace

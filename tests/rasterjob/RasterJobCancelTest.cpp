// Raster jobs stopped or starved by the lab: a cancel while the lab holds a frame reply or has
// stopped reading must end the backend within seconds and still cancel the fast-print order on
// a fresh connection; a lab that trickles its replies fails the job instead of holding it; and
// a raster stream cut inside a page header never prints as a shorter order.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include "RasterJobRun.h"

using namespace tessaron::rasterjobtest;
using namespace std::chrono_literals;

namespace {

const char* kQuiet = "DebugLog=False ";
constexpr auto kCancelBound = 5s;  // well inside the scheduler's 30 s before it kills the job

bool noOrderPublished(const Lab& lab) {
    for (const auto& name : lab.orders())
        if (name.rfind("order-", 0) == 0 && !lab.hasFile(name + "/cancelled.json")) return false;
    return true;
}

std::vector<Page> pagesOf(uint32_t count, uint32_t width, uint32_t height) {
    std::vector<Page> pages;
    for (uint32_t k = 1; k <= count; ++k) {
        Page p = patternPage(k);
        p.width = width;
        p.height = height;
        pages.push_back(p);
    }
    return pages;
}

// Starts a fast-print job, waits until the lab shows `stuck`, sends SIGTERM as the scheduler
// does, and checks the exit time and the cancelled order.
void cancelWhileStuck(const std::string& faults, const std::string& stuck, std::vector<Page> pages) {
    Lab lab(labConfig(faults, true));
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    job.options = kQuiet;
    job.pages = std::move(pages);
    auto running = lab.start(job);
    ASSERT_TRUE(lab.process().waitForLog(stuck, 60s)) << lab.log() << running->stderrSoFar();
    const auto signalled = std::chrono::steady_clock::now();
    running->signal(SIGTERM);
    const auto r = running->wait(40s);
    const auto took = std::chrono::steady_clock::now() - signalled;
    EXPECT_LT(took, kCancelBound) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n"
                                  << r.err.substr(0, 8000);
    EXPECT_NE(r.exitStatus, 0);
    ASSERT_TRUE(lab.process().waitForLog("CANCEL", 5s)) << lab.log();
    EXPECT_TRUE(lab.hasFile("order-1/cancelled.json")) << lab.log();
    EXPECT_TRUE(noOrderPublished(lab));
}

TEST(RasterJobCancel, AHeldFrameReplyDoesNotDelayTheCancel) {
    // The second frame's reply would come after a minute.
    cancelWhileStuck(R"(, "faults": {"replyDelay": {"ms": 60000, "command": 18, "at": 2}})", "delay 60000 ms",
                     pagesOf(3, 120, 180));
}

TEST(RasterJobCancel, ALabThatStopsReadingStillGetsItsOrderCancelled) {
    // Frames of several megabytes: the backend blocks in its send once the lab stops reading.
    cancelWhileStuck(R"(, "faults": {"stopReading": {"command": 18, "at": 2}})", "no longer reading",
                     pagesOf(3, 1200, 1800));
}

TEST(RasterJobReplies, ATricklingFrameReplyFailsTheJobWithinItsDeadline) {
    // 48 reply bytes, one every 200 ms: each attempt gives up after a few seconds, the frame is
    // sent once more, and the job ends with a clear error instead of printing at a crawl.
    Lab lab(labConfig(R"(, "faults": {"trickle": {"ms": 200, "command": 34}})"));
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    job.options = kQuiet;
    job.pages = pagesOf(2, 120, 180);
    const auto begin = std::chrono::steady_clock::now();
    const auto r = lab.print(job);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 30s);
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find("ERROR: image 1 could not be sent"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("did not complete in time"), std::string::npos) << r.err;
    EXPECT_TRUE(noOrderPublished(lab));
}

TEST(RasterJobInput, AStreamCutInsideAPageHeaderFailsTheJob) {
    for (const bool fastPrint : {false, true}) {
        Lab lab(labConfig("", fastPrint));
        ASSERT_TRUE(lab.ready()) << lab.log();
        JobSpec job;
        job.options = kQuiet;
        job.pages = pagesOf(3, 120, 180);
        job.cutInsideLastHeader = true;
        const auto r = lab.print(job);
        EXPECT_EQ(r.exitStatus, 1) << "fast print " << fastPrint << "\n" << r.err;
        EXPECT_NE(r.err.find("ends inside the header of page 3"), std::string::npos) << r.err;
        EXPECT_TRUE(noOrderPublished(lab)) << "fast print " << fastPrint << "\n" << lab.log();
    }
    // The same stream whole prints all three pages: the check does not touch a clean end.
    Lab lab(labConfig(""));
    ASSERT_TRUE(lab.ready()) << lab.log();
    JobSpec job;
    job.options = kQuiet;
    job.pages = pagesOf(3, 120, 180);
    const auto r = lab.print(job);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(lab.json("order-1/order.json")["frameNum"], 3);
}

}  // namespace

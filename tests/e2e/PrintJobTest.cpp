// Photographs printed through the scheduler: CUPS turns PNG and JPEG into raster for
// rastertovantrel, the backend sends one order to the emulator. Cancelling a fast-print
// job cancels its order in the lab.
#include <cups/ipp.h>

#include <filesystem>
#include <thread>

#include "SampleImages.h"
#include "SchedulerLab.h"

namespace tessaron::test {
namespace {

namespace fs = std::filesystem;

nlohmann::json readJson(const std::string& path) {
    return nlohmann::json::parse(readFile(path), nullptr, false);
}

class PrintJobTest : public SchedulerLabTest {
protected:
    void SetUp() override {
        SchedulerLabTest::SetUp();
        if (HasFatalFailure()) return;
        startLabWithRefreshedQueue();
    }

    // Prints `file` and waits for the job's end.
    std::optional<CupsJob> print(const std::string& file, const std::map<std::string, std::string>& options) {
        std::string message;
        std::optional<int> id = cups_->submit(kQueue, options, file, &message);
        EXPECT_TRUE(id.has_value()) << message;
        const auto deadline = std::chrono::steady_clock::now() + kJobTimeout;
        std::optional<CupsJob> job;
        while (std::chrono::steady_clock::now() < deadline) {
            job = cups_->job(kQueue, id.value_or(0));
            if (job && job->state >= IPP_JSTATE_CANCELED) return job;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << "job " << id.value_or(0) << " did not end";
        return job.value_or(CupsJob{});
    }

    std::map<std::string, std::string> photoOptions() const {
        // Values with spaces are quoted, as lp users write them.
        return {{"PageSize", "4x6.Fullbleed"},     {"PaperWidth", "1020"},       {"PaperSurface", "1"},
                {"copies", "2"},                {"TwoSided", "LongEdge"},     {"EnableCVP1", "True"},
                {"CVP1", "'Holiday 2026'"},       {"AdjustmentsEnabled", "True"}, {"Brightness", "10"},
                {"SharpnessEnabled", "True"},   {"SharpnessRadius", "2"},     {"SharpnessIntensity", "50"}};
    }
};

TEST_F(PrintJobTest, PngAndJpegWithOptionsEachGiveOneOrderWithItsFrame) {
    TempDir dir;
    ASSERT_TRUE(writeSamplePng(dir.file("photo.png"), 1200, 1800));
    ASSERT_TRUE(writeSampleJpeg(dir.file("photo.jpg"), 1200, 1800));

    for (const std::string& name : {std::string("photo.png"), std::string("photo.jpg")}) {
        SCOPED_TRACE(name);
        const size_t before = orders().size();
        const std::optional<CupsJob> end = print(dir.file(name), photoOptions());
        ASSERT_TRUE(end.has_value());
        ASSERT_EQ(end->state, IPP_JSTATE_COMPLETED) << end->stateName();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (orders().size() == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::vector<std::string> now = orders();
        ASSERT_EQ(now.size(), before + 1);

        const nlohmann::json order = readJson(now.back() + "/order.json");
        ASSERT_FALSE(order.is_discarded());
        // CUPS may make the two copies pages of their own or leave them to the order.
        std::vector<nlohmann::json> frames;
        for (const auto& entry : fs::directory_iterator(now.back())) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("frame-", 0) == 0 && file.ends_with(".json")) frames.push_back(readJson(entry.path()));
        }
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(order.value("frameNum", 0), static_cast<int>(frames.size())) << order.dump();
        int copies = 0;
        for (const nlohmann::json& frame : frames) {
            ASSERT_FALSE(frame.is_discarded());
            copies += frame["record"].value("Copies", 0);
            EXPECT_EQ(frame["record"].value("PaperWidth", 0), 1020) << frame.dump();
            EXPECT_EQ(frame["backPrint"].value("CVP1", ""), "Holiday 2026") << frame.dump();
            EXPECT_GT(frame["image"].value("bytes", 0), 0) << frame.dump();
        }
        EXPECT_EQ(copies, 2);
        // Two-sided printing is for sheet paper only; a roll job ignores it.
        EXPECT_EQ(order["record"].value("BothSidePrint", -1), 0) << order.dump();
    }
}

TEST_F(PrintJobTest, TwoSidedSheetPaperAsksTheLabForBothSides) {
    TempDir dir;
    ASSERT_TRUE(writeSampleJpeg(dir.file("photo.jpg"), 600, 900));
    const std::optional<CupsJob> end =
        print(dir.file("photo.jpg"), {{"PageSize", "4x6.Fullbleed"}, {"PaperFeed", "Sheet"}, {"PaperName", "A4"},
                                      {"TwoSided", "LongEdge"}});
    ASSERT_TRUE(end.has_value());
    ASSERT_EQ(end->state, IPP_JSTATE_COMPLETED) << end->stateName();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (orders().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(orders().size(), 1u);
    const nlohmann::json order = readJson(orders().front() + "/order.json");
    ASSERT_FALSE(order.is_discarded());
    EXPECT_EQ(order["record"].value("BothSidePrint", -1), 1) << order.dump();
    EXPECT_EQ(order["record"].value("PaperName", ""), "A4") << order.dump();
    EXPECT_EQ(order["paper"].value("source", ""), "sheet") << order.dump();
}

TEST_F(PrintJobTest, CancellingAFastPrintJobCancelsItsOrderInTheLab) {
    // A lab that takes its time over every image, so that the job is still sending.
    nlohmann::json slow = exampleLab();
    slow["faults"]["replyDelay"] =
        nlohmann::json::array({{{"ms", 4000}, {"command", 0x02}}, {{"ms", 4000}, {"command", 0x22}}});
    startLab(slow);
    TempDir dir;
    ASSERT_TRUE(writeSamplePng(dir.file("photo.png"), 1200, 1800));
    std::string message;
    std::optional<int> id = cups_->submit(kQueue, {{"PageSize", "4x6.Fullbleed"}}, dir.file("photo.png"), &message);
    ASSERT_TRUE(id.has_value()) << message;
    auto running = cups_->waitForJobState(kQueue, *id, {IPP_JSTATE_PROCESSING}, kJobTimeout);
    ASSERT_TRUE(running.has_value());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!lab_->waitForLog("spooled by", std::chrono::milliseconds(200))) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the order was never spooled";
    }
    ProcessResult cancel = cups_->tool("cancel", {std::to_string(*id)});
    ASSERT_EQ(cancel.exitStatus, 0) << cancel.err;
    EXPECT_EQ(waitForEnd(*id).state, IPP_JSTATE_CANCELED);
    EXPECT_TRUE(lab_->waitForLog("cancelled after", std::chrono::seconds(30))) << lab_->log();
    // The lab keeps the order marked as cancelled, never as a complete one.
    const std::vector<std::string> stored = orders();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(fs::exists(stored.front() + "/cancelled.json"));
}

TEST_F(PrintJobTest, CancelWhileTheLabHoldsAFrameReplyCancelsTheOrderWithinSeconds) {
    // The lab holds the image's reply for a minute, past the scheduler's 30 s before it kills
    // the backend: the order must still be cancelled, and soon.
    nlohmann::json holding = exampleLab();
    holding["faults"]["replyDelay"] =
        nlohmann::json::array({{{"ms", 60000}, {"command", 0x02}}, {{"ms", 60000}, {"command", 0x22}}});
    startLab(holding);
    TempDir dir;
    ASSERT_TRUE(writeSamplePng(dir.file("photo.png"), 1200, 1800));
    std::string message;
    std::optional<int> id = cups_->submit(kQueue, {{"PageSize", "4x6.Fullbleed"}}, dir.file("photo.png"), &message);
    ASSERT_TRUE(id.has_value()) << message;
    ASSERT_TRUE(lab_->waitForLog("delay 60000 ms", kJobTimeout)) << lab_->log() << diagnostics();
    const auto cancelled = std::chrono::steady_clock::now();
    ProcessResult cancel = cups_->tool("cancel", {std::to_string(*id)});
    ASSERT_EQ(cancel.exitStatus, 0) << cancel.err;
    ASSERT_TRUE(lab_->waitForLog("cancelled after", std::chrono::seconds(40))) << lab_->log();
    const auto took = std::chrono::steady_clock::now() - cancelled;
    EXPECT_LT(took, std::chrono::seconds(6)) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_EQ(waitForEnd(*id).state, IPP_JSTATE_CANCELED);
    const std::vector<std::string> stored = orders();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(fs::exists(stored.front() + "/cancelled.json"));
}

}  // namespace
}  // namespace tessaron::test

// A print server under load and a scheduler printing through another one: every job of
// several busy queues ends as exactly one complete order in its lab, and a client scheduler's
// job reaches the lab with the options it was given.
#include <gtest/gtest.h>

#include <cups/ipp.h>

#include <filesystem>
#include <iostream>
#include <thread>

#include "NetLock.h"
#include "PrintServerLoad.h"
#include "SampleImages.h"
#include "SchedulerLab.h"
#include "TempDir.h"

namespace tessaron::test {
namespace {

TEST(PrintServerLoadTest, EightBusyQueuesDeliverEveryOrderCompleteOnceAndCompleteEveryJob) {
    NetLock lock;
    TempDir work;
    PrintServerLoad load;
    load.minilab = TESSARON_MINILAB_PATH;
    load.ppd = TESSARON_PPD_PATH;
    load.programs = {VANTRELPS_PATH, RASTERTOVANTREL_PATH, COMMANDTOVANTREL_PATH, 0};
    load.workDir = work.path();
    const LoadOutcome outcome = runPrintServerLoad(load);
    ASSERT_EQ(outcome.failure, "");
    EXPECT_EQ(outcome.jobsSubmitted, 40);
    EXPECT_EQ(outcome.jobsCompleted, 40);
    std::string problems;
    for (const std::string& p : outcome.problems) problems += p + "\n";
    EXPECT_TRUE(outcome.problems.empty()) << problems;
    EXPECT_GT(outcome.largestBackendPeakKiB, 0) << "no backend was seen running";
    std::cout << "40 jobs of 5 pages on 8 queues in " << outcome.seconds << " s (" << outcome.jobsPerMinute()
              << " jobs/min); largest backend peak " << outcome.largestBackendPeakKiB << " KiB\n";
}

nlohmann::json readJson(const std::string& path) { return nlohmann::json::parse(readFile(path), nullptr, false); }

class SchedulerClientTest : public SchedulerLabTest {};

TEST_F(SchedulerClientTest, AClientSchedulerPrintsThroughTheSharedLabQueueAndItsOptionsReachTheOrder) {
    startLabWithRefreshedQueue();
    ProcessResult shared = cups_->tool("lpadmin", {"-p", kQueue, "-o", "printer-is-shared=true"});
    ASSERT_EQ(shared.exitStatus, 0) << shared.err;
    // The lab's own machine is the print server; this scheduler forwards to it on loopback.
    CupsSandbox client(CupsSandboxPrograms{VANTRELPS_PATH, RASTERTOVANTREL_PATH, COMMANDTOVANTREL_PATH, 0});
    ASSERT_TRUE(client.ready()) << client.failure();
    const std::string server = "ipp://127.0.0.1:" + std::to_string(kSchedulerPort) + "/printers/" + kQueue;
    ProcessResult added = client.tool("lpadmin", {"-p", "remote", "-E", "-v", server});
    ASSERT_EQ(added.exitStatus, 0) << added.err << added.out;

    TempDir dir;
    ASSERT_TRUE(writeSampleJpeg(dir.file("photo.jpg"), 600, 900));
    std::string message;
    const std::optional<int> id = client.submit(
        "remote",
        {{"PageSize", "4x6.Fullbleed"}, {"PaperWidth", "1020"}, {"PaperSurface", "1"}, {"copies", "2"},
         {"EnableCVP1", "True"}, {"CVP1", "'From the front desk'"}, {"AdjustmentsEnabled", "True"},
         {"Brightness", "10"}, {"SharpnessEnabled", "True"}, {"SharpnessRadius", "2"}},
        dir.file("photo.jpg"), &message);
    ASSERT_TRUE(id.has_value()) << message;
    const std::optional<CupsJob> end =
        client.waitForJobState("remote", *id, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_CANCELED}, kJobTimeout);
    ASSERT_TRUE(end.has_value());
    ASSERT_EQ(end->state, IPP_JSTATE_COMPLETED) << end->stateName() << "\n---- client log ----\n" << client.errorLog();

    // The client's job ends once the server has it; the server's own job then prints it.
    const auto deadline = std::chrono::steady_clock::now() + kJobTimeout;
    while (orders().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(orders().size(), 1u);
    const std::string order = orders().front();
    const nlohmann::json record = readJson(order + "/order.json");
    ASSERT_FALSE(record.is_discarded());
    const int frames = record.value("frameNum", 0);
    ASSERT_GE(frames, 1);
    int copies = 0;
    for (int k = 1; k <= frames; ++k) {
        const nlohmann::json frame = readJson(order + "/frame-" + std::to_string(k) + ".json");
        ASSERT_FALSE(frame.is_discarded()) << k;
        copies += frame["record"].value("Copies", 0);
        EXPECT_EQ(frame["record"].value("PaperWidth", 0), 1020) << frame.dump();
        EXPECT_EQ(frame["backPrint"].value("CVP1", ""), "From the front desk") << frame.dump();
    }
    EXPECT_EQ(copies, 2);
}

}  // namespace
}  // namespace tessaron::test

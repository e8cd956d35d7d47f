// The job context in a real process: creation exits, page counting ahead of printing, and
// real signals reaching the delegate's cleanup.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>

#include "JobFiles.h"
#include "Process.h"
#include "TempDir.h"

using namespace std::chrono_literals;
using tessaron::jobcontexttest::RasterPage;
using tessaron::test::ProcessSpec;
using tessaron::test::TempDir;

namespace {

ProcessSpec probe(const TempDir& dir, std::vector<std::string> args) {
    ProcessSpec spec;
    spec.program = JOBPROBE_PATH;
    spec.argv0 = "rastertovantrel";
    spec.args = std::move(args);
    spec.env = {{"DEVICE_URI", "vantrelps://127.0.0.50/"}, {"TMPDIR", dir.path()}};
    spec.unsetEnv = {"PPD", "PRINTER"};
    spec.timeout = 30000ms;
    return spec;
}

std::vector<std::string> jobArgs(const std::string& options = "") { return {"42", "alice", "Holiday", "1", options}; }

const std::vector<RasterPage> kThreePages = {{5, 4, 1}, {3, 2, 9}, {6, 1, 200}};

// The probe on the same job twice: piped to its standard input, and named as its file.
struct RunBothWays {
    tessaron::test::ProcessResult piped, named;
};

RunBothWays runBothWays(const TempDir& dir, const std::vector<RasterPage>& pages) {
    tessaron::jobcontexttest::writeRaster(dir.file("job.ras"), pages);
    ProcessSpec piped = probe(dir, jobArgs());
    piped.stdinFile = dir.file("job.ras");
    auto args = jobArgs();
    args.push_back(dir.file("job.ras"));
    return {tessaron::test::runProcess(piped), tessaron::test::runProcess(probe(dir, args))};
}

std::string pageLines(const std::vector<RasterPage>& pages) {
    std::string lines;
    for (size_t i = 0; i < pages.size(); ++i) {
        unsigned sum = 0;
        for (uint8_t b : tessaron::jobcontexttest::pagePixels(pages[i])) sum = sum * 31 + b;
        lines += "page " + std::to_string(i + 1) + " " + std::to_string(pages[i].width) + "x" +
                 std::to_string(pages[i].height) + " sum " + std::to_string(sum) + "\n";
    }
    return lines;
}

}  // namespace

TEST(JobCreation, WrongArgumentCountsPrintUsageAndExitOne) {
    TempDir dir;
    for (std::vector<std::string> args : {std::vector<std::string>{}, {"1", "2", "3"}, {"1", "2", "3", "4", "5", "6", "7"}}) {
        auto result = tessaron::test::runProcess(probe(dir, args));
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_NE(result.err.find("USAGE: rastertovantrel job-id user title copies options [file]\n"), std::string::npos)
            << result.err;
        EXPECT_EQ(result.out, "");
    }
}

TEST(JobCreation, VersionArgumentPrintsTheVersionLine) {
    TempDir dir;
    auto result = tessaron::test::runProcess(probe(dir, {"--version"}));
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "rastertovantrel 3.0.0 (v1078)\n");
}

TEST(JobCreation, MissingSpoolFileIsAnErrorWithExitOne) {
    TempDir dir;
    auto args = jobArgs();
    args.push_back(dir.file("missing.ras"));
    auto result = tessaron::test::runProcess(probe(dir, args));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("ERROR: Error opening the print spool file!\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("missing.ras"), std::string::npos);
}

TEST(JobCreation, NoDeviceURIOrNoRasterEndsTheJob) {
    TempDir dir;
    tessaron::jobcontexttest::writeRaster(dir.file("job.ras"), kThreePages);
    auto args = jobArgs();
    args.push_back(dir.file("job.ras"));
    ProcessSpec noURI = probe(dir, args);
    noURI.env.erase("DEVICE_URI");
    noURI.unsetEnv.push_back("DEVICE_URI");
    auto result = tessaron::test::runProcess(noURI);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("failed to set a device URI"), std::string::npos) << result.err;

    ProcessSpec notRaster = probe(dir, jobArgs());
    notRaster.stdinData = "this is not a raster stream";
    result = tessaron::test::runProcess(notRaster);
    EXPECT_EQ(result.out, "no job\n");
    EXPECT_NE(result.err.find("Failed to initialize CUPS"), std::string::npos) << result.err;
}

TEST(PageCount, PagesAreCountedAheadFromAPipeAndAFile) {
    TempDir dir;
    const RunBothWays runs = runBothWays(dir, kThreePages);
    const std::string expected = "pages expected 3 copies 1\n" + pageLines(kThreePages) + "pages output 3\n";

    const tessaron::test::ProcessResult& result = runs.piped;
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, expected);
    const size_t first = result.err.find("PAGE: 1 1\n"), second = result.err.find("PAGE: 2 1\n"),
                 third = result.err.find("PAGE: 3 1\n");
    ASSERT_NE(third, std::string::npos) << result.err;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    // Every page was expected: no complaint about a missing header after the last one.
    EXPECT_EQ(result.err.find("Failed to read the CUPS header!"), std::string::npos);

    EXPECT_EQ(runs.named.exitStatus, 0) << runs.named.err;
    EXPECT_EQ(runs.named.out, expected);
}

TEST(PageCount, PagesLargerThanOneCountingReadAreCountedWholeAndPrintedUnchanged) {
    // Rows so wide that a read takes two of them, and pages of a thousand rows, neither a
    // multiple of what one read takes.
    const std::vector<RasterPage> pages = {{120000, 7, 3}, {700, 1000, 5}, {2, 1, 11}};
    TempDir dir;
    const RunBothWays runs = runBothWays(dir, pages);
    const std::string expected = "pages expected 3 copies 1\n" + pageLines(pages) + "pages output 3\n";
    EXPECT_EQ(runs.piped.exitStatus, 0) << runs.piped.err;
    EXPECT_EQ(runs.piped.out, expected);
    EXPECT_EQ(runs.named.out, expected);
}

TEST(PageCount, TheCopyOfAPipedJobLeavesNoFileBehind) {
    TempDir dir;
    TempDir tmp;
    tessaron::jobcontexttest::writeRaster(dir.file("job.ras"), kThreePages);
    ProcessSpec piped = probe(tmp, jobArgs());
    piped.stdinData = tessaron::test::readFile(dir.file("job.ras"));
    auto result = tessaron::test::runProcess(piped);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

TEST(PageCount, TheDialogsCountIsKeptWhenGiven) {
    TempDir dir;
    tessaron::jobcontexttest::writeRaster(dir.file("job.ras"), kThreePages);
    auto args = jobArgs(
        "com.apple.print.PrintSettings.PMTotalSidesImaged..n.=7 com.apple.print.PrintSettings.PMTotalBeginPages..n.=7");
    args.push_back(dir.file("job.ras"));
    auto result = tessaron::test::runProcess(probe(dir, args));
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find("pages expected 7 "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("pages output 3\n"), std::string::npos);
    // Fewer pages than announced: logged, and the loop ends normally.
    EXPECT_NE(result.err.find("Failed to read the CUPS header!"), std::string::npos) << result.err;
}

TEST(RasterInput, AnAbsurdPageIsRefusedBeforeAnyAllocation) {
    TempDir dir;
    cups_page_header2_t huge = tessaron::jobcontexttest::rgbHeader({60000, 60000, 0});
    tessaron::jobcontexttest::writeRasterHeaders(dir.file("job.ras"), {huge});
    auto args = jobArgs();
    args.push_back(dir.file("job.ras"));
    auto result = tessaron::test::runProcess(probe(dir, args));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("ERROR: Refusing raster page 1: a page of 180000 x 60000 bytes is larger than 1 GiB"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.out.find("page 1"), std::string::npos);
}

TEST(RasterInput, ATruncatedPageFailsTheJob) {
    TempDir dir;
    tessaron::jobcontexttest::writeRaster(dir.file("full.ras"), {{40, 30, 3}});
    std::string bytes = tessaron::test::readFile(dir.file("full.ras"));
    dir.write("cut.ras", bytes.substr(0, bytes.size() - 100));
    auto args = jobArgs("com.apple.print.PrintSettings.PMTotalSidesImaged..n.=1");
    args.push_back(dir.file("cut.ras"));
    auto result = tessaron::test::runProcess(probe(dir, args));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("Failed to read image data!"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("page 1"), std::string::npos);
}

// ---- Signals ---------------------------------------------------------------------------

namespace {
std::unique_ptr<tessaron::test::BackgroundProcess> waitingProbe(const TempDir& dir, const char* cleanup) {
    tessaron::jobcontexttest::writeRaster(dir.file("job.ras"), {{4, 4, 0}});
    auto args = jobArgs();
    args.push_back(dir.file("job.ras"));
    ProcessSpec spec = probe(dir, args);
    spec.env["JOBPROBE_WAIT"] = "1";
    if (cleanup) spec.env["JOBPROBE_CLEANUP"] = cleanup;
    auto process = std::make_unique<tessaron::test::BackgroundProcess>(spec);
    EXPECT_TRUE(process->waitForOutput("ready\n", 20000ms));
    return process;
}
}  // namespace

TEST(Signals, TerminateReachesTheDelegatesCleanupAndExitsWithTheSignalNumber) {
    TempDir dir;
    auto process = waitingProbe(dir, "return");
    process->signal(SIGTERM);
    auto result = process->wait(20000ms);
    EXPECT_EQ(result.exitStatus, SIGTERM) << result.err;
    EXPECT_NE(result.out.find("cleanup 15\n"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("caught signal 15 software TERMination signal from kill"), std::string::npos) << result.err;
}

TEST(Signals, WithoutACleanupDelegateTheHintIsLogged) {
    TempDir dir;
    auto process = waitingProbe(dir, nullptr);
    process->signal(SIGHUP);
    auto result = process->wait(20000ms);
    EXPECT_EQ(result.exitStatus, SIGHUP);
    EXPECT_NE(result.err.find("caught signal 1 HangUP"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("-[PLUMEX_CUPSPrintJob cleanupOnSignal:]"), std::string::npos);
}

TEST(Signals, ASecondSignalDuringTheCleanupEndsTheProcessAtOnce) {
    TempDir dir;
    auto process = waitingProbe(dir, "block");
    process->signal(SIGTERM);
    ASSERT_TRUE(process->waitForOutput("cleanup 15\n", 20000ms));
    process->signal(SIGINT);
    auto result = process->wait(20000ms);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, SIGINT);
    EXPECT_NE(result.err.find("caught signal 2 (INTerrupt) while processing signal 15"), std::string::npos) << result.err;
}

TEST(Signals, UserSignalOneIsLoggedAndTheJobGoesOn) {
    TempDir dir;
    auto process = waitingProbe(dir, "return");
    process->signal(SIGUSR1);
    ASSERT_TRUE(process->waitForError("caught signal 10 USeR 1", 20000ms));
    EXPECT_TRUE(process->running());
    EXPECT_EQ(process->stdoutSoFar().find("cleanup"), std::string::npos);
    // The first signal stays the one being handled: a later one ends the job at once.
    process->signal(SIGTERM);
    auto result = process->wait(20000ms);
    EXPECT_EQ(result.exitStatus, SIGTERM);
    EXPECT_NE(result.err.find("caught signal 15 (software TERMination signal from kill) while processing signal 10"),
              std::string::npos)
        << result.err;
}

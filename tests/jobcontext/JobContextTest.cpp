// The job context's queries and messages: options against the PPD, printer-state reasons,
// "PPD:" lines, temporary files and raster header checks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <functional>

#include "JobContextFixture.h"

using tessaron::jobcontexttest::JobContext;

namespace {

std::string captured(const std::function<void()>& work) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    work();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(JobContext, CreationKeepsTheArgumentsAndTheDeviceURI) {
    JobContext c({{4, 3, 0}, {4, 3, 1}}, "Collate=False");
    ASSERT_NE(c.job, nullptr);
    EXPECT_EQ(PLUMEX_CUPSPrintJob::sharedObject(), c.job.get());
    EXPECT_EQ(c.job->jobID(), "42");
    EXPECT_EQ(c.job->jobCupsUser(), "alice");
    EXPECT_EQ(c.job->jobCupsTitle(), "Holiday");
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsTitle(), "Holiday");
    EXPECT_EQ(c.job->copies(), 2u);
    EXPECT_EQ(c.job->pages(), 2u);
    EXPECT_EQ(c.job->deviceName(), "127.0.0.50");
    EXPECT_EQ(c.job->cupsWidth(), 4u);
    EXPECT_EQ(c.job->cupsXResolution(), 300u);
    ASSERT_NE(c.job->ppd(), nullptr);
    c.job.reset();
    EXPECT_EQ(PLUMEX_CUPSPrintJob::sharedObject(), nullptr);
}

TEST(JobContext, DeviceNameIsTheHostPartOfTheURI) {
    EXPECT_EQ(PLUMEX_CUPSPrintJob::deviceNameFromURI("vantrelps://lab-1.local:5001/x"), "lab-1.local");
    EXPECT_EQ(PLUMEX_CUPSPrintJob::deviceNameFromURI("vantrelps://127.0.0.50?wait=1"), "127.0.0.50");
    EXPECT_EQ(PLUMEX_CUPSPrintJob::deviceNameFromURI("vantrelps://lab"), "lab");
    EXPECT_EQ(PLUMEX_CUPSPrintJob::deviceNameFromURI("no-scheme"), std::nullopt);
}

TEST(JobOptions, JobOptionThenMarkedThenDefaultChoiceThenDefaultAttribute) {
    JobContext c({{2, 2, 0}}, "JRXFinish=Lustre copies=2", "*JRXBackPrintDefault: Yes\n*JRXLabName: \"Front\"\n");
    ASSERT_NE(c.job, nullptr);
    ppd_file_t* ppd = c.job->ppd();
    EXPECT_EQ(c.job->cupsOptionValueForKey("JRXFinish"), "Lustre");
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsChoiceForOptionForPPD("JRXFinish", ppd), "Glossy");
    ppdMarkOption(ppd, "JRXFinish", "Matte");
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsChoiceForOptionForPPD("JRXFinish", ppd), "Matte");
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsDefaultChoiceForOptionForPPD("JRXFinish", ppd), "Glossy");
    // No such option: the "<name>Default" attribute stands in.
    EXPECT_EQ(c.job->cupsOptionValueForKey("JRXBackPrint"), "Yes");
    EXPECT_EQ(c.job->cupsOptionValueForKey("JRXNothing"), std::nullopt);
    EXPECT_EQ(c.job->ppdValueForAttribute("JRXLabName"), "Front");
    EXPECT_EQ(c.job->ppdValueForAttribute(""), std::nullopt);
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsValueForAttributeForPPD("JRXLabName", nullptr), std::nullopt);

    std::string err = captured([&] {
        auto settings = c.job->parsedOptions({"JRXFinish", "JRXNothing", "copies"});
        EXPECT_EQ(settings, (std::map<std::string, std::string>{{"JRXFinish", "Lustre"}, {"copies", "2"}}));
    });
    EXPECT_NE(err.find("Failed to find PPD choice for option:JRXNothing"), std::string::npos) << err;
    EXPECT_EQ(c.job->printerSettings().size(), 2u);
}

TEST(PrinterState, JobReasonsAreRememberedUntilCleared) {
    JobContext c({{2, 2, 0}});
    ASSERT_NE(c.job, nullptr);
    std::string err = captured([&] {
        c.job->jobStateSet("media-empty-error,cover-open-warning");
        c.job->jobStateSet("offline-report");
        c.job->jobStateClear("cover-open-warning");
    });
    EXPECT_EQ(err, "STATE: +media-empty-error,cover-open-warning\nSTATE: +offline-report\nSTATE: -cover-open-warning\n");
    EXPECT_EQ(c.job->printerStates(), (std::set<std::string>{"media-empty-error", "offline-report"}));
    err = captured([&] { c.job->stateClearAll(); });
    EXPECT_EQ(err, "STATE: -media-empty-error\nSTATE: -offline-report\n");
    EXPECT_TRUE(c.job->printerStates().empty());
    // Without PRINTER there is no queue to ask.
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsDeviceState(), std::nullopt);
    EXPECT_FALSE(c.job->deviceIsOffline());
}

TEST(PPDUpdates, PairsKeysAndTextsFollowTheirLengthRules) {
    const std::string pair255 = "k=" + std::string(253, 'v');
    const std::string pair256 = "k=" + std::string(254, 'v');
    std::string err = captured([&] { PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::string>{"a=1", pair256, pair255}); });
    EXPECT_NE(err.find("PPD:  a=1 " + pair255 + "\n"), std::string::npos) << err.substr(0, 200);
    EXPECT_EQ(err.find("PPD:  a=1 " + pair256), std::string::npos);
    EXPECT_NE(err.find("bad \"PPD:key=value\" pair: keyValue=" + pair256), std::string::npos);

    // Multi-byte characters count once each.
    const std::string accented = "k=" + [] { std::string s; for (int i = 0; i < 253; ++i) s += "\xc3\xa9"; return s; }();
    err = captured([&] { PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::string>{accented}); });
    EXPECT_NE(err.find("PPD:  " + accented + "\n"), std::string::npos);

    const std::string key40(40, 'K'), key41(41, 'K');
    err = captured([&] {
        PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(
            std::vector<std::pair<std::string, std::string>>{{"JRXPaper", "4x6 Glossy"}, {key41, "x"}, {key40, "y"}, {"", "z"}});
    });
    EXPECT_NE(err.find("PPD:  JRXPaper=\"4x6 Glossy\" " + key40 + "=\"y\"\n"), std::string::npos) << err;
    EXPECT_NE(err.find("bad \"PPD:key=value\" pair: key=" + key41 + ",value=x"), std::string::npos);

    err = captured([&] { PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::string("JRXState=Idle")); });
    EXPECT_NE(err.find("PPD: JRXState=Idle\n"), std::string::npos) << err;
    // Too short to be an update: nothing is sent, only the hint is logged.
    err = captured([&] {
        PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::string("ab"));
        PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::string>{});
        PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::map<std::string, std::string>{{std::string(50, 'x'), "1"}});
    });
    EXPECT_EQ(err.find("\nPPD:"), std::string::npos) << err;
    EXPECT_NE(err.rfind("PPD:", 0), 0u);
    EXPECT_NE(err.find("bad \"PPD:key=value\" update object:ab"), std::string::npos);
}

TEST(TempFiles, AreNewPrivateFilesInTMPDIR) {
    tessaron::test::TempDir dir;
    setenv("TMPDIR", dir.path().c_str(), 1);
    tessaron::UniqueFd fd;
    std::optional<std::string> path = PLUMEX_CUPSPrintJob::safeTempFile(&fd);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->substr(0, dir.path().size() + 1), dir.path() + "/");
    EXPECT_EQ(path->size(), dir.path().size() + 1 + 16);
    ASSERT_TRUE(fd);
    struct stat st {};
    ASSERT_EQ(fstat(fd.get(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    fd.reset();
    std::optional<std::string> second = PLUMEX_CUPSPrintJob::safeTempFile();
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *path);
    EXPECT_EQ(access(second->c_str(), F_OK), 0);

    setenv("TMPDIR", dir.file("gone").c_str(), 1);
    fd.reset(::dup(2));
    EXPECT_EQ(PLUMEX_CUPSPrintJob::safeTempFile(&fd), std::nullopt);
    EXPECT_FALSE(fd);
    unsetenv("TMPDIR");
}

TEST(RasterHeader, PaddingIsFineAndTheLimitIsExactlyOneGibibyte) {
    cups_page_header2_t h = tessaron::jobcontexttest::rgbHeader({2400, 1800, 0});
    h.cupsBytesPerLine = 2400 * 3 + 64;
    EXPECT_EQ(PLUMEX_CUPSPrintJob::rasterHeaderProblem(h), std::nullopt);
    // Width times bits per pixel beyond 32 bits must not wrap to a small row.
    h = tessaron::jobcontexttest::rgbHeader({0x80000000u, 1, 0});
    h.cupsBitsPerPixel = 32;
    h.cupsBytesPerLine = 16;
    EXPECT_NE(PLUMEX_CUPSPrintJob::rasterHeaderProblem(h), std::nullopt);
    h = tessaron::jobcontexttest::rgbHeader({16384, 21846, 0});  // 49152 * 21846 bytes: just above 1 GiB
    EXPECT_NE(PLUMEX_CUPSPrintJob::rasterHeaderProblem(h), std::nullopt);
    h = tessaron::jobcontexttest::rgbHeader({16384, 21845, 0});
    EXPECT_EQ(PLUMEX_CUPSPrintJob::rasterHeaderProblem(h), std::nullopt);
}

TEST(Recovery, RecoveredClearsTheJobsReasons) {
    JobContext c({{2, 2, 0}});
    ASSERT_NE(c.job, nullptr);
    PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds(0));
    std::string err = captured([&] {
        c.job->jobStateSet("media-jam-error");
        c.job->jobRecoverable("paper jam in %s", "tray 2");
        c.job->jobRecovered();
    });
    EXPECT_NE(err.find("ERROR: paper jam in tray 2\n"), std::string::npos) << err;
    EXPECT_NE(err.find("INFO: recovered\n"), std::string::npos) << err;
    EXPECT_NE(err.find("STATE: -media-jam-error\n"), std::string::npos);
    EXPECT_TRUE(c.job->printerStates().empty());
    // This platform never waits for a recoverable error to clear.
    EXPECT_FALSE(c.job->waitingForRecoverableError());
    err = captured([&] { c.job->recoverIfNeeded(); });
    EXPECT_EQ(err, "");
}

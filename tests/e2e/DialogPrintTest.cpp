// A photograph printed from the print dialog: tessaron-print loads the suite's plug-in,
// takes the panels' choices and submits the file to the private scheduler, whose queue
// sends it to the emulated minilab as one order.
#include <cups/ipp.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "SampleImages.h"
#include "SchedulerLab.h"

namespace tessaron::test {
namespace {

namespace fs = std::filesystem;

class DialogPrintTest : public SchedulerLabTest {
protected:
    void SetUp() override {
        SchedulerLabTest::SetUp();
        if (HasFatalFailure()) return;
        startLabWithRefreshedQueue();
    }

    ProcessResult runDialog(const TempDir& home, const std::vector<std::string>& args) const {
        ProcessSpec spec;
        spec.program = TESSARON_PRINT_PATH;
        spec.args = args;
        spec.env = {{"QT_QPA_PLATFORM", "offscreen"}, {"CUPS_SERVER", cups_->server()},
                    {"HOME", home.path()},           {"XDG_RUNTIME_DIR", home.path()},
                    {"TESSARON_PDE_PATH", TESSARON_PDE_DIR}, {"LANG", "C"}};
        spec.unsetEnv = {"PRINTER", "LPDEST", "DISPLAY", "WAYLAND_DISPLAY"};
        spec.timeout = std::chrono::milliseconds(60000);
        return runProcess(spec);
    }
};

TEST_F(DialogPrintTest, APhotoFromTheDialogArrivesWithThePanelsChoices) {
    TempDir home;
    ASSERT_TRUE(writeSampleJpeg(home.file("photo.jpg"), 1200, 1800));
    const ProcessResult r =
        runDialog(home, {"--queue", kQueue, "-o", "PageSize=4x6.Fullbleed", "-o", "PaperWidth=1020", "-o",
                         "EnableCVP1=True", "-o", "CVP1=Dialog 2026", "--print", home.file("photo.jpg")});
    ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(r.out, match, std::regex("lab-([0-9]+)"))) << r.out;
    const CupsJob end = waitForEnd(std::stoi(match[1]));
    ASSERT_EQ(end.state, IPP_JSTATE_COMPLETED) << end.stateName() << diagnostics();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (orders().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(orders().size(), 1u) << diagnostics();
    const std::string order = orders().front();
    const nlohmann::json record = nlohmann::json::parse(readFile(order + "/order.json"), nullptr, false);
    ASSERT_FALSE(record.is_discarded());
    // The dialog announces the document's one page; the order holds exactly that frame.
    EXPECT_EQ(record.value("frameNum", 0), 1) << record.dump();
    const nlohmann::json frame = nlohmann::json::parse(readFile(order + "/frame-1.json"), nullptr, false);
    ASSERT_FALSE(frame.is_discarded()) << "no frame-1.json in " << order;
    EXPECT_EQ(frame["record"].value("PaperWidth", 0), 1020) << frame.dump();
    EXPECT_EQ(frame["backPrint"].value("CVP1", ""), "Dialog 2026") << frame.dump();
}

}  // namespace
}  // namespace tessaron::test

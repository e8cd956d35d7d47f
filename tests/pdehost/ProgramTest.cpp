// tessaron-print as a program: screenshots, refused choices and missing queues from the
// command line, and, with a private scheduler, printing and saving a queue's defaults.
#include "HostFixtures.h"
#include "Process.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>

using namespace tessaron;

namespace {

// Never the system's scheduler or its lpoptions: a socket nobody listens on, a private root.
test::ProcessResult runPrint(const test::TempDir& home, const std::vector<std::string>& args,
                             const std::string& cupsServer = "/nonexistent/tessaron-pdehost.sock") {
    test::ProcessSpec spec;
    spec.program = TESSARON_PRINT_PROGRAM;
    spec.args = args;
    spec.env = {{"QT_QPA_PLATFORM", "offscreen"},
                {"CUPS_SERVER", cupsServer},
                {"CUPS_SERVERROOT", home.path()},
                {"HOME", home.path()},
                {"XDG_RUNTIME_DIR", home.path()},
                {"TESSARON_PDE_PATH", TESSARON_TEST_PLUGIN_GOOD},
                {"LANG", "C"}};
    spec.unsetEnv = {"PRINTER", "LPDEST", "DISPLAY", "WAYLAND_DISPLAY"};
    spec.timeout = std::chrono::milliseconds(60000);
    return test::runProcess(spec);
}

TEST(PrintProgram, ScreenshotsWriteAPNGOfEveryPage) {
    test::TempDir home;
    const std::string ppd = home.write("test.ppd", pdetest::constrainedPPD());
    const auto r = runPrint(home, {"--queue", "lab", "--ppd", ppd, "-o", "PaperTone=Matte", "--screenshot",
                                   home.file("shots")});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    for (const char* name : {"01-copies-paper.png", "02-test-tone.png", "03-second-panel.png"}) {
        const QImage image(QString::fromStdString(home.file("shots/") + name));
        EXPECT_FALSE(image.isNull()) << name;
        EXPECT_NE(r.out.find(name), std::string::npos) << "each file is listed";
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.file("shots")), {}), 3);
}

TEST(PrintProgram, RefusedChoicesAndMissingQueuesFailWithAMessage) {
    test::TempDir home;
    const std::string ppd = home.write("test.ppd", pdetest::constrainedPPD());
    auto conflict = runPrint(home, {"--queue", "lab", "--ppd", ppd, "-o", "PageSize=Large", "--screenshot",
                                    home.file("shots")});
    EXPECT_EQ(conflict.exitStatus, 1);
    EXPECT_NE(conflict.err.find("conflicts with InputSlot=Roll"), std::string::npos) << conflict.err;

    const std::string photo = home.write("photo.png", pdetest::imageDocument("PNG"));
    auto unknown = runPrint(home, {"--queue", "lab", "--ppd", ppd, "--print", photo});
    EXPECT_EQ(unknown.exitStatus, 1);
    EXPECT_NE(unknown.err.find("no queue named lab"), std::string::npos) << unknown.err;

    auto noScheduler = runPrint(home, {"--queue", "lab", "--print", photo});
    EXPECT_EQ(noScheduler.exitStatus, 1);
    EXPECT_FALSE(noScheduler.err.empty());

    auto usage = runPrint(home, {"--frobnicate"});
    EXPECT_EQ(usage.exitStatus, 2);
    EXPECT_NE(usage.err.find("usage:"), std::string::npos);
}

}  // namespace

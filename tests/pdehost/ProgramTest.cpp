// tessaron-print as a program: screenshots, refused choices and missing queues from the
// command line, and, with a private scheduler, printing and saving a queue's defaults.
#include "CupsSandbox.h"
#include "HostFixtures.h"
#include "PrintDialog.h"
#include "PrintSession.h"
#include "Process.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>

#include <cups/cups.h>

#include <filesystem>
#include <regex>

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
    for (const char* name : {"01-copies-paper.png", "02-test-tone.png", "03-second-panel.png", "04-summary.png"}) {
        const QImage image(QString::fromStdString(home.file("shots/") + name));
        EXPECT_FALSE(image.isNull()) << name;
        EXPECT_NE(r.out.find(name), std::string::npos) << "each file is listed";
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.file("shots")), {}), 4);
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

TEST(PrintProgram, HelpNeedsNoDisplayAndAPrinterDescriptionNeedsNoQueue) {
    test::TempDir home;
    test::ProcessSpec help;
    help.program = TESSARON_PRINT_PROGRAM;
    help.args = {"--help"};
    // A platform that needs a display, and none: Qt would abort.
    help.env = {{"QT_QPA_PLATFORM", "xcb"}, {"HOME", home.path()}, {"XDG_RUNTIME_DIR", home.path()}};
    help.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    const auto usage = test::runProcess(help);
    EXPECT_EQ(usage.exitStatus, 0) << usage.err;
    EXPECT_EQ(usage.out.rfind("usage: tessaron-print", 0), 0u) << usage.out;

    // No --queue and a scheduler that knows no queue: the description alone is enough.
    const std::string ppd = home.write("test.ppd", pdetest::constrainedPPD());
    const auto shots = runPrint(home, {"--ppd", ppd, "--screenshot", home.file("shots")});
    EXPECT_EQ(shots.exitStatus, 0) << shots.err;
    EXPECT_TRUE(std::filesystem::exists(home.file("shots/01-copies-paper.png"))) << shots.out;
    // Printing still needs the queue.
    const std::string photo = home.write("photo.png", pdetest::imageDocument("PNG"));
    const auto printed = runPrint(home, {"--ppd", ppd, "--print", photo});
    EXPECT_EQ(printed.exitStatus, 1);
    EXPECT_NE(printed.err.find("no queue named test"), std::string::npos) << printed.err;
}

#if defined(TESSARON_REAL_PLUGIN_DIR) && defined(TESSARON_PPD_PATH)
TEST(PrintProgram, TheSuitesPlugInShowsItsFourPanelsForTheSuitesPPD) {
    test::TempDir home;
    test::ProcessSpec spec;
    spec.program = TESSARON_PRINT_PROGRAM;
    spec.args = {"--queue", "lab", "--ppd", TESSARON_PPD_PATH, "--screenshot", home.file("shots")};
    spec.env = {{"QT_QPA_PLATFORM", "offscreen"}, {"CUPS_SERVER", "/nonexistent/tessaron-pdehost.sock"},
                {"CUPS_SERVERROOT", home.path()}, {"HOME", home.path()}, {"XDG_RUNTIME_DIR", home.path()},
                {"TESSARON_PDE_PATH", TESSARON_REAL_PLUGIN_DIR}, {"LANG", "C"}, {"LANGUAGE", "C"}};
    const auto r = test::runProcess(spec);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err.find("showing the dialog's own page only"), std::string::npos) << r.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.file("shots")), {}), 6) << r.out;
}
#endif

// A private scheduler with a queue "lab" that accepts jobs but never runs them: its backend
// and filters are stand-ins, the queue is stopped, the jobs wait with their attributes.
class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        sandbox_ = std::make_unique<test::CupsSandbox>(test::CupsSandboxPrograms{"/bin/true", "/bin/true", "/bin/true"});
        ASSERT_TRUE(sandbox_->ready()) << "no private scheduler: " << sandbox_->failure();
        const std::string ppd = home_.write("lab.ppd", pdetest::constrainedPPD());
        ASSERT_EQ(sandbox_->addQueue("lab", "vantrelps://127.0.0.45", ppd), "");
        const auto stopped = sandbox_->tool("/usr/sbin/cupsdisable", {"lab"});
        ASSERT_EQ(stopped.exitStatus, 0) << stopped.err;
    }

    test::ProcessResult run(const std::vector<std::string>& args) { return runPrint(home_, args, sandbox_->server()); }

    // Every "queue-N" the program reported, in order.
    static std::vector<int> jobIds(const std::string& out) {
        std::vector<int> ids;
        const std::regex job("lab-([0-9]+): ");
        for (auto it = std::sregex_iterator(out.begin(), out.end(), job); it != std::sregex_iterator(); ++it)
            ids.push_back(std::stoi((*it)[1]));
        return ids;
    }

    // The job's attribute as text, as the scheduler keeps it for the backend.
    std::optional<std::string> jobAttribute(int id, const char* name) const {
        http_t* http = httpConnect2(sandbox_->server().c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1,
                                    10000, nullptr);
        if (!http) return std::nullopt;
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        const std::string uri = "ipp://localhost/jobs/" + std::to_string(id);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        ipp_t* response = cupsDoRequest(http, request, "/");
        std::optional<std::string> value;
        if (ipp_attribute_t* attr = response ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr) {
            char text[1024];
            ippAttributeString(attr, text, sizeof text);
            value = text;
        }
        ippDelete(response);
        httpClose(http);
        return value;
    }

    std::string lpoptions() const {
        for (const std::string& path : {home_.file("lpoptions"), home_.file(".cups/lpoptions")})
            if (std::filesystem::exists(path)) return test::readFile(path);
        return {};
    }

    test::TempDir home_;
    std::unique_ptr<test::CupsSandbox> sandbox_;
};

TEST_F(SchedulerTest, PrintedJobsCarryTheChoicesThePanelsValuesAndTheRealPageCount) {
    const std::string pdf = home_.write("three.pdf", pdetest::pdfDocument(3));
    const std::string raster = home_.write("two.ras", pdetest::rasterDocument(2));
    const std::string notes = home_.write("notes.txt", "plain text\n");
    const auto r = run({"--queue", "lab", "-o", "PaperTone=Matte", "-o", "copies=2", "--print", pdf, "--print",
                        raster, "--print", notes});
    ASSERT_EQ(r.exitStatus, 0) << r.err << sandbox_->errorLog();
    const std::vector<int> ids = jobIds(r.out);
    ASSERT_EQ(ids.size(), 3u) << r.out;
    EXPECT_NE(r.out.find("(3 pages)"), std::string::npos) << r.out;

    const char* sides = "com.apple.print.PrintSettings.PMTotalSidesImaged..n.";
    const char* begin = "com.apple.print.PrintSettings.PMTotalBeginPages..n.";
    EXPECT_EQ(jobAttribute(ids[0], sides), "3");
    EXPECT_EQ(jobAttribute(ids[0], begin), "3");
    EXPECT_EQ(jobAttribute(ids[1], sides), "2");
    EXPECT_EQ(jobAttribute(ids[2], sides), std::nullopt) << "no reliable count: the driver counts";
    for (int id : ids) {
        EXPECT_EQ(jobAttribute(id, "PaperTone"), "Matte");
        EXPECT_EQ(jobAttribute(id, "copies"), "2");
        // CUPS sends "True"/"False" as an IPP boolean; the backend reads it back in lower case.
        EXPECT_EQ(jobAttribute(id, "TestFlag"), "false") << "the panel wrote its value before the job went";
    }
}

TEST_F(SchedulerTest, SavedDefaultsAreWrittenAsLpoptionsDoesAndComeBackIntoTheNextJob) {
    auto saved = run({"--queue", "lab", "-o", "PaperTone=Luster", "-o", "copies=2", "--save-defaults"});
    ASSERT_EQ(saved.exitStatus, 0) << saved.err;
    std::string file = lpoptions();
    EXPECT_NE(file.find("Dest lab "), std::string::npos) << file;
    EXPECT_NE(file.find("PaperTone=Luster"), std::string::npos) << file;
    EXPECT_NE(file.find("copies=2"), std::string::npos) << file;
    EXPECT_EQ(file.find("printer-"), std::string::npos) << "the scheduler's own attributes are not saved: " << file;
    EXPECT_EQ(file.find("device-uri"), std::string::npos) << file;

    // A second save keeps what was saved before.
    ASSERT_EQ(run({"--queue", "lab", "-o", "InputSlot=Tray", "--save-defaults"}).exitStatus, 0);
    file = lpoptions();
    EXPECT_NE(file.find("InputSlot=Tray"), std::string::npos) << file;
    EXPECT_NE(file.find("PaperTone=Luster"), std::string::npos) << file;

    // The saved tray allows large paper now; the saved tone goes with the job.
    const std::string photo = home_.write("photo.png", pdetest::imageDocument("PNG"));
    const auto printed = run({"--queue", "lab", "-o", "PageSize=Large", "--print", photo});
    ASSERT_EQ(printed.exitStatus, 0) << printed.err;
    const std::vector<int> ids = jobIds(printed.out);
    ASSERT_EQ(ids.size(), 1u) << printed.out;
    EXPECT_EQ(jobAttribute(ids[0], "PaperTone"), "Luster");
    EXPECT_EQ(jobAttribute(ids[0], "PageSize"), "Large");
    EXPECT_EQ(jobAttribute(ids[0], "com.apple.print.PrintSettings.PMTotalSidesImaged..n."), "1");
}

TEST_F(SchedulerTest, TheDefaultQueueIsUsedWithoutQueueAndAnUnknownOneIsRefused) {
    const std::string photo = home_.write("photo.png", pdetest::imageDocument("PNG"));
    const auto only = run({"--print", photo});
    EXPECT_EQ(only.exitStatus, 0) << only.err << "the only queue is the one to use";
    EXPECT_EQ(jobIds(only.out).size(), 1u) << only.out;
    const auto unknown = run({"--queue", "studio", "--print", photo});
    EXPECT_EQ(unknown.exitStatus, 1);
    EXPECT_NE(unknown.err.find("no queue named studio"), std::string::npos) << unknown.err;
}

TEST_F(SchedulerTest, TheDialogsPrintButtonSendsEveryDocumentWithItsCount) {
    // In this process, too, only the private scheduler and a private lpoptions are used.
    cupsSetServer(sandbox_->server().c_str());
    ::setenv("CUPS_SERVERROOT", home_.path().c_str(), 1);
    std::string error;
    auto session = print::PrintSession::open("lab", "", error);
    ASSERT_TRUE(session) << error;
    EXPECT_TRUE(session->queueKnown());
    EXPECT_EQ(session->host().printerDeviceURI(), "vantrelps://127.0.0.45");
    QString plugInError;
    ASSERT_TRUE(session->loadPanels(QString::fromUtf8(TESSARON_TEST_PLUGIN_GOOD), plugInError));
    std::string why;
    ASSERT_TRUE(session->chooseAssignment("PaperTone=Luster", why)) << why;

    const std::string pdf = home_.write("four.pdf", pdetest::pdfDocument(4));
    print::PrintDialog dialog(*session, {{pdf, 4u}});
    QPushButton* printButton = nullptr;
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == "Print") printButton = button;
    ASSERT_TRUE(printButton);
    ASSERT_TRUE(printButton->isEnabled());
    printButton->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.statusText().toStdString();
    const QString status = dialog.statusText();
    ASSERT_TRUE(status.startsWith("Sent: job ")) << status.toStdString();
    const int id = status.mid(10).toInt();
    EXPECT_EQ(jobAttribute(id, "com.apple.print.PrintSettings.PMTotalSidesImaged..n."), "4");
    EXPECT_EQ(jobAttribute(id, "PaperTone"), "Luster");
    EXPECT_EQ(session->panels()[0]->summaryInfo().value("closed"), "done");
    EXPECT_EQ(session->panels()[0]->summaryInfo().value("saved"), "1");
    cupsSetServer(nullptr);
}

}  // namespace

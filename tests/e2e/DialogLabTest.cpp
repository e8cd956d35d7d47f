// The print dialog as a lab runs it: tessaron-print's own host with the suite's plug-in, a
// private scheduler, and an emulated minilab with sheet paper, two-sided printing and a
// 178 mm roll that the printer description's default width is not. Some tests run the
// program, others open the same session in this process to look at the panels.
#include <cups/cups.h>
#include <cups/ipp.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVariant>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "PrintDialog.h"
#include "Preview.h"
#include "PrintSession.h"
#include "QtTestEnvironment.h"
#include "Screenshots.h"
#include "SampleImages.h"
#include "SchedulerLab.h"
#include "TextLines.h"

namespace tessaron::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

enum FeaturesTag { kFeedTag = 6, kNameTag = 7, kWidthTag = 1, kMarginTag = 8, kTwoSidedTag = 10, kStatusTag = 42 };

nlohmann::json sheetLab() {
    nlohmann::json lab = exampleLab();
    lab["extraFeatures"] = true;
    lab["duplex"] = true;
    lab["papers"] = nlohmann::json::parse(R"([
      {"source": "roll", "width": 1780, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 3050, "magazine": 1, "remain": 500},
      {"source": "sheet", "name": "A4 Gloss", "width": 2100, "surface": 1, "resolution": 3000, "lmin": 2970, "lmax": 2970, "magazine": 2, "remain": 200}
    ])");
    lab["errors"] = nlohmann::json::array();
    return lab;
}

// A member object of `j`, or an empty object when `j` has none (a record that did not arrive).
nlohmann::json part(const nlohmann::json& j, const char* key) {
    return j.is_object() && j.contains(key) && j[key].is_object() ? j[key] : nlohmann::json::object();
}

QWidget* controlForTag(QWidget* view, int tag) {
    if (!view) return nullptr;
    for (QWidget* w : view->findChildren<QWidget*>())
        if (w->property("tag").toInt() == tag) return w;
    return nullptr;
}

// Processes Qt events until `done` holds or the time is up.
bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class DialogLabTest : public SchedulerLabTest {
protected:
    void SetUp() override {
        SchedulerLabTest::SetUp();
        if (HasFatalFailure()) return;
        startLab(sheetLab());
        if (HasFatalFailure()) return;
        addQueue(kQueue, std::string("vantrelps://") + kLabAddress);
    }
    void TearDown() override {
        session_.reset();
        ::unsetenv("CUPS_SERVER");
        cupsSetServer(nullptr);
        SchedulerLabTest::TearDown();
    }

    void refresh() { ASSERT_EQ(waitForEnd(submitRefresh()).state, IPP_JSTATE_COMPLETED); }

    ProcessResult runDialog(const std::vector<std::string>& args) const {
        ProcessSpec spec;
        spec.program = TESSARON_PRINT_PATH;
        spec.args = args;
        spec.env = {{"QT_QPA_PLATFORM", "offscreen"}, {"CUPS_SERVER", cups_->server()},
                    {"HOME", home_.path()},           {"XDG_RUNTIME_DIR", home_.path()},
                    {"TESSARON_PDE_PATH", TESSARON_PDE_DIR}, {"LANG", "C"}};
        spec.unsetEnv = {"PRINTER", "LPDEST", "DISPLAY", "WAYLAND_DISPLAY"};
        spec.timeout = std::chrono::milliseconds(60000);
        return runProcess(spec);
    }

    std::string lpoptions() const {
        const std::string path = home_.file(".cups/lpoptions");
        return fs::exists(path) ? readFile(path) : std::string();
    }
    // The saved value of `key` as libcups reads the user's lpoptions back.
    std::optional<std::string> saved(const std::string& key) const {
        int count = 0;
        cups_option_t* options = nullptr;
        for (const std::string& line : linesStartingWith(lpoptions(), "Dest lab "))
            count = cupsParseOptions(line.c_str() + 9, count, &options);
        const char* value = cupsGetOption(key.c_str(), count, options);
        std::optional<std::string> result = value ? std::optional<std::string>(value) : std::nullopt;
        cupsFreeOptions(count, options);
        return result;
    }

    // The dialog's session in this process, with the suite's plug-in and its panels.
    void openSession(const std::vector<std::pair<std::string, std::string>>& before = {}) {
        // The panels' threads read the environment; this thread's connection is set anew.
        ::setenv("CUPS_SERVER", cups_->server().c_str(), 1);
        ::setenv("HOME", home_.path().c_str(), 1);
        cupsSetServer(cups_->server().c_str());
        std::string error;
        session_ = print::PrintSession::open(kQueue, "", error);
        ASSERT_TRUE(session_) << error;
        for (const auto& [key, value] : before) ASSERT_TRUE(session_->choose(key, value, error)) << error;
        QString plugInError;
        ASSERT_TRUE(session_->loadPanels(QString::fromUtf8(TESSARON_PDE_DIR), plugInError))
            << plugInError.toStdString();
        ASSERT_FALSE(session_->panels().empty());
        features_ = session_->panels().front()->panelView();
        ASSERT_TRUE(features_);
    }
    static bool itemEnabled(QComboBox* menu, const QString& data) {
        const int at = menu->findData(data);
        auto* model = qobject_cast<QStandardItemModel*>(menu->model());
        return at >= 0 && model && model->item(at)->isEnabled();
    }
    QComboBox* menu(int tag) const { return qobject_cast<QComboBox*>(controlForTag(features_, tag)); }
    // Until the panel has read what the backend wrote (its status line shows the time).
    bool waitForPrinterData() const {
        return waitFor([this] {
            const QString text = controlForTag(features_, kStatusTag)->property("text").toString();
            return text.startsWith("Last updated") && !text.contains("never");
        });
    }
    std::string current(const std::string& key) const { return session_->host().currentValue(key).value_or(""); }

    std::optional<CupsJob> commandJob() const {
        cups_job_t* jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, kQueue, 0, CUPS_WHICHJOBS_ALL);
        std::optional<CupsJob> found;
        for (int i = 0; i < count; ++i)
            if (std::string(jobs[i].title) == "Updating status ...") found = CupsJob{jobs[i].id, jobs[i].state};
        cupsFreeJobs(count, jobs);
        return found;
    }

    // Every job of the queue, for a failure message.
    std::string jobList() const {
        cups_job_t* jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, kQueue, 0, CUPS_WHICHJOBS_ALL);
        std::string text;
        for (int i = 0; i < count; ++i)
            text += std::to_string(jobs[i].id) + " \"" + jobs[i].title + "\" state " + std::to_string(jobs[i].state) +
                    " created " + std::to_string(jobs[i].creation_time) + "\n";
        cupsFreeJobs(count, jobs);
        return text;
    }

    nlohmann::json lastFrame() {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (orders().empty() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        frame_ = nlohmann::json();
        if (orders().empty()) return frame_;
        const std::string order = orders().back();
        frame_ = nlohmann::json::parse(readFile(order + "/frame-1.json"), nullptr, false);
        if (!frame_.is_object()) frame_ = nlohmann::json::object();
        frame_["order"] = nlohmann::json::parse(readFile(order + "/order.json"), nullptr, false);
        return frame_;
    }
    int printed(const ProcessResult& r) {
        std::smatch match;
        EXPECT_TRUE(std::regex_search(r.out, match, std::regex("lab-([0-9]+)"))) << r.out << r.err;
        if (match.empty()) return 0;
        return waitForEnd(std::stoi(match[1])).state;
    }

    TempDir home_;
    std::unique_ptr<print::PrintSession> session_;
    QWidget* features_ = nullptr;
    nlohmann::json frame_;
};

TEST_F(DialogLabTest, ASavedTwoSidedSheetChoiceSurvivesOpeningAndSavingAgain) {
    refresh();
    const auto first = runDialog({"--queue", kQueue, "-o", "PaperFeed=Sheet", "-o", "PaperName=A4 Gloss", "-o",
                                  "TwoSided=LongEdge", "--save-defaults"});
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    ASSERT_EQ(saved("TwoSided"), "LongEdge") << lpoptions();
    // Opened again, the panels restore before the printer's capabilities are read.
    for (int round = 0; round < 3; ++round) {
        const auto again = runDialog({"--queue", kQueue, "--save-defaults"});
        ASSERT_EQ(again.exitStatus, 0) << again.err;
        EXPECT_EQ(saved("TwoSided"), "LongEdge") << lpoptions();
        EXPECT_EQ(saved("PaperFeed"), "Sheet") << lpoptions();
        EXPECT_EQ(saved("PaperName"), "A4 Gloss") << lpoptions();
    }
}

TEST_F(DialogLabTest, ThePanelsOwnRefreshOpensSheetFeedAndTwoSidedPrinting) {
    // A new queue: nothing from the minilab yet, so the panel submits its command job.
    ASSERT_NO_FATAL_FAILURE(openSession());
    QComboBox* feed = menu(kFeedTag);
    ASSERT_TRUE(feed);
    ASSERT_TRUE(waitFor([&] { return commandJob() && commandJob()->state == IPP_JSTATE_COMPLETED; }))
        << diagnostics();
    EXPECT_TRUE(waitFor([&] { return menu(kNameTag)->findData("A4 Gloss") >= 0 && itemEnabled(feed, "Sheet"); }))
        << "the fresh capabilities allow sheets";
    std::string why;
    ASSERT_TRUE(session_->choose("PaperFeed", "Sheet", why)) << why;
    EXPECT_TRUE(menu(kTwoSidedTag)->isEnabled()) << "the lab prints two-sided";
    ASSERT_TRUE(session_->choose("TwoSided", "LongEdge", why)) << why;
    EXPECT_EQ(current("TwoSided"), "LongEdge");
    EXPECT_EQ(current("PaperWidth"), "1780") << "the only roll is the one marked";
    auto* status = controlForTag(features_, kStatusTag);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->property("text").toString().indexOf("never"), -1) << "the time stamp is read again";
}

TEST_F(DialogLabTest, AHeldRefreshEndsTheWaitAndAClosedDialogCancelsItsJob) {
    // Held: the wait gives up at once and the panel shows its status again.
    ASSERT_EQ(cups_->tool("lpadmin", {"-p", kQueue, "-o", "job-hold-until-default=indefinite"}).exitStatus, 0);
    ASSERT_NO_FATAL_FAILURE(openSession());
    ASSERT_TRUE(waitFor([&] { return commandJob().has_value(); })) << diagnostics();
    EXPECT_EQ(commandJob()->state, IPP_JSTATE_HELD);
    auto* progress = features_->findChild<QProgressBar*>();
    ASSERT_TRUE(progress);
    EXPECT_TRUE(waitFor([&] { return controlForTag(features_, kStatusTag)->isVisibleTo(features_) &&
                                      !progress->isVisibleTo(features_); }));
    const int held = commandJob()->id;
    session_.reset();
    ASSERT_EQ(cups_->tool("cancel", {"-a", kQueue}).exitStatus, 0);
    ASSERT_EQ(cups_->tool("lpadmin", {"-p", kQueue, "-o", "job-hold-until-default=no-hold"}).exitStatus, 0);

    // Pending on a stopped queue: closing the dialog cancels the job it waits for.
    ASSERT_EQ(cups_->tool("/usr/sbin/cupsdisable", {kQueue}).exitStatus, 0);
    ASSERT_NO_FATAL_FAILURE(openSession());
    // A created job is held by the scheduler until its document has arrived.
    ASSERT_TRUE(waitFor([&] {
        const auto job = commandJob();
        return job && job->id != held && job->state != IPP_JSTATE_HELD;
    })) << jobList() << diagnostics();
    EXPECT_EQ(commandJob()->state, IPP_JSTATE_PENDING) << jobList();
    const int pending = commandJob()->id;
    session_->close(true);
    session_.reset();
    const auto end = cups_->job(kQueue, pending);
    EXPECT_TRUE(!end || end->state == IPP_JSTATE_CANCELED) << end->stateName();
}

TEST_F(DialogLabTest, ALandscapeLongEdgeBindingIsStoredAsALongEdgeOfThePaper) {
    refresh();
    // 4x6 in paper, tall as it is fed, printed in landscape.
    ASSERT_NO_FATAL_FAILURE(openSession({{"orientation-requested", "4"}}));
    ASSERT_TRUE(waitForPrinterData());
    std::string why;
    ASSERT_TRUE(session_->choose("PaperFeed", "Sheet", why)) << why;
    ASSERT_TRUE(waitFor([&] { return menu(kTwoSidedTag)->isEnabled(); }));
    ASSERT_TRUE(session_->choose("TwoSided", "LongEdge", why)) << why;
    QComboBox* margin = menu(kMarginTag);
    ASSERT_TRUE(margin && margin->isEnabled());
    // The long edges of the paper are the top and bottom of the landscape page.
    EXPECT_TRUE(itemEnabled(margin, "Top"));
    EXPECT_TRUE(itemEnabled(margin, "Bottom"));
    EXPECT_FALSE(itemEnabled(margin, "Left"));
    margin->setCurrentIndex(margin->findData("Top"));
    emit margin->activated(margin->currentIndex());
    EXPECT_EQ(current("BindingMargin"), "Left") << "the top of the page is the paper's left (long) edge";
}

TEST_F(DialogLabTest, EveryTableWidthIsAChoiceAndTheCataloguesOnlyRollReachesTheJob) {
    refresh();
    const ProcessResult listed = cups_->tool("lpoptions", {"-p", kQueue, "-l"});
    const auto lines = linesStartingWith(listed.out, "PaperWidth");
    ASSERT_EQ(lines.size(), 1u) << listed.out << listed.err;
    const std::string& widths = lines.front();
    for (const char* w : {" 825", " 1140", " *1020", " 1780", " 6220"})
        EXPECT_NE(widths.find(w), std::string::npos) << w << " in " << widths;

    TempDir photos;
    ASSERT_TRUE(writeSampleJpeg(photos.file("photo.jpg"), 1000, 1400));
    // No width chosen: the panel offers the lab's only roll, and the job printed from the
    // dialog carries it.
    ASSERT_NO_FATAL_FAILURE(openSession({{"PageSize", "5x7.Fullbleed"}}));
    ASSERT_TRUE(waitForPrinterData());
    ASSERT_TRUE(waitFor([&] { return current("PaperWidth") == "1780"; })) << current("PaperWidth");
    EXPECT_EQ(menu(kWidthTag)->currentText(), "178 mm");
    {
        print::PrintDialog dialog(*session_, {{photos.file("photo.jpg"), 1u}});
        QPushButton* printButton = nullptr;
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == "Print") printButton = button;
        ASSERT_TRUE(printButton);
        printButton->click();
        const QString status = dialog.statusText();
        ASSERT_TRUE(status.startsWith("Sent: job ")) << status.toStdString();
        ASSERT_EQ(waitForEnd(status.mid(10).toInt()).state, IPP_JSTATE_COMPLETED) << diagnostics();
    }
    EXPECT_EQ(part(lastFrame(), "record").value("PaperWidth", 0), 1780) << frame_.dump();

    // lp knows the width too.
    std::string message;
    const auto id = cups_->submit(kQueue, {{"PaperWidth", "1780"}, {"PageSize", "5x7.Fullbleed"}},
                                  photos.file("photo.jpg"), &message);
    ASSERT_TRUE(id) << message;
    ASSERT_EQ(waitForEnd(*id).state, IPP_JSTATE_COMPLETED) << diagnostics();
    EXPECT_EQ(part(lastFrame(), "record").value("PaperWidth", 0), 1780) << frame_.dump();
}

TEST_F(DialogLabTest, ASheetPrintedTwoSidedCarriesItsPaperAndBackPrint) {
    refresh();
    TempDir photos;
    ASSERT_TRUE(writeSampleJpeg(photos.file("photo.jpg"), 1200, 1700));
    const auto r = runDialog({"--queue", kQueue, "-o", "PaperFeed=Sheet", "-o", "PaperName=A4 Gloss", "-o",
                              "TwoSided=LongEdge", "-o", "EnableCVP1=True", "-o", "CVP1=Lab [YYYY]", "-o",
                              "EnableCVP2=True", "-o", "CVP2=Two sides", "--print", photos.file("photo.jpg")});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    ASSERT_EQ(printed(r), IPP_JSTATE_COMPLETED) << diagnostics();
    const nlohmann::json frame = lastFrame();
    EXPECT_EQ(part(frame, "record").value("PaperName", ""), "A4 Gloss") << frame.dump();
    EXPECT_EQ(part(part(frame, "order"), "record").value("BothSidePrint", 0), 1) << frame.dump();
    EXPECT_EQ(part(frame, "backPrint").value("CVP1", "").rfind("Lab 20", 0), 0u) << frame.dump();
    EXPECT_EQ(part(frame, "backPrint").value("CVP2", ""), "Two sides") << frame.dump();
}

TEST_F(DialogLabTest, TheDialogShowsTheLabsPapersTheJobInWordsAndAPreview) {
    refresh();
    TempDir photos;
    ASSERT_TRUE(writeSampleJpeg(photos.file("photo.jpg"), 1200, 1800));
    ASSERT_NO_FATAL_FAILURE(openSession({{"orientation-requested", "4"}}));
    ASSERT_TRUE(waitForPrinterData());
    std::string why;
    for (auto [key, value] : {std::pair{"PaperFeed", "Sheet"}, std::pair{"TwoSided", "LongEdge"},
                              std::pair{"BindingMargin", "Left"}, std::pair{"BindingWidth", "12.0"},
                              std::pair{"EnableCVP1", "True"}, std::pair{"CVP1", "Lab [YYYY]"}})
        ASSERT_TRUE(session_->choose(key, value, why)) << why;
    print::PrintDialog dialog(*session_, {{photos.file("photo.jpg"), 1u}});
    // The preview shows the landscape page with the paper's left edge bound at its top.
    ASSERT_TRUE(dialog.preview() && dialog.preview()->layout());
    EXPECT_EQ(dialog.preview()->layout()->bindingEdge, "Top");
    EXPECT_EQ(menu(kMarginTag)->currentData().toString(), "Top") << "the menu shows the edge as the preview does";
    EXPECT_GT(dialog.preview()->layout()->paper.width(), dialog.preview()->layout()->paper.height());

    // TESSARON_SCREENSHOT_DIR keeps the pictures for a person to look at.
    TempDir scratch;
    const char* kept = std::getenv("TESSARON_SCREENSHOT_DIR");
    QString error;
    const QStringList files =
        print::writeScreenshots(dialog, QString::fromStdString(kept ? std::string(kept) : scratch.path()), error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(files.size(), 6);
    const QStringList lines = dialog.summaryLines();
    for (const char* line : {"Features: Paper: Sheet paper \"A4 Gloss\"", "Features: Resolution: 300 dpi",
                             "Features: Binding Margin: Left edge of the paper, 12.0 mm",
                             "Backprint: Back print line 1: \u201CLab [YYYY]\u201D", "Backprint: Back print line 2: Off",
                             "Sharpness: Sharpening: Off"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(line))) << line << "\n" << lines.join("\n").toStdString();
}

TEST_F(DialogLabTest, EveryPanelsValuesComeBackAfterSaveAsDefaultsEmptyLinesStayEmpty) {
    refresh();
    const std::vector<std::pair<std::string, std::string>> values = {
        {"PaperFeed", "Sheet"},         {"PaperName", "A4 Gloss"},     {"TwoSided", "LongEdge"},
        {"BindingMargin", "Left"},      {"BindingWidth", "3.0"},       {"PaperTone", "0"},
        {"EnableCVP1", "True"},         {"CVP1", "Hello World"},       {"EnableCVP2", "False"},
        {"AdjustmentsEnabled", "True"}, {"Red", "1.50"},               {"Brightness", "-2.00"},
        {"Gamma", "0.30"},              {"SharpnessEnabled", "True"},  {"SharpnessRadius", "3"},
        {"SharpnessIntensity", "0.75"}};
    std::vector<std::string> args = {"--queue", kQueue, "-o", "CVP2=", "-o", "PaperWidth=1780"};
    for (const auto& [k, v] : values) args.insert(args.end(), {"-o", k + "=" + v});
    args.push_back("--save-defaults");
    ASSERT_EQ(runDialog(args).exitStatus, 0);
    for (int round = 0; round < 2; ++round) {
        for (const auto& [k, v] : values) EXPECT_EQ(saved(k), v) << k << " in round " << round << ": " << lpoptions();
        EXPECT_EQ(saved("CVP2").value_or(""), "") << "an empty line never reads back as \"true\": " << lpoptions();
        const auto reopened = runDialog({"--queue", kQueue, "--save-defaults"});
        ASSERT_EQ(reopened.exitStatus, 0) << reopened.err;
    }
    // Emptied again, the first line goes back to nothing too.
    ASSERT_EQ(runDialog({"--queue", kQueue, "-o", "CVP1=", "--save-defaults"}).exitStatus, 0);
    EXPECT_EQ(saved("CVP1").value_or(""), "") << lpoptions();
    ASSERT_EQ(runDialog({"--queue", kQueue, "--save-defaults"}).exitStatus, 0);
    EXPECT_EQ(saved("CVP1").value_or(""), "") << lpoptions();
}

}  // namespace
}  // namespace tessaron::test

namespace {

// The in-process dialog needs one QApplication, without the system bus.
[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new tessaron::test::QtEnvironment("test_e2e_dialog", [] {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tessaron-e2e-bus", 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }));

}  // namespace

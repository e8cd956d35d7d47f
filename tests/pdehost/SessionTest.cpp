// A dialog session with the stand-in plug-in: panels created against the host, restored,
// told about choices, shown and hidden as pages, told when the window closes.
#include "GeneralPage.h"
#include "HostFixtures.h"
#include "PrintDialog.h"
#include "PrintSession.h"
#include "Screenshots.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QSpinBox>

using namespace tessaron;
using print::PrintSession;

namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        session_ = PrintSession::open("lab", temp_.write("test.ppd", pdetest::constrainedPPD()), error);
        ASSERT_TRUE(session_) << error;
        QString plugInError;
        ASSERT_TRUE(session_->loadPanels(QString::fromUtf8(TESSARON_TEST_PLUGIN_GOOD), plugInError))
            << plugInError.toStdString();
        ASSERT_EQ(session_->panels().size(), 2u);
    }
    QString info(size_t panel, const char* key) const { return session_->panels()[panel]->summaryInfo().value(key); }

    test::TempDir temp_;
    std::unique_ptr<PrintSession> session_;
};

TEST_F(SessionTest, APrinterDescriptionByHandStandsInForAnUnknownQueue) {
    EXPECT_FALSE(session_->queueKnown()) << "no scheduler answers in this test";
    EXPECT_EQ(session_->queue(), "lab");
    std::string error;
    // Without a name the description's file names the printer; it is still no queue.
    auto unnamed = PrintSession::open("", temp_.file("test.ppd"), error);
    ASSERT_TRUE(unnamed) << error;
    EXPECT_EQ(unnamed->queue(), "test");
    EXPECT_FALSE(unnamed->queueKnown());
    EXPECT_FALSE(PrintSession::open("lab", temp_.file("absent.ppd"), error));
    EXPECT_FALSE(error.empty());
}

TEST_F(SessionTest, PanelsAreRestoredAndToldAboutEveryAcceptedChoice) {
    EXPECT_EQ(info(0, "restored"), "1");
    EXPECT_EQ(info(0, "tone"), "Glossy") << "restored from the PPD's marked default";

    std::string why;
    ASSERT_TRUE(session_->chooseAssignment("PaperTone=Matte", why)) << why;
    EXPECT_EQ(info(0, "notified"), "PaperTone=Matte");
    EXPECT_EQ(info(1, "notified"), "PaperTone=Matte");
    EXPECT_EQ(info(0, "tone"), "Matte");

    EXPECT_TRUE(session_->chooseAssignment("copies=3", why));
    EXPECT_EQ(info(0, "notified"), "PaperTone=Matte") << "keys a panel does not handle are not announced to it";

    EXPECT_FALSE(session_->chooseAssignment("PageSize=Large", why));
    EXPECT_FALSE(session_->chooseAssignment("novalue", why));
    EXPECT_NE(why.find("KEY=VALUE"), std::string::npos);
    EXPECT_FALSE(session_->chooseAssignment("=x", why));
}

TEST_F(SessionTest, CommittingLetsPanelsWriteTheirValuesIntoTheSettings) {
    EXPECT_FALSE(session_->host().settings().contains("TestFlag"));
    session_->commitPanels();
    EXPECT_EQ(info(0, "saved"), "1");
    EXPECT_EQ(session_->host().settings().value("TestFlag"), "False");
    session_->close(false);
    session_->close(true);
    EXPECT_EQ(info(0, "closed"), "done") << "the panels hear of the closing once";
}

TEST_F(SessionTest, TheDialogShowsThePanelsAsPagesBesideItsOwn) {
    print::PrintDialog dialog(*session_, {{"photo.jpg", 1u}});
    ASSERT_EQ(dialog.pageCount(), 4);
    EXPECT_EQ(dialog.pageName(1), "Test Tone");
    EXPECT_EQ(dialog.pageName(2), "Second Panel");
    EXPECT_EQ(dialog.pageName(3), "Summary");
    EXPECT_EQ(dialog.currentPage(), 0);

    dialog.showPage(1);
    EXPECT_EQ(info(0, "shown"), "1");
    dialog.showPage(2);
    EXPECT_EQ(info(0, "hidden"), "1");
    EXPECT_EQ(info(1, "shown"), "1");
    dialog.showPage(7);
    EXPECT_EQ(dialog.currentPage(), 2) << "no such page: nothing changes";

    // The panel answers that the dialog should show its own help.
    dialog.showHelp();
    EXPECT_NE(dialog.statusText().indexOf("Save as Defaults"), -1);

    // The panel's menu writes through the host and is refused like any other choice.
    auto* menu = session_->panels()[0]->panelView()->findChild<QComboBox*>("PaperTone");
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->count(), 3);
    emit menu->activated(menu->findData("Luster"));
    EXPECT_EQ(session_->host().currentValue("PaperTone"), "Luster");
    EXPECT_EQ(info(1, "tone"), "Luster") << "the other panel was told";
    dialog.showPage(3);
    EXPECT_TRUE(dialog.summaryLines().contains("Test Tone: tone: Luster")) << dialog.summaryLines().join("|").toStdString();
    EXPECT_TRUE(dialog.summaryLines().contains("Second Panel: tone: Luster"));

    // The dialog's own page writes copies and refuses a paper size the constraints forbid.
    dialog.showPage(0);
    auto* copies = dialog.findChild<QSpinBox*>("copies");
    auto* size = dialog.findChild<QComboBox*>("PageSize");
    ASSERT_TRUE(copies && size);
    copies->setValue(4);
    EXPECT_EQ(session_->host().settings().value("copies"), "4");
    emit size->activated(size->findData("Large"));
    EXPECT_NE(dialog.statusText().indexOf("conflicts"), -1) << dialog.statusText().toStdString();
    EXPECT_EQ(size->currentData().toString(), "Small");
    EXPECT_EQ(session_->host().currentValue("PageSize"), "Small");
}

TEST_F(SessionTest, ScreenshotsRenderEveryPageIntoItsOwnFile) {
    print::PrintDialog dialog(*session_, {});
    QString error;
    const QString dir = QString::fromStdString(temp_.file("shots"));
    const QStringList files = print::writeScreenshots(dialog, dir, error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(files.size(), 4);
    EXPECT_TRUE(files[3].endsWith("/04-summary.png"));
    EXPECT_TRUE(files[1].endsWith("/02-test-tone.png")) << files[1].toStdString();
    for (const QString& file : files) {
        QImage image(file);
        EXPECT_FALSE(image.isNull()) << file.toStdString();
        EXPECT_GE(image.width(), 400);
    }
}

TEST_F(SessionTest, ScreenshotsNeverWriteThroughALink) {
    const std::string shots = temp_.file("linked");
    ASSERT_EQ(::mkdir(shots.c_str(), 0700), 0);
    const std::string victim = temp_.write("victim", "keep me");
    ASSERT_EQ(::symlink(victim.c_str(), (shots + "/01-copies-paper.png").c_str()), 0);
    print::PrintDialog dialog(*session_, {});
    QString error;
    EXPECT_TRUE(print::writeScreenshots(dialog, QString::fromStdString(shots), error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(test::readFile(victim), "keep me");
}

TEST(ScreenshotNames, AreNumberedAndPlain) {
    EXPECT_EQ(print::screenshotFileName(0, "Copies & Paper"), "01-copies-paper.png");
    EXPECT_EQ(print::screenshotFileName(11, "Color Adjustments"), "12-color-adjustments.png");
    EXPECT_EQ(print::screenshotFileName(2, "../../etc"), "03-etc.png");
    EXPECT_EQ(print::screenshotFileName(3, "Schärfe"), "04-sch-rfe.png");
    EXPECT_EQ(print::screenshotFileName(4, "***"), "05-page.png");
}

}  // namespace

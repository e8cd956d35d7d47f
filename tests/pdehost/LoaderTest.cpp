// Loading the dialog-extension plug-in: where it is looked for, and every way a file can
// fail to be the suite's plug-in before any of its code runs.
#include "PlugInLoader.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>

using namespace tessaron;
using tessaron::print::loadPlugIn;

namespace {

QString dir(const char* path) { return QString::fromUtf8(path); }

TEST(PlugInLoader, LoadsTheSuitesPlugInFromItsDirectoryOrItsFile) {
    QString error;
    auto fromDirectory = loadPlugIn(dir(TESSARON_TEST_PLUGIN_GOOD), error);
    ASSERT_TRUE(fromDirectory) << error.toStdString();
    EXPECT_EQ(fromDirectory->bundleInfo().value("CFBundleIdentifier").toString(), "com.vantrel.tessaron.pde");
    auto fromFile = loadPlugIn(dir(TESSARON_TEST_PLUGIN_GOOD) + "/libTessaronPDE.so", error);
    ASSERT_TRUE(fromFile) << error.toStdString();
    EXPECT_EQ(&fromFile->plugIn(), &fromDirectory->plugIn()) << "one library, one principal object";

    // A relative directory is the working directory's, not one of Qt's library paths.
    const std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(TESSARON_TEST_PLUGIN_GOOD).parent_path());
    auto relative = loadPlugIn("good", error);
    std::filesystem::current_path(previous);
    ASSERT_TRUE(relative) << error.toStdString();
    EXPECT_TRUE(relative->fileName().startsWith('/'));
}

TEST(PlugInLoader, AnswersPanelsOnlyForTheDialogExtensionType) {
    QString error;
    auto loaded = loadPlugIn(dir(TESSARON_TEST_PLUGIN_GOOD), error);
    ASSERT_TRUE(loaded) << error.toStdString();
    // The stand-in asks for a PPD, which a null host lacks; the type is checked first.
    EXPECT_TRUE(loaded->plugIn().PDEPanelsForTypeWithHostInfo("some.other.type", nullptr).empty());
}

TEST(PlugInLoader, RefusesMissingForeignAndOutdatedPlugIns) {
    test::TempDir temp;
    QString error;
    EXPECT_FALSE(loadPlugIn(QString::fromStdString(temp.path()), error));
    EXPECT_NE(error.indexOf("missing"), -1) << error.toStdString();
    EXPECT_NE(error.indexOf("TESSARON_PDE_PATH"), -1) << "the message names the override";

    temp.write("libTessaronPDE.so", "not a library at all\n");
    error.clear();
    EXPECT_FALSE(loadPlugIn(QString::fromStdString(temp.path()), error));
    EXPECT_NE(error.indexOf("not a Qt plug-in"), -1) << error.toStdString();

    // An older interface id is refused from the metadata alone: its constructor aborts.
    error.clear();
    EXPECT_FALSE(loadPlugIn(dir(TESSARON_TEST_PLUGIN_OLD), error));
    EXPECT_NE(error.indexOf("com.vantrel.tessaron.PDEPlugIn/0.9"), -1) << error.toStdString();

    error.clear();
    EXPECT_FALSE(loadPlugIn(dir(TESSARON_TEST_PLUGIN_FOREIGN), error));
    EXPECT_NE(error.indexOf("com.example.other.pde"), -1) << error.toStdString();
}

TEST(PlugInLoader, TheEnvironmentOverridesTheInstalledDirectory) {
    ::setenv("TESSARON_PDE_PATH", "/some/where", 1);
    EXPECT_EQ(print::plugInLocation(), "/some/where");
    ::setenv("TESSARON_PDE_PATH", "", 1);
    EXPECT_FALSE(print::plugInLocation().isEmpty());
    EXPECT_NE(print::plugInLocation(), "/some/where");
}

}  // namespace


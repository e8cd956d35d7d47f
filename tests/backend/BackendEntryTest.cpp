#include "BackendEntry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

int commandCalls = 0;
int rasterCalls = 0;
int fakeCommand() {
    ++commandCalls;
    return 17;
}
int fakeRaster() {
    ++rasterCalls;
    return 23;
}
std::string queriedURI;
int fakeQuery(const char* uri) {
    queriedURI = uri;
    return 29;
}
const tessaron::backend::JobDriverTable kFakes{fakeCommand, fakeRaster, fakeQuery};

class BackendEntry : public ::testing::Test {
protected:
    void SetUp() override { commandCalls = rasterCalls = 0; }
    void TearDown() override { unsetenv("CONTENT_TYPE"); }

    int run(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        return tessaron::backend::backendMain(static_cast<int>(args.size()), argv.data(), kFakes);
    }
};

TEST_F(BackendEntry, OnlyTheExactCommandTypeRunsTheCommandDriver) {
    EXPECT_EQ(tessaron::backend::runJobDriver("application/vnd.cups-command", kFakes), 17);
    EXPECT_EQ(commandCalls, 1);
    for (const char* other : {"application/vnd.cups-raster", "Application/vnd.cups-command",
                              "application/vnd.cups-command; charset=utf-8", "application/vnd.cups-command ", ""}) {
        EXPECT_EQ(tessaron::backend::runJobDriver(other, kFakes), 23) << other;
    }
    EXPECT_EQ(tessaron::backend::runJobDriver(nullptr, kFakes), 23);
    EXPECT_EQ(commandCalls, 1);
    EXPECT_EQ(rasterCalls, 6);
}

TEST_F(BackendEntry, SixOrSevenArgumentsAreAJobWhoseDriverGivesTheStatus) {
    setenv("CONTENT_TYPE", "application/vnd.cups-command", 1);
    EXPECT_EQ(run({"vantrelps", "1", "user", "title", "1", ""}), 17);
    setenv("CONTENT_TYPE", "application/vnd.cups-raster", 1);
    EXPECT_EQ(run({"vantrelps", "1", "user", "title", "1", "", "/tmp/file"}), 23);
    EXPECT_EQ(commandCalls, 1);
    EXPECT_EQ(rasterCalls, 1);
}

TEST_F(BackendEntry, OtherArgumentCountsPrintTheUsageLine) {
    const std::vector<std::vector<std::string>> wrong = {
        {"/usr/lib/cups/backend/vantrelps", "--Debug"},
        {"/usr/lib/cups/backend/vantrelps", "--debug", "x"},
        {"/usr/lib/cups/backend/vantrelps", "1", "2", "3"},
        {"/usr/lib/cups/backend/vantrelps", "1", "2", "3", "4"},
        {"/usr/lib/cups/backend/vantrelps", "1", "2", "3", "4", "5", "6", "7"},
    };
    for (const auto& args : wrong) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(run(args), 1) << args.size();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "usage: /usr/lib/cups/backend/vantrelps job-id user title copies options [file]\n");
    }
    EXPECT_EQ(commandCalls + rasterCalls, 0);
}

TEST_F(BackendEntry, TheLabQueryNeedsExactlyItsFlagAndOneURI) {
    EXPECT_EQ(run({"vantrelps", "--query-lab", "vantrelps://127.0.0.2"}), 29);
    EXPECT_EQ(queriedURI, "vantrelps://127.0.0.2");
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"vantrelps", "--query-lab"}), 1);
    EXPECT_EQ(run({"vantrelps", "--query-labs", "vantrelps://127.0.0.2"}), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(commandCalls + rasterCalls, 0);
}

}  // namespace

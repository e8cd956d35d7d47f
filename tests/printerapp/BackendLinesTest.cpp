// What the application reads back from the backend: message lines, device lines, and a child
// run bounded in time and output.
#include <gtest/gtest.h>

#include <chrono>

#include "BackendLines.h"
#include "ChildProcess.h"
#include "DeviceLines.h"

namespace tessaron::printerapptest {
namespace {

using namespace tessaron::printerapp;

TEST(BackendLines, EachPrefixIsReadAsTheSchedulerReadsIt) {
    EXPECT_EQ(parseBackendLine("PAGE: 3 1").kind, LineKind::Page);
    EXPECT_EQ(parseBackendLine("PAGE: 3 1").page, 3);
    EXPECT_EQ(parseBackendLine("PAGE: page-count 2").kind, LineKind::Other);
    const BackendLine added = parseBackendLine("STATE: +offline-report, connecting-to-device");
    EXPECT_EQ(added.added, (std::vector<std::string>{"offline-report", "connecting-to-device"}));
    const BackendLine removed = parseBackendLine("STATE: -offline-report");
    EXPECT_EQ(removed.removed, (std::vector<std::string>{"offline-report"}));
    EXPECT_TRUE(removed.added.empty());
    const BackendLine info = parseBackendLine("INFO: Printing image 1 ...");
    EXPECT_EQ(info.kind, LineKind::Info);
    EXPECT_EQ(info.text, "Printing image 1 ...");
    EXPECT_EQ(parseBackendLine("ERROR: Paper length exceeds maximum length: 30.50 cm").kind, LineKind::Error);
    EXPECT_EQ(parseBackendLine("CRIT: x").kind, LineKind::Error);
    EXPECT_EQ(parseBackendLine("ATTR: marker-levels=-3").kind, LineKind::Attr);
    EXPECT_EQ(parseBackendLine("DEBUG: anything: at all").kind, LineKind::Other);
    EXPECT_EQ(parseBackendLine("no prefix here").kind, LineKind::Other);
}

TEST(LineSplitter, LinesArriveWholeAcrossReadsAndOverlongOnesAreCut) {
    LineSplitter splitter;
    EXPECT_TRUE(splitter.feed("INFO: par").empty());
    EXPECT_EQ(splitter.feed("tial\nPAGE: 1 1\nrest"), (std::vector<std::string>{"INFO: partial", "PAGE: 1 1"}));
    EXPECT_EQ(splitter.finish(), "rest");
    const std::vector<std::string> lines = splitter.feed(std::string(3 * LineSplitter::kMaxLine, 'x') + "\nnext\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), LineSplitter::kMaxLine);
    EXPECT_EQ(lines[1], "next");
}

TEST(DeviceLines, OnlyMinilabsByAddressAreFound) {
    const auto devices = parseDeviceLines(
        "network vantrelps \"Unknown\" \"Vantrel Printing System\"\n"
        "network vantrelps://127.0.0.2 \"Vantrel Tessaron\" \"Vantrel Lab \\\"1\\\" (127.0.0.2)\"\n"
        "network vantrelps://127.0.0.3 \"Vantrel Tessaron\"\n"
        "direct usb://x \"a\" \"b\"\n"
        "network vantrelps:// \"a\" \"b\"\n");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].uri, "vantrelps://127.0.0.2");
    EXPECT_EQ(devices[0].info, "Vantrel Lab \"1\" (127.0.0.2)");
}

ChildCommand shell(const std::string& script) {
    return ChildCommand{"/bin/sh", {"sh", "-c", script}, {"PATH=/usr/bin:/bin"}};
}

TEST(ChildProcess, CapturedOutputIsBoundedAndTheStatusKept) {
    const CapturedRun run = runCaptured(shell("yes line | head -c 100000; echo oops >&2; exit 3"), std::chrono::seconds(20), 1000);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out.size(), 1000u);
}

TEST(ChildProcess, AChildPastItsDeadlineIsKilled) {
    const auto start = std::chrono::steady_clock::now();
    const CapturedRun run = runCaptured(shell("echo early; exec sleep 30"), std::chrono::milliseconds(300), 1000);
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(run.out, "early\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(ChildProcess, AMissingProgramIsNoChild) {
    EXPECT_FALSE(ChildProcess::start(ChildCommand{"/nonexistent/program", {"x"}, {}}, false).has_value());
}

}  // namespace
}  // namespace tessaron::printerapptest

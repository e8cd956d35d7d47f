// Runs the real backend in discovery mode against loopback responders.
#include "NetLock.h"
#include "Process.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using tessaron::test::BackgroundProcess;
using tessaron::test::NetLock;
using tessaron::test::ProcessResult;
using tessaron::test::ProcessSpec;

namespace {

// The line of a discovered minilab, and the first line, which names the scheme alone.
std::string deviceLine(const std::string& address, const std::string& name) {
    return "network vantrelps://" + address + " \"Vantrel Tessaron\" \"Vantrel " + name + " (" + address + ")\"\n";
}
const std::string kLine1 = "network vantrelps \"Unknown\" \"Vantrel Printing System\"\n";

ProcessSpec backend(std::vector<std::string> args = {}) {
    ProcessSpec spec;
    spec.program = VANTRELPS_PATH;
    spec.argv0 = "vantrelps";
    spec.args = std::move(args);
    spec.env["VANTRELPS_DISCOVERY_ADDRESS"] = "127.255.255.255";
    spec.timeout = 20000ms;
    return spec;
}

std::unique_ptr<BackgroundProcess> startResponder(std::vector<std::string> items) {
    ProcessSpec spec;
    spec.program = RESPONDER_PATH;
    spec.args = std::move(items);
    auto responder = std::make_unique<BackgroundProcess>(spec);
    EXPECT_TRUE(responder->waitForOutput("ready", 5000ms)) << responder->stderrSoFar();
    return responder;
}

class Discovery : public ::testing::Test {
protected:
    NetLock lock_;
};

TEST_F(Discovery, WithoutMinilabsListsTheGenericDeviceAloneAfterTheWindow) {
    const ProcessResult result = tessaron::test::runProcess(backend());
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kLine1);
    EXPECT_EQ(result.err, "");
    // The window is three seconds of a whole-second clock.
    EXPECT_GE(result.elapsed, 2000ms);
    EXPECT_LT(result.elapsed, 8000ms);
}

TEST_F(Discovery, RepliesAreListedInArrivalOrderWithoutDeduplication) {
    auto responder = startResponder({
        "--reply", "127.0.0.2=Lab 1",
        "--reply", "127.0.0.3=Lab 2",
        // A short datagram after a reply: the earlier reply's bytes must not make it one.
        "--raw", "127.0.0.3=000f00",
        "--reply", "127.0.0.2=Lab 1",
        // Longer than 44 bytes and unterminated: the name is cut to the 40 received bytes.
        "--raw", "127.0.0.3=000f0002" + std::string(2 * 50, '5') ,
        "--raw", "127.0.0.2=000f0001",
    });
    const ProcessResult result = tessaron::test::runProcess(backend());
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kLine1 + deviceLine("127.0.0.2", "Lab 1") + deviceLine("127.0.0.3", "Lab 2") +
                              deviceLine("127.0.0.2", "Lab 1") + deviceLine("127.0.0.3", std::string(40, 'U')));
    // Without --debug stray datagrams (the query echoed back included) leave no trace.
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(responder->waitForOutput("answered 127.0.0.1", 1000ms));
}

TEST_F(Discovery, DebugDumpsStrayDatagramsIncludingTheOwnQuery) {
    auto responder = startResponder({"--raw", "127.0.0.2=410aff", "--reply", "127.0.0.3=Lab 3"});
    const ProcessResult result = tessaron::test::runProcess(backend({"--debug"}));
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kLine1 + deviceLine("127.0.0.3", "Lab 3"));
    EXPECT_NE(result.err.find("Received 3 byte packet from 127.0.0.2: \"A\\12\\377\"\n"), std::string::npos)
        << result.err;
    std::string ownQuery = "Received 44 byte packet from 127.0.0.1: \"\\0\\17\\0\\1";
    for (int i = 0; i < 40; ++i) ownQuery += "\\0";
    ownQuery += "\"\n";
    EXPECT_NE(result.err.find(ownQuery), std::string::npos) << result.err;
}

TEST_F(Discovery, ANameCannotAddADeviceOrBreakItsLine) {
    // "Lab\n" + a device line of its own + "\"", then a name with a quote and a backslash.
    const std::string injected = "4c61620a6e6574776f726b20782022792200";  // Lab\nnetwork x "y"
    auto responder = startResponder({
        "--raw", "127.0.0.2=000f0002" + injected,
        "--reply", "127.0.0.3=A\"B\\C",
    });
    const ProcessResult result = tessaron::test::runProcess(backend());
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kLine1 +
                              "network vantrelps://127.0.0.2 \"Vantrel Tessaron\" "
                              "\"Vantrel Lab network x \\\"y\\\" (127.0.0.2)\"\n" +
                              "network vantrelps://127.0.0.3 \"Vantrel Tessaron\" \"Vantrel A\\\"B\\\\C (127.0.0.3)\"\n");
}

TEST_F(Discovery, AMistypedDestinationIsRefusedAndNothingIsSent) {
    for (const char* mistyped : {"127.255.255", "localhost", "127.255.255.255 ", ""}) {
        SCOPED_TRACE(mistyped);
        ProcessSpec spec = backend();
        spec.env["VANTRELPS_DISCOVERY_ADDRESS"] = mistyped;
        const ProcessResult result = tessaron::test::runProcess(spec);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "") << "discovery must not start";
        EXPECT_EQ(result.err, std::string("ERROR: VANTRELPS_DISCOVERY_ADDRESS \"") + mistyped +
                                  "\" is not a dotted IPv4 address; nothing was sent\n");
        EXPECT_LT(result.elapsed, 2000ms);
    }
}

TEST_F(Discovery, PortInUseWithoutSharingEndsWithStatusOne) {
    // A socket that does not allow sharing holds the port: the backend cannot bind.
    ProcessSpec spec;
    spec.program = RESPONDER_PATH;
    spec.args = {"--exclusive", "0.0.0.0"};
    BackgroundProcess holder(spec);
    ASSERT_TRUE(holder.waitForOutput("ready", 5000ms)) << holder.stderrSoFar();
    const ProcessResult result = tessaron::test::runProcess(backend());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "failed to bind\n");

    // A second responder cannot bind either; its "Address already in use" is not its "ready".
    BackgroundProcess loser(spec);
    EXPECT_FALSE(loser.waitForOutput("ready", 5000ms)) << loser.stdoutSoFar();
    EXPECT_TRUE(loser.waitForError("already in use", 5000ms)) << loser.stderrSoFar();
}

}  // namespace

TEST(BackendArguments, WrongCountsPrintUsageWithTheProgramName) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-d"}, {"--debug", "--debug"}, {"1", "2", "3"}, {"1", "2", "3", "4"},
             {"1", "2", "3", "4", "5", "6", "7"}}) {
        ProcessSpec spec = backend(args);
        spec.argv0 = "/usr/lib/cups/backend/vantrelps";
        const ProcessResult result = tessaron::test::runProcess(spec);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "usage: /usr/lib/cups/backend/vantrelps job-id user title copies options [file]\n");
    }
}

TEST(BackendArguments, JobArgumentsReachAJobDriverNotDiscovery) {
    for (const char* type : {"application/vnd.cups-command", "application/vnd.cups-raster"}) {
        ProcessSpec spec = backend({"1", "tester", "title", "1", ""});
        spec.env["CONTENT_TYPE"] = type;
        spec.unsetEnv = {"DEVICE_URI", "PRINTER", "PPD"};
        spec.stdinData = "";
        spec.timeout = 30000ms;
        const ProcessResult result = tessaron::test::runProcess(spec);
        EXPECT_FALSE(result.timedOut) << type;
        EXPECT_EQ(result.out.find("network vantrelps"), std::string::npos) << type;
        EXPECT_EQ(result.err.find("usage:"), std::string::npos) << type;
    }
}

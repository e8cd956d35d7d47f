// The emulator as the backend's discovery meets it: the real vantrelps, run as CUPS runs it
// during printer set-up, lists the emulated labs of the shipped example configurations.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "MinilabProcess.h"
#include "NetLock.h"
#include "Process.h"
#include "TempDir.h"

using namespace std::chrono_literals;
using namespace tessaron::test;

namespace {

const std::string kLine1 = "network vantrelps \"Unknown\" \"Vantrel Printing System\"\n";

std::string deviceLine(const std::string& address, const std::string& name) {
    return "network vantrelps://" + address + " \"Vantrel Tessaron\" \"Vantrel " + name + " (" + address + ")\"\n";
}

size_t occurrences(const std::string& text, const std::string& line) {
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
}

ProcessResult discover() {
    ProcessSpec spec;
    spec.program = VANTRELPS_PATH;
    spec.argv0 = "vantrelps";
    spec.env["VANTRELPS_DISCOVERY_ADDRESS"] = "127.255.255.255";
    spec.timeout = 20000ms;
    return runProcess(spec);
}

MinilabOptions example(const std::string& file, const std::string& store) {
    MinilabOptions o;
    o.program = TESSARON_MINILAB_PATH;
    o.configFile = std::string(TESSARON_SOURCE_DIR) + "/tools/minilab/examples/" + file;
    o.address.clear();   // the configuration's own addresses
    o.storeDir = store;
    return o;
}

class MinilabDiscovery : public ::testing::Test {
protected:
    NetLock lock;
    TempDir dir;
};

// Other labs on loopback (a colleague's emulator) may answer too: the lines of ours must
// each be there exactly once, after the generic line.
TEST_F(MinilabDiscovery, BackendListsTheExampleLab) {
    MinilabProcess lab(example("lab.json", dir.file("orders")));
    ASSERT_TRUE(lab.ready()) << lab.log();
    const ProcessResult r = discover();
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.rfind(kLine1, 0), 0u) << r.out;
    EXPECT_EQ(occurrences(r.out, deviceLine("127.0.0.2", "Lab 1")), 1u) << r.out;
    EXPECT_TRUE(lab.waitForLog("discovery: query from 127.0.0.1")) << lab.log();
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("orders")));
    EXPECT_EQ(lab.stop().exitStatus, 0);
}

TEST_F(MinilabDiscovery, BackendListsBothLabsOfOneEmulator) {
    MinilabProcess labs(example("two-labs.json", dir.file("orders")));
    ASSERT_TRUE(labs.ready()) << labs.log();
    const ProcessResult r = discover();
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(occurrences(r.out, deviceLine("127.0.0.2", "Lab A")), 1u) << r.out;
    EXPECT_EQ(occurrences(r.out, deviceLine("127.0.0.3", "Lab B")), 1u) << r.out;
    // Each lab keeps its orders apart.
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("orders/127.0.0.2")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("orders/127.0.0.3")));
    EXPECT_EQ(labs.stop().exitStatus, 0);
}

}  // namespace

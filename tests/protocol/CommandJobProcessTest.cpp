// The command driver run as CUPS runs it: the command file through commandtovantrel into
// vantrelps (six arguments, CONTENT_TYPE, DEVICE_URI, PPD), the filters' own command lines, and
// the backend's state lines while the minilab cannot be reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>

#include "KeyedArchiveReader.h"
#include "MinilabProcess.h"
#include "NetLock.h"
#include "Process.h"
#include "TempDir.h"
#include "TextLines.h"

using namespace tessaron::test;

namespace {

constexpr const char* kAddress = "127.0.0.13";
constexpr const char* kUnreachable = "127.0.0.19";
constexpr const char* kCommandFile = "#CUPS-COMMAND\nReportStatus\nAutoConfigure\n";

constexpr const char* kLab = R"({"name": "Lab 13", "infoName": "JRX-13", "apiVersion": "3.0.0.0",
    "extraFeatures": true, "duplex": true, "papers": [
    {"source": "roll", "width": 1270, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 2540},
    {"source": "sheet", "name": "A4", "width": 2100, "surface": 1, "resolution": 3000, "lmin": 2970, "lmax": 2970}]})";

constexpr const char* kPPD = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                             "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"TEST.PPD\"\n"
                             "*Manufacturer: \"Vantrel\"\n*Product: \"(JRX)\"\n*ModelName: \"Vantrel JRX\"\n"
                             "*ShortNickName: \"Vantrel JRX\"\n*NickName: \"Vantrel JRX\"\n*PSVersion: \"(3010.000) 0\"\n"
                             "*LanguageLevel: \"3\"\n*ColorDevice: True\n*DefaultColorSpace: RGB\n*FileSystem: False\n"
                             "*Throughput: \"1\"\n*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n";

// Follows the archive's UIDs from $top.root and prints each paper key with a few fields.
const std::string kArchiveReader = std::string(tessaron::test::kKeyedArchiveResolver) + R"(
import base64, sys
archive = plistlib.loads(base64.b64decode(open(sys.argv[1]).read()))
assert archive["$archiver"] == "NSKeyedArchiver", archive["$archiver"]
root = resolve(archive["$objects"], archive["$top"]["root"])
for key in sorted(root):
    paper = root[key]
    extra = " paperName=" + paper["paperName"] if "paperName" in paper else " paperLMax=%d" % paper["paperLMax"]
    print("%s%s paperSource=%d" % (key, extra, paper["paperSource"]))
)";

ProcessSpec asCUPSRunsIt(const std::string& program, const std::string& uri, const std::string& ppd) {
    ProcessSpec spec;
    spec.program = program;
    // The scheduler names a backend by its device URI and a filter by the queue.
    spec.argv0 = program == VANTRELPS_PATH ? uri : std::string("lab");
    spec.args = {"42", "tester", "refresh", "1", ""};
    spec.env = {{"CONTENT_TYPE", "application/vnd.cups-command"},
                {"DEVICE_URI", uri},
                {"PPD", ppd},
                {"VANTRELPS_DISCOVERY_ADDRESS", "127.255.255.255"},
                {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tessaron-test-bus"}};
    spec.timeout = std::chrono::milliseconds(60000);
    return spec;
}

class CommandJobProcessTest : public ::testing::Test {
protected:
    // The catalogue in saved "PPD: JRXPapersKnown" chunks, as the independent reader prints it.
    ProcessResult readSavedCatalogue(const std::vector<std::string>& chunks) {
        std::string base64;
        for (const auto& chunk : chunks) base64 += chunk.substr(chunk.find('=') + 1);
        base64.erase(std::remove(base64.begin(), base64.end(), '"'), base64.end());
        ProcessSpec reader;
        reader.program = "/usr/bin/python3";
        reader.args = {"-c", kArchiveReader, dir_.write("catalogue.b64", base64)};
        return runProcess(reader);
    }

    TempDir dir_;
    NetLock lock_;
};

TEST_F(CommandJobProcessTest, RefreshWritesCapabilitiesAndCatalogue) {
    MinilabOptions options;
    options.program = TESSARON_MINILAB_PATH;
    options.configJson = kLab;
    options.address = kAddress;
    MinilabProcess lab(options);
    ASSERT_TRUE(lab.ready()) << lab.log();
    const std::string ppd = dir_.write("test.ppd", kPPD);

    // The filter copies its standard input (six arguments) unchanged.
    ProcessSpec filter = asCUPSRunsIt(COMMANDTOVANTREL_PATH, "vantrelps://127.0.0.13", ppd);
    filter.stdinData = kCommandFile;
    const ProcessResult filtered = runProcess(filter);
    ASSERT_EQ(filtered.exitStatus, 0) << filtered.err;
    EXPECT_EQ(filtered.out, kCommandFile);

    ProcessSpec backend = asCUPSRunsIt(VANTRELPS_PATH, "vantrelps://127.0.0.13", ppd);
    backend.stdinData = filtered.out;
    const ProcessResult r = runProcess(backend);
    ASSERT_EQ(r.exitStatus, 0) << r.err;

    const auto capability = linesStartingWith(r.err, "PPD: ");
    ASSERT_FALSE(capability.empty()) << r.err;
    EXPECT_TRUE(std::regex_match(capability[0],
                                 std::regex(R"(PPD: +JRXExtraFeatures="True" JRXDuplex="True" JRXAPIVersion="3\.0\.0\.0" )"
                                            R"(JRXDeviceName="JRX-13" JRXDeviceIP4Addr="127\.0\.0\.13" JRXTimeStamp="[0-9]+")")))
        << capability[0];
    // The catalogue follows in numbered chunks, the last one empty.
    const auto chunks = linesStartingWith(r.err, "PPD: JRXPapersKnown");
    ASSERT_GE(chunks.size(), 2u) << r.err;
    EXPECT_EQ(chunks.front().rfind("PPD: JRXPapersKnown00000=YnBsaXN0MD", 0), 0u) << chunks.front();  // "bplist0"
    EXPECT_EQ(chunks.back().substr(chunks.back().size() - 3), "=\"\"") << chunks.back();
    EXPECT_NE(r.err.find("STATE: -connecting-to-device,offline-report"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("DEBUG: vantrelps: finished with this job (vantrelps v1089)"), std::string::npos) << r.err;
    // Paper remaining per magazine for the queue's supply levels, after the catalogue.
    const auto markers = linesStartingWith(r.err, "ATTR: ");
    ASSERT_EQ(markers.size(), 1u) << r.err;
    EXPECT_TRUE(std::regex_search(markers[0], std::regex(R"(marker-names="\\".* left\\")")) &&
                markers[0].find("marker-types=\"other") != std::string::npos && markers[0].find("marker-levels=\"") != std::string::npos)
        << markers[0];
    EXPECT_GT(r.err.find("ATTR: "), r.err.find("PPD: JRXPapersKnown00000"));

    // An independent keyed-archive reader resolves the catalogue from the saved chunks.
    const ProcessResult decoded = readSavedCatalogue(chunks);
    ASSERT_EQ(decoded.exitStatus, 0) << decoded.err;
    EXPECT_EQ(decoded.out, "A4-r300 paperName=A4 paperSource=1\nw1270s1r300 paperLMax=2540 paperSource=0\n");
    EXPECT_NE(lab.log().find("JRX_GET_PAPER_AD"), std::string::npos) << lab.log();
}

TEST_F(CommandJobProcessTest, MorePapersThanTheDriverKeepsAreCutAndSaidSo) {
    std::string papers;
    for (int i = 0; i < 2100; ++i)
        papers += std::string(i ? ", " : "") + R"({"source": "roll", "width": )" + std::to_string(1000 + i) +
                  R"(, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 2540})";
    MinilabOptions options;
    options.program = TESSARON_MINILAB_PATH;
    options.configJson = R"({"name": "Lab 13", "apiVersion": "3.0.0.0", "extraFeatures": true, "papers": [)" + papers + "]}";
    options.address = kAddress;
    MinilabProcess lab(options);
    ASSERT_TRUE(lab.ready()) << lab.log();
    ProcessSpec backend = asCUPSRunsIt(VANTRELPS_PATH, "vantrelps://127.0.0.13", dir_.write("test.ppd", kPPD));
    backend.stdinData = kCommandFile;
    const ProcessResult r = runProcess(backend);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const auto warnings = linesStartingWith(r.err, "WARN");
    ASSERT_EQ(warnings.size(), 1u) << r.err;
    EXPECT_NE(warnings[0].find("The printer lists 2100 papers; only the first 2048 are kept."), std::string::npos)
        << warnings[0];
    // The first 2048 papers are saved as the catalogue.
    const ProcessResult decoded = readSavedCatalogue(linesStartingWith(r.err, "PPD: JRXPapersKnown"));
    ASSERT_EQ(decoded.exitStatus, 0) << decoded.err;
    EXPECT_EQ(std::count(decoded.out.begin(), decoded.out.end(), '\n'), 2048) << decoded.out.substr(0, 200);
    EXPECT_NE(decoded.out.find("w3047s1r300 "), std::string::npos);
    EXPECT_EQ(decoded.out.find("w3048s1r300 "), std::string::npos);
}

TEST_F(CommandJobProcessTest, TheLabQueryReportsOneRecordPerLineAndOfflineWhenNobodyAnswers) {
    MinilabOptions options;
    options.program = TESSARON_MINILAB_PATH;
    options.configJson = kLab;
    options.address = kAddress;
    auto lab = std::make_unique<MinilabProcess>(options);
    ASSERT_TRUE(lab->ready()) << lab->log();
    ProcessSpec query;
    query.program = VANTRELPS_PATH;
    query.args = {"--query-lab", std::string("vantrelps://") + kAddress};
    query.env = {{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tessaron-test-bus"}};
    query.timeout = std::chrono::milliseconds(30000);
    const ProcessResult r = runProcess(query);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.rfind("lab\tname=JRX-13\tapi=3.0.0.0\taddress=127.0.0.13\textended=1\tduplex=1\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nstatus\tstate=0\tstate-name=JRX_STATE_IDLE\treceive=1\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\npaper\tkey=A4-r300\tsource=1\tname=A4\twidth=2100\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\npaper\tkey=w1270s1r300\tsource=0\tname=\twidth=1270\t"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 4), "end\n");
    EXPECT_EQ(linesStartingWith(r.out, "paper").size(), 2u);

    lab.reset();
    const ProcessResult away = runProcess(query);
    EXPECT_EQ(away.exitStatus, 0) << away.err;
    EXPECT_EQ(away.out, "offline\n") << "a lab that is away is said so at once, not waited for";
}

TEST_F(CommandJobProcessTest, UnreachableMinilabIsReportedOfflineWithoutGivingUp) {
    const std::string ppd = dir_.write("test.ppd", kPPD);
    ProcessSpec spec = asCUPSRunsIt(VANTRELPS_PATH, std::string("vantrelps://") + kUnreachable, ppd);
    spec.stdinData = kCommandFile;
    BackgroundProcess backend(spec);
    // The connection is retried without limit: the backend is still running when stopped.
    ASSERT_TRUE(backend.waitForError("STATE: +offline-report", std::chrono::milliseconds(30000))) << backend.stderrSoFar();
    // No reply is invented and no success reported while the minilab is away.
    EXPECT_EQ(backend.stderrSoFar().find("PPD:"), std::string::npos) << backend.stderrSoFar();
    EXPECT_TRUE(backend.running());
    backend.signal(SIGTERM);
    backend.wait(std::chrono::milliseconds(10000));
}

TEST_F(CommandJobProcessTest, FiltersCopyTheNamedFileAndAnswerTheirCommandLine) {
    const std::string input = dir_.write("commands", kCommandFile);
    for (const char* program : {COMMANDTOVANTREL_PATH, RASTERTOVANTREL_PATH}) {
        ProcessSpec spec;
        spec.program = program;
        spec.args = {"7", "tester", "title", "1", "", input};
        const ProcessResult copied = runProcess(spec);
        EXPECT_EQ(copied.exitStatus, 0) << program << copied.err;
        EXPECT_EQ(copied.out, kCommandFile) << program;

        spec.args = {"--version"};
        const ProcessResult version = runProcess(spec);
        EXPECT_EQ(version.exitStatus, 0) << program;
        EXPECT_FALSE((version.out + version.err).empty()) << program;

        spec.args = {"only", "two"};
        const ProcessResult usage = runProcess(spec);
        EXPECT_NE(usage.exitStatus, 0) << program;
        const std::string name = std::string(program).substr(std::string(program).rfind('/') + 1);
        EXPECT_NE((usage.out + usage.err).find("USAGE: " + name + " job-id user title copies options [file]"),
                  std::string::npos)
            << program << usage.out << usage.err;
    }
}

}  // namespace

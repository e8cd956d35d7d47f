// Printer information, status and the error list against the emulated minilab, and the
// protocol version the client speaks after each version a minilab may report.
#include <regex>

#include "ProtocolTestSupport.h"

using namespace tessaron::protocoltest;

namespace {

constexpr const char* kAddress = "127.0.0.10";

std::string labWithVersion(const std::string& version, bool extra, bool duplex) {
    return std::string("{\"name\": \"Lab 10\", \"infoName\": \"JRX-10\", \"apiVersion\": \"") + version +
           "\", \"extraFeatures\": " + (extra ? "true" : "false") + ", \"duplex\": " + (duplex ? "true" : "false") +
           ", \"papers\": [" + rollPaper(1270, 1, 3000, 890, 2540) + ", " + sheetPaper("A4", 2100, 1, 3000, 2970, 2970) +
           "]}";
}

class InformationTest : public ProtocolTest {};

TEST_F(InformationTest, AsynchronousInformationWritesTheDescriptionLine) {
    auto job = clientOfLab(kAddress, labWithVersion("3.0.0.0", true, true));
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_TRUE(job->getInfoAsync());
    const std::string& text = log.text();

    EXPECT_EQ(job->printerName(), "JRX-10");
    EXPECT_EQ(job->printerIP4Address(), "127.0.0.10");
    EXPECT_EQ(job->printerAPIVersion(), "3.0.0.0");
    EXPECT_TRUE(job->extraFeatures());
    EXPECT_TRUE(job->canDuplex());
    EXPECT_TRUE(job->fastPrint());
    EXPECT_EQ(job->maxFramesPerJob(), 9999);
    EXPECT_TRUE(job->boolValueForKey(tessaron::jrx::keys::kExtraFeatures));
    ASSERT_NE(job->valueForKey<std::int64_t>(tessaron::jrx::keys::kMaxFramesPerJob), nullptr);
    EXPECT_EQ(*job->valueForKey<std::int64_t>(tessaron::jrx::keys::kMaxFramesPerJob), 9999);
    // The reply completed the operation: no timer left, connection closed.
    EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer));
    EXPECT_EQ(job->nativeSocket(), -1);

    const auto ppd = linesStartingWith(text, "PPD:");
    ASSERT_EQ(ppd.size(), 1u) << text;
    EXPECT_TRUE(std::regex_match(ppd[0], std::regex(R"(PPD: +JRXExtraFeatures="True" JRXDuplex="True" JRXAPIVersion="3\.0\.0\.0" )"
                                                    R"(JRXDeviceName="JRX-10" JRXDeviceIP4Addr="127\.0\.0\.10" JRXTimeStamp="[0-9]+")")))
        << ppd[0];
    EXPECT_NE(text.find("STATE: -connecting-to-device,offline-report"), std::string::npos) << text;
    EXPECT_NE(text.find("WILL do FAST PRINT"), std::string::npos);
}

TEST_F(InformationTest, SynchronousInformationAgreesWithTheAsynchronousOne) {
    auto job = clientOfLab(kAddress, labWithVersion("3.0.0.0", true, false));
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_TRUE(job->getInfo());
    EXPECT_EQ(job->printerName(), "JRX-10");
    EXPECT_TRUE(job->extraFeatures());
    EXPECT_FALSE(job->canDuplex());
    EXPECT_NE(log.text().find("JRXDuplex=\"False\""), std::string::npos);
    EXPECT_NE(log.text().find("sent reply 0 (JRX_SUCCESS) for command 01H (JRX_GET_PRINTER_INFO)"), std::string::npos)
        << log.text();
}

struct VersionCase {
    const char* reported;
    std::uint32_t spoken;  // the header's version after the information reply
    std::int64_t maxFrames;
    bool fastPrint, extended;
};

class ProtocolVersionTest : public ProtocolTest, public ::testing::WithParamInterface<VersionCase> {};

// After the information reply every further command of the job carries the clamped version,
// and the minilab (which refuses a version above the one it speaks) accepts it.
TEST_P(ProtocolVersionTest, LaterCommandsSpeakTheClampedVersion) {
    const VersionCase c = GetParam();
    auto job = clientOfLab(kAddress, labWithVersion(c.reported, true, true));
    ASSERT_TRUE(job);
    LogCapture log;
    ASSERT_TRUE(job->getInfoAsync());
    EXPECT_EQ(job->printerAPIVersion(), c.reported);
    EXPECT_EQ(job->headerAPIVersion(), c.spoken);
    EXPECT_EQ(job->clientInfo().Version, c.spoken);
    EXPECT_EQ(job->maxFramesPerJob(), c.maxFrames);
    EXPECT_EQ(job->fastPrint(), c.fastPrint);
    EXPECT_EQ(job->extraFeatures(), c.extended);
    EXPECT_EQ(job->canDuplex(), c.extended);

    EXPECT_TRUE(job->getTessaronStatusAsync(true));
    const auto papers = job->getRegisteredPapersAsync();
    ASSERT_TRUE(papers) << minilab().log();
    // Plain lists hold roll papers only; extended ones also the named sheet papers.
    std::string keys;
    for (const auto& [key, paper] : *papers) keys += key + " ";
    EXPECT_EQ(papers->count("w1270s1r300"), 1u) << keys;
    EXPECT_EQ(papers->count("A4-r300"), c.extended ? 1u : 0u) << keys;
    EXPECT_EQ(papers->size(), c.extended ? 2u : 1u) << keys;
    EXPECT_EQ(countOf(minilab().log(), "-> 0 JRX_SUCCESS"), 3) << minilab().log();
    log.text();
}

INSTANTIATE_TEST_SUITE_P(Versions, ProtocolVersionTest,
                         ::testing::Values(VersionCase{"1.0.0.0", 0x01000501, 999, false, false},
                                           VersionCase{"1.0.5.1", 0x01000501, 999, false, false},
                                           VersionCase{"2.1.0.0", 0x02010000, 9999, false, false},
                                           VersionCase{"2.2.0.0", 0x02020000, 9999, true, false},
                                           VersionCase{"3.0.0.0", 0x03000000, 9999, true, true},
                                           VersionCase{"3.1.0.0", 0x03000000, 9999, true, true}));

TEST_F(InformationTest, ApiOverrideLowersTheVersionOnly) {
    auto job = clientOfLab(kAddress, labWithVersion("3.2.0.0", true, true));
    ASSERT_TRUE(job);
    job->setValueForKey(tessaron::jrx::keys::kCUPSPrintJobOptions, JRXJobOptions{{"TessaronAPI", "0x02000000"}});
    LogCapture log;
    ASSERT_TRUE(job->getInfoAsync());
    EXPECT_EQ(job->printerAPIVersion(), "2.0.0.0");
    EXPECT_EQ(job->headerAPIVersion(), 0x02000000u);
    EXPECT_EQ(job->maxFramesPerJob(), 9999);
    EXPECT_FALSE(job->fastPrint());
    EXPECT_FALSE(job->canDuplex());
    EXPECT_NE(log.text().find("User selected to override the API version to 2.0.0.0"), std::string::npos);
}

TEST_F(InformationTest, BusyStatusSequenceThenReady) {
    auto job = clientOfLab(kAddress, R"({"apiVersion": "3.0.0.0", "imageFormats": 3,
        "status": [{"busy": true, "repeat": 2}, {"state": 0, "receive": 0}]})");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_FALSE(job->getTessaronStatusAsync(true));
    // The status handler leaves the operation armed; the next request reuses the timer.
    ASSERT_TRUE(job->hasValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer));
    const auto timer = *job->valueForKey<tessaron::RunLoop::SourceId>(tessaron::jrx::keys::kAsyncDataRunLoopTimer);
    EXPECT_FALSE(job->getTessaronStatus());
    EXPECT_TRUE(job->getTessaronStatusAsync(true));
    EXPECT_TRUE(job->getTessaronStatusAsync(true));
    EXPECT_EQ(*job->valueForKey<tessaron::RunLoop::SourceId>(tessaron::jrx::keys::kAsyncDataRunLoopTimer), timer);
    job->cleanupAfterAsync();
    EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer));

    const std::string& text = log.text();
    // The state is described once, from the first status.
    EXPECT_EQ(countOf(text, "JRX state: "), 1) << text;
    EXPECT_NE(text.find("JRX state: JRX_STATE_PRINT"), std::string::npos);
    EXPECT_NE(text.find("JRX able to receive: NO"), std::string::npos);
    EXPECT_NE(text.find("JRX supported image formats: (JPEG, BMP)"), std::string::npos);
    EXPECT_EQ(countOf(minilab().log(), "JRX_GET_STATUS"), 4) << minilab().log();
}

TEST_F(InformationTest, ErrorListBecomesRecoverableReports) {
    auto job = clientOfLab(kAddress, R"({"apiVersion": "3.0.0.0", "errors": [
        {"number": 1, "mainError": 5000, "subError": 2, "level": 1, "message": "Paper\tjam \u00e9!"},
        {"number": 2, "mainError": 4999, "subError": 0, "level": 0, "message": "Cover open"}]})");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_EQ(job->getErrorStatus(), 2u);
    const std::string& text = log.text();
    EXPECT_NE(text.find("Printer reported Error 5000"), std::string::npos) << text;
    EXPECT_NE(text.find("Printer reported Attention 4999"), std::string::npos) << text;
    // Characters outside 0x20-0x7D are removed from the message.
    EXPECT_NE(text.find("message = \"Paperjam !\""), std::string::npos) << text;
    EXPECT_NE(text.find("Received 2 errors from host"), std::string::npos);
    EXPECT_EQ(text.find("ERROR! expected"), std::string::npos);

    // The list was reported once: the next request finds none.
    LogCapture again;
    EXPECT_EQ(job->getErrorStatus(), 0u);
}

}  // namespace

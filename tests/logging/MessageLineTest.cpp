// The one writer of CUPS lines: whatever a minilab or a job puts into a value, the scheduler
// reads back exactly one line, the intended options, and the value itself.
#include "LogTestSupport.h"
#include "PLUMEX_CUPSMessageLine.h"
#include "PLUMEX_CUPSPrintJob.h"

#include <cups/cups.h>

#include <string>
#include <utility>
#include <vector>

using tessaron::printjob::deviceLine;
using tessaron::printjob::lineSafeText;
using tessaron::printjob::messageLine;
using tessaron::printjob::ppdUpdateText;

namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

// Hostile texts as a minilab's 20-byte name or a paper name may carry them.
const std::vector<std::string> kHostile = {
    "X\" JRXHack=\"1",
    "Lab\nSTATE: +media-empty-error",
    "Lab\r\nPPD: JRXHack=1",
    "back\\slash\\",
    "\\\"",
    "it's 'quoted'",
    "tab\there",
    std::string("nul\0byte", 8),
    "del\x7f and C1 \xC2\x85 next line",
    "Pap\xA7r",
    "cut \xE2\x82",
    "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x93\xB7",
    "{collection=1}",
    "a,b c=d",
    "",
};

bool hasControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

TEST(MessageLine, InvalidUtf8BecomesOneReplacementPerByteAndControlsBecomeBlanks) {
    EXPECT_EQ(lineSafeText("Pap\xA7r"), "Pap" + kFFFD + "r");
    EXPECT_EQ(lineSafeText("cut \xE2\x82"), "cut " + kFFFD + kFFFD);
    EXPECT_EQ(lineSafeText("\xC0\xAF"), kFFFD + kFFFD) << "overlong forms are not UTF-8";
    EXPECT_EQ(lineSafeText("\xED\xA0\x80"), kFFFD + kFFFD + kFFFD) << "surrogates are not UTF-8";
    EXPECT_EQ(lineSafeText("\xF4\x90\x80\x80"), kFFFD + kFFFD + kFFFD + kFFFD) << "beyond U+10FFFF";
    EXPECT_EQ(lineSafeText("a\nb\rc\td\x7f" "e\xC2\x85" "f"), "a b c d e f");
    const std::string kept = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x93\xB7 \"q\" \\";
    EXPECT_EQ(lineSafeText(kept), kept) << "valid text stays as it stands";
}

TEST(MessageLine, EveryValueReadsBackWholeThroughTheSchedulersOptionParser) {
    for (const std::string& value : kHostile) {
        SCOPED_TRACE(value);
        const std::string text =
            ppdUpdateText({{"JRXDeviceName", value}, {"JRXDeviceIP4Addr", "127.0.0.30"}, {"JRXTimeStamp", "1"}});
        const std::string line = messageLine("PPD", text);
        ASSERT_EQ(line.find('\n'), line.size() - 1) << "exactly one line";
        EXPECT_FALSE(hasControlCharacter(line.substr(0, line.size() - 1)));

        cups_option_t* options = nullptr;
        const int count = cupsParseOptions(line.c_str() + 4, 0, &options);
        ASSERT_EQ(count, 3) << line;
        EXPECT_STREQ(cupsGetOption("JRXDeviceName", count, options), lineSafeText(value).c_str()) << line;
        EXPECT_STREQ(cupsGetOption("JRXDeviceIP4Addr", count, options), "127.0.0.30") << line;
        EXPECT_STREQ(cupsGetOption("JRXTimeStamp", count, options), "1") << line;
        cupsFreeOptions(count, options);
    }
}

TEST(MessageLine, NamesThatCannotStandAsKeywordsAreRefused) {
    std::vector<std::string> refused;
    const std::string text = ppdUpdateText(
        {{"Good", "1"}, {"", "2"}, {"a b", "3"}, {"a=b", "4"}, {"a\"b", "5"}, {"K\n", "6"}, {std::string(41, 'k'), "7"},
         {std::string(40, 'k'), "8"}},
        &refused);
    EXPECT_EQ(text, " Good=\"1\" " + std::string(40, 'k') + "=\"8\"");
    EXPECT_EQ(refused.size(), 6u);
}

TEST(MessageLine, DeviceLinesKeepOneLineAndFourFieldsWhateverTheName) {
    EXPECT_EQ(deviceLine("network", "vantrelps://192.168.1.20", "Vantrel Tessaron", "Vantrel Lab 1 (192.168.1.20)"),
              "network vantrelps://192.168.1.20 \"Vantrel Tessaron\" \"Vantrel Lab 1 (192.168.1.20)\"\n");
    EXPECT_EQ(deviceLine("network", "vantrelps://1.2.3.4", "Vantrel Tessaron", "Vantrel a\"b\\c\nnetwork x \"y\""),
              "network vantrelps://1.2.3.4 \"Vantrel Tessaron\" \"Vantrel a\\\"b\\\\c network x \\\"y\\\"\"\n");
    EXPECT_EQ(deviceLine("net work", "u r\ni", "m", "i"), "net%20work u%20r%20i \"m\" \"i\"\n");
}

TEST_F(LoggingTest, StandardErrorLinesCannotBeSplitByTheirText) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    PLUMEX_CUPSLog::err("lab %s is busy", "X\nSTATE: +media-empty-error");
    PLUMEX_CUPSLog::stateSet("offline-report\nPPD: JRXHack=1");
    PLUMEX_CUPSLog::logLevelMessage(PLUMEX_CUPSLog::kLevelInfo, "Pap\xA7r\r");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: lab X STATE: +media-empty-error is busy\n"
              "STATE: +offline-report PPD: JRXHack=1\n"
              "INFO: Pap" + kFFFD + "r \n");
}

TEST_F(LoggingTest, APpdUpdateWithAnOpenQuoteIsRefusedNotWritten) {
    EXPECT_TRUE(tessaron::printjob::quotesBalanced(R"( A="x \" y" B="\\")"));
    EXPECT_FALSE(tessaron::printjob::quotesBalanced(R"( A="x \\" y")"));
    EXPECT_FALSE(tessaron::printjob::quotesBalanced(" La\xC3\xA9\""));
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    PLUMEX_CUPSLog::setApplicationName("vantrelps");
    testing::internal::CaptureStderr();
    // A ready-made update text whose quote never closes would take the next pair into its value.
    PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::string(" JRXDeviceName=\"Lab JRXDuplex=True"));
    PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::string>{"JRXDuplex=\"True"});
    PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::string(" JRXDuplex=\"True\""));
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.find("PPD: JRXDeviceName"), std::string::npos) << out;
    EXPECT_EQ(out.find("PPD:  JRXDuplex=\"True\n"), std::string::npos) << out;
    EXPECT_NE(out.find("PPD:  JRXDuplex=\"True\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("DEBUG: vantrelps: bad \"PPD:key=value\" update object: JRXDeviceName"), std::string::npos)
        << out;
}

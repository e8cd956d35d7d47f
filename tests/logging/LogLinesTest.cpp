#include "LogTestSupport.h"
#include "PLUMEX_CUPSLogState.h"
#include "TempDir.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include <cstdlib>
#include <regex>

using tessaron::test::readFile;
using tessaron::test::TempDir;

namespace {

// Strips the time stamp so file lines can be compared exactly; checks its shape on the way.
std::string withoutStamp(const std::string& line) {
    static const std::regex stamp(R"(^(\S+) \[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3} [+-]\d{4}\](.*)$)");
    std::smatch match;
    if (!std::regex_match(line, match, stamp)) return "<bad stamp> " + line;
    return match[1].str() + match[2].str();
}

}  // namespace

TEST_F(LoggingTest, LevelsGiveTheirWordOnStandardErrorAndTagInTheFile) {
    TempDir dir;
    ASSERT_TRUE(PLUMEX_CUPSLog::setLogFile(dir.file("t.log")));
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    for (int level : {0, 1, 2, 3, 4, 32, 7, -1}) PLUMEX_CUPSLog::logLevelMessage(level, "m" + std::to_string(level));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "INFO: m0\nDEBUG: app: m1\nDEBUG2: app: m2\nERROR: m3\nWARN: m4\nPPD: m32\nDEBUG: app: m7\nDEBUG: app: m-1\n");
    std::vector<std::string> lines;
    for (const auto& line : splitLines(readFile(dir.file("t.log")))) lines.push_back(withoutStamp(line));
    EXPECT_EQ(lines, (std::vector<std::string>{"I m0", "D m1", "D2 m2", "E m3", "W m4", "P m32", "D m7", "D m-1"}));
}

TEST_F(LoggingTest, ApplicationNameInFileLinesOnlyWhenAskedFor) {
    TempDir dir;
    ASSERT_TRUE(PLUMEX_CUPSLog::setLogFile(dir.file("t.log")));
    PLUMEX_CUPSLog::err("cannot reach the printer");
    PLUMEX_CUPSLog::setShouldLogAppName(true);
    PLUMEX_CUPSLog::err("again");
    const auto lines = splitLines(readFile(dir.file("t.log")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(withoutStamp(lines[0]), "E cannot reach the printer");
    EXPECT_EQ(withoutStamp(lines[1]), "E app: again");
}

TEST_F(LoggingTest, DebugSplitsAtLineFeedsKeepingEmptyPieces) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    PLUMEX_CUPSLog::debug("a\nb\n");
    PLUMEX_CUPSLog::debug("%d%%\t%s", 5, "whole");
    PLUMEX_CUPSLog::logLevelMessage(1, "x\ny");  // the writer never splits: a line feed is a blank
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DEBUG: app: a\nDEBUG: app: b\nDEBUG: app: \nDEBUG: app: 5% whole\nDEBUG: app: x y\n");
}

TEST_F(LoggingTest, NothingIsKeptBeforeAnyOutputIsOn) {
    TempDir dir;
    PLUMEX_CUPSLog::err("lost");
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    PLUMEX_CUPSLog::logLevelMessage(0, "one");
    PLUMEX_CUPSLog::err("two");
    PLUMEX_CUPSLog::debug("three");
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(PLUMEX_CUPSLog::setLogFile(dir.file("t.log")));
    PLUMEX_CUPSLog::setShouldLogToStdErr(false);
    PLUMEX_CUPSLog::err("four");
    std::vector<std::string> lines;
    for (const auto& line : splitLines(readFile(dir.file("t.log")))) lines.push_back(withoutStamp(line));
    EXPECT_EQ(lines, (std::vector<std::string>{"I one", "E two", "D three", "E four"}));
}

TEST_F(LoggingTest, PreFileBufferKeepsTheNewestMillionCharacters) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    const std::string filler(90, 'x');
    for (int i = 0; i < 13000; ++i) PLUMEX_CUPSLog::err("%05d %s", i, filler.c_str());
    testing::internal::GetCapturedStderr();
    TempDir dir;
    ASSERT_TRUE(PLUMEX_CUPSLog::setLogFile(dir.file("t.log")));
    const std::string content = readFile(dir.file("t.log"));
    const size_t lineLength = content.size() - content.rfind('\n', content.size() - 2) - 1;
    EXPECT_LE(content.size(), 1000000u + lineLength);
    EXPECT_GT(content.size(), 1000000u - 10000u);
    EXPECT_EQ(content.find(" 00000 "), std::string::npos);
    EXPECT_NE(content.find(" 12999 "), std::string::npos);
}

TEST_F(LoggingTest, HexDumpLines) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    const uint8_t five[] = {0x41, 0x42, 0x25, 0x0A, 0x00};
    PLUMEX_CUPSLog::logData(five, sizeof five);
    std::vector<uint8_t> seventeen(17);
    for (size_t i = 0; i < seventeen.size(); ++i) seventeen[i] = static_cast<uint8_t>(0x70 + i);
    PLUMEX_CUPSLog::logData(seventeen);
    PLUMEX_CUPSLog::logData(nullptr, 0);
    const auto lines = splitLines(testing::internal::GetCapturedStderr());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "DEBUG: app: 00000000  41 42 25 0a 00          " + std::string(24, ' ') + "  |AB%%..|");
    EXPECT_EQ(lines[1],
              "DEBUG: app: 00000000  70 71 72 73 74 75 76 77  78 79 7a 7b 7c 7d 7e 7f  |pqrstuvwxyz{|}~.|");
    EXPECT_EQ(lines[2], "DEBUG: app: 00000010  80 " + std::string(7 * 3 + 1 + 8 * 3, ' ') + " |.|");
}

TEST_F(LoggingTest, StateReasonsAndRecovered) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    PLUMEX_CUPSLog::stateSet("a,b");
    PLUMEX_CUPSLog::stateClear("a");
    PLUMEX_CUPSLog::recovered();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "STATE: +a,b\nSTATE: -a\nINFO: recovered\n");
}

TEST(LogDate, PatternWithWeekYearMillisecondsAndZone) {
    // Europe/Berlin in the test environment: +0100 in winter.
    const std::string stamp = PLUMEX_CUPSLog::logDateString();
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3} \+0[12]00\])"))) << stamp;
}

TEST_F(LoggingTest, TimeStampsStayGregorianWithAsciiDigitsInAPersianJob) {
    const icu::Locale saved = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("fa_IR"), status);
    setenv("LANG", "fa_IR.UTF-8", 1);
    tessaron::printjob::LogState fresh;  // its formatter is made now, under the job's language
    const auto when = std::chrono::sys_days{std::chrono::year{2014} / 3 / 7} + std::chrono::hours{13} +
                      std::chrono::minutes{2} + std::chrono::seconds{11} + std::chrono::milliseconds{42};
    const std::string stamp = tessaron::printjob::formattedLogDate(fresh, when);
    delete static_cast<icu::SimpleDateFormat*>(fresh.dateFormatter);
    icu::Locale::setDefault(saved, status);
    setenv("LANG", "C", 1);
    EXPECT_EQ(stamp, "[2014/03/07 14:02:11.042 +0100]");
}

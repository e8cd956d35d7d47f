#include "LogTestSupport.h"
#include "PLUMEX_CUPSLogState.h"
#include "TempDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

using tessaron::test::readFile;
using tessaron::test::TempDir;

namespace {

void writeBytes(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Lines of exactly `lineLength` bytes (line feed included), numbered, `count` of them.
std::string numberedLines(const char* tag, size_t count, size_t lineLength) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        std::string line = std::string(tag) + std::to_string(i) + " ";
        line.resize(lineLength - 1, '.');
        out += line + '\n';
    }
    return out;
}

// What the archive must hold after a roll: the last 10 MiB, from the line feed found at or
// after index length - 10,485,761.
std::string expectedArchive(const std::string& combined) {
    const size_t limit = 0xA00000;
    if (combined.size() <= limit) return combined;
    const size_t lf = combined.find('\n', combined.size() - limit - 1);
    return lf == std::string::npos ? std::string() : combined.substr(lf + 1);
}

class LogFile : public LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        PLUMEX_CUPSLog::setShouldLogToStdErr(true);
        testing::internal::CaptureStderr();
    }
    void TearDown() override {
        stderrText_ = testing::internal::GetCapturedStderr();
        LoggingTest::TearDown();
    }
    std::string stderrNow() {
        stderrText_ += testing::internal::GetCapturedStderr();
        testing::internal::CaptureStderr();
        return stderrText_;
    }
    TempDir dir_;
    std::string stderrText_;
};

}  // namespace

TEST_F(LogFile, RollsFromOneMebibyteOn) {
    const std::string path = dir_.file("Tessaron_v3.log");
    const std::string justBelow(0x100000 - 1, 'a');
    writeBytes(path, justBelow);
    PLUMEX_CUPSLog::rollLogFileIfNecessary(path);
    EXPECT_EQ(readFile(path), justBelow);
    EXPECT_FALSE(exists(dir_.file("Tessaron_v3_old.log")));

    const std::string atLimit = justBelow + "b";
    writeBytes(path, atLimit);
    ASSERT_TRUE(PLUMEX_CUPSLog::setLogFile(path));
    EXPECT_EQ(readFile(dir_.file("Tessaron_v3_old.log")), atLimit);
    const auto lines = splitLines(readFile(path));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[0].find("] Rolling log file."), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("] Rolled previous log file into " + dir_.file("Tessaron_v3_old.log")), std::string::npos);
    EXPECT_NE(lines[2].find("] Starting new log file at " + path), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(dir_.file("Tessaron_v3_old.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0664u);
}

TEST_F(LogFile, ArchiveKeepsTheLastTenMebibytesFromALineStart) {
    const std::string path = dir_.file("x");  // no extension: the archive is x_old.log
    const std::string archivePath = dir_.file("x_old.log");
    const std::string archive = numberedLines("old", 100000, 100);  // 10,000,000 bytes
    const std::string current = numberedLines("new", 11000, 97);     // 1,067,000 bytes
    writeBytes(archivePath, archive);
    writeBytes(path, current);
    PLUMEX_CUPSLog::rollLogFileIfNecessary(path);
    const std::string rolled = readFile(archivePath);
    EXPECT_EQ(rolled, expectedArchive(archive + current));
    EXPECT_LE(rolled.size(), 0xA00000u);
    EXPECT_EQ(rolled.substr(rolled.size() - current.size()), current);
    EXPECT_EQ(readFile(path), "");
}

TEST_F(LogFile, ArchiveWithoutALineFeedInTheKeptPartIsEmptied) {
    const std::string path = dir_.file("y.log");
    writeBytes(dir_.file("y_old.log"), std::string(0xA00000, 'o'));
    writeBytes(path, std::string(0x100000, 'n'));
    PLUMEX_CUPSLog::rollLogFileIfNecessary(path);
    EXPECT_EQ(readFile(dir_.file("y_old.log")), "");
}

TEST_F(LogFile, ArchiveCutAtTheExactBoundary) {
    // Combined length 10 MiB + 2: the search starts at index 1, so a line feed at index 1
    // leaves everything after it.
    const std::string path = dir_.file("z.log");
    const std::string archive = "a\n" + std::string(0xA00000 - 0x100000 - 1, 'b') + "\n";
    const std::string current(0x100000, 'c');
    writeBytes(dir_.file("z_old.log"), archive);
    writeBytes(path, current);
    PLUMEX_CUPSLog::rollLogFileIfNecessary(path);
    EXPECT_EQ(readFile(dir_.file("z_old.log")), (archive + current).substr(2));
}

TEST_F(LogFile, SymlinkedLogFileIsRefusedAndTheNextLocationUsed) {
    const std::string target = dir_.write("target", "precious\n");
    const std::string planted = dir_.file("Tessaron_v3.log");
    ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
    EXPECT_FALSE(PLUMEX_CUPSLog::setLogFile("/nonexistent-dir/Tessaron_v3.log"));
    EXPECT_FALSE(PLUMEX_CUPSLog::setLogFile(planted));
    EXPECT_TRUE(PLUMEX_CUPSLog::setLogFile(dir_.file("fallback/../Tessaron_v3b.log")));
    PLUMEX_CUPSLog::err("written");
    EXPECT_EQ(readFile(target), "precious\n");
    const std::string log = readFile(dir_.file("Tessaron_v3b.log"));
    EXPECT_NE(log.find("Failed to open log file at /nonexistent-dir/Tessaron_v3.log; error 2 \""), std::string::npos);
    EXPECT_NE(log.find("Failed to open log file at " + planted + "; error 40 \""), std::string::npos) << log;
    EXPECT_NE(log.find("] written"), std::string::npos);
}

TEST_F(LogFile, UnwritableArchiveLeavesTheCurrentFileWhole) {
    const std::string path = dir_.file("t.log");
    const std::string content(0x100000, 'k');
    writeBytes(path, content);
    const std::string target = dir_.write("elsewhere", "untouched");
    ASSERT_EQ(::symlink(target.c_str(), dir_.file("t_old.log").c_str()), 0);
    PLUMEX_CUPSLog::rollLogFileIfNecessary(path);
    EXPECT_EQ(readFile(path), content);
    EXPECT_EQ(readFile(target), "untouched");
    EXPECT_NE(stderrNow().find("Error writing old log file to " + dir_.file("t_old.log")), std::string::npos);
}

TEST_F(LogFile, SecondFileIsRefusedButStillRolled) {
    ASSERT_TRUE(PLUMEX_CUPSLog::setLogFile(dir_.file("first.log")));
    const std::string second = dir_.file("second.log");
    writeBytes(second, std::string(0x100000, 's'));
    EXPECT_FALSE(PLUMEX_CUPSLog::setLogFile(second));
    EXPECT_EQ(readFile(dir_.file("second_old.log")).size(), 0x100000u);
    EXPECT_EQ(readFile(second), "");
    PLUMEX_CUPSLog::err("still first");
    EXPECT_NE(readFile(dir_.file("first.log")).find("] still first"), std::string::npos);
    EXPECT_FALSE(PLUMEX_CUPSLog::setLogFile(""));
}

TEST_F(LogFile, NewFileIsGroupWritable) {
    ASSERT_TRUE(PLUMEX_CUPSLog::setLogFile(dir_.file("m.log")));
    struct stat info {};
    ASSERT_EQ(::stat(dir_.file("m.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0664u);
}

TEST(LogPaths, StandardizedAndArchiveNames) {
    setenv("HOME", "/home/lp", 1);
    EXPECT_EQ(tessaron::printjob::standardizedPath("~/Logs/./a/../b.log"), "/home/lp/Logs/b.log");
    EXPECT_EQ(tessaron::printjob::standardizedPath("/var//tmp/../tmp/x.log"), "/var/tmp/x.log");
    EXPECT_EQ(tessaron::printjob::standardizedPath("/.."), "/");
    EXPECT_EQ(tessaron::printjob::archivePathFor("/Library/Logs/Vantrel/Tessaron_v3.log"), "/Library/Logs/Vantrel/Tessaron_v3_old.log");
    EXPECT_EQ(tessaron::printjob::archivePathFor("/tmp/x"), "/tmp/x_old.log");
    EXPECT_EQ(tessaron::printjob::archivePathFor("/tmp/dir.d/x"), "/tmp/dir.d/x_old.log");
    EXPECT_EQ(tessaron::printjob::archivePathFor("/tmp/a.b.txt"), "/tmp/a.b_old.txt");
}

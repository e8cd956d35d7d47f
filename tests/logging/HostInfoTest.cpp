#include "LogTestSupport.h"
#include "TempDir.h"

#include <unistd.h>

#include <regex>

using tessaron::test::TempDir;

TEST(HostInfo, CupsVersionComesFromTheQuotedVersionLine) {
    TempDir dir;
    EXPECT_EQ(PLUMEX_CUPSLog::cupsVersionStringFromFile(dir.write("a", "#!/bin/sh\nAPIVERSION=\"2.4\"\nVERSION=\"2.4.2\"\n")),
              "2.4.2");
    // The marker needs the line feed before it and a closing quote after it.
    EXPECT_EQ(PLUMEX_CUPSLog::cupsVersionStringFromFile(dir.write("b", "VERSION=\"2.4.2\"\n")), "unavailable");
    EXPECT_EQ(PLUMEX_CUPSLog::cupsVersionStringFromFile(dir.write("c", "x\nVERSION=\"2.4.2\n")), "unavailable");
    EXPECT_EQ(PLUMEX_CUPSLog::cupsVersionStringFromFile(dir.write("d", "x\nVERSION=2.4.2\n")), "unavailable");
    EXPECT_EQ(PLUMEX_CUPSLog::cupsVersionStringFromFile(dir.file("missing")), "unavailable");
}

TEST(HostInfo, VmStatsAreConsistent) {
    const auto stats = PLUMEX_CUPSLog::vmStats();
    ASSERT_EQ(stats.size(), 3u);
    const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    EXPECT_EQ(stats.at("freeBytes"), stats.at("freePages") * page);
    EXPECT_EQ(stats.at("freeMB"), stats.at("freeBytes") >> 20);
    EXPECT_GT(stats.at("freePages"), 0u);
}

TEST(HostInfo, SystemVersionLineKeepsItsWording) {
    const std::string info = PLUMEX_CUPSLog::systemVersionInfo();
    const std::regex shape(
        R"(Mac OS X Linux \S+ foundation \(\d+\.\d{3}\);\n\d+MB \(\d+MB free\); \d+ CPU; LittleEndian \(64-bit\); .+ \(x86_64\); CUPS \([^)]+\))");
    EXPECT_TRUE(std::regex_match(info, shape)) << info;
    EXPECT_TRUE(std::regex_match(PLUMEX_CUPSLog::hostModelAndArch(), std::regex(R"(.+ \(x86_64\))")));
}

// "PPD:" lines and saved data against a real PPD parsed by libcups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PLUMEX_CUPSPrintJob.h"
#include "TempDir.h"

namespace {

std::vector<std::string> ppdLines(const std::string& err) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        if (end == std::string::npos) end = err.size();
        std::string line = err.substr(start, end - start);
        if (line.rfind("PPD: ", 0) == 0) lines.push_back(line.substr(5));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> saveAndCapture(const std::vector<uint8_t>& data, const std::string& name) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    PLUMEX_CUPSPrintJob::ppdSaveDataForAttribute(data, name);
    return ppdLines(testing::internal::GetCapturedStderr());
}

// Stores "key=value" lines as the scheduler does: "*key: value", the value as sent, unquoted,
// which keeps a 252-character chunk line within the PPD's 255-character limit.
std::string ppdWith(const std::vector<std::string>& pairs) {
    std::string text = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
                       "*LanguageEncoding: ISOLatin1\n*PCFileName: \"TEST.PPD\"\n*Manufacturer: \"Test\"\n"
                       "*Product: \"(Test)\"\n*ModelName: \"Test\"\n*ShortNickName: \"Test\"\n*NickName: \"Test\"\n"
                       "*PSVersion: \"(3010.000) 0\"\n";
    for (const std::string& pair : pairs) {
        size_t eq = pair.find('=');
        text += "*" + pair.substr(0, eq) + ": " + pair.substr(eq + 1) + "\n";
    }
    return text;
}

std::optional<std::vector<uint8_t>> roundTrip(const std::vector<std::string>& lines, const std::string& name) {
    tessaron::test::TempDir dir;
    std::string path = dir.write("t.ppd", ppdWith(lines));
    ppd_file_t* ppd = ppdOpenFile(path.c_str());
    EXPECT_NE(ppd, nullptr);
    auto data = PLUMEX_CUPSPrintJob::ppdSavedDataForAttributeForPPD(name, ppd);
    ppdClose(ppd);
    return data;
}

std::vector<uint8_t> bytes(size_t n) {
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
    return data;
}

}  // namespace

TEST(SavedData, ChunksAreAtMost252CharactersAndEndWithAnEmptyChunk) {
    const std::string name = "JRXPapersKnown";
    for (size_t encoded : {4u, 228u, 232u, 236u, 400u}) {
        std::vector<uint8_t> data = bytes(encoded / 4 * 3);
        auto lines = saveAndCapture(data, name);
        ASSERT_GE(lines.size(), 2u);
        for (const auto& line : lines) EXPECT_LE(line.size(), 252u);
        char terminator[32];
        snprintf(terminator, sizeof terminator, "%05zx=\"\"", lines.size() - 1);
        EXPECT_EQ(lines.back(), name + terminator);
        EXPECT_EQ(lines.size() - 1, (encoded + 231) / 232) << encoded;
        EXPECT_EQ(roundTrip(lines, name), data) << encoded;
    }
}

TEST(SavedData, OneByteGivesFourCharactersThenTheTerminator) {
    auto lines = saveAndCapture({0x41}, "JRXPapersKnown");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "JRXPapersKnown00000=QQ==");
    EXPECT_EQ(lines[1], "JRXPapersKnown00001=\"\"");
}

TEST(SavedData, CatalogueSizedBlobAndAShorterSecondSave) {
    std::vector<uint8_t> big = bytes(60000);
    auto first = saveAndCapture(big, "JRXPapersKnown");
    EXPECT_EQ(roundTrip(first, "JRXPapersKnown"), big);
    // The scheduler keeps the earlier, higher chunks; the terminator hides them.
    std::vector<uint8_t> small = bytes(300);
    auto second = saveAndCapture(small, "JRXPapersKnown");
    std::vector<std::string> merged = first;
    for (size_t i = 0; i < second.size(); ++i) merged[i] = second[i];
    EXPECT_EQ(roundTrip(merged, "JRXPapersKnown"), small);
}

TEST(SavedData, NothingOrNotBase64ReadsBackAsNone) {
    EXPECT_TRUE(saveAndCapture({}, "JRXPapersKnown").empty());
    EXPECT_EQ(roundTrip({"Other00000=QQ=="}, "JRXPapersKnown"), std::nullopt);
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=\"\""}, "JRXPapersKnown"), std::nullopt);
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=Q*Q="}, "JRXPapersKnown"), std::nullopt);
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=QQ==QQ=="}, "JRXPapersKnown"), std::nullopt);
    // Padding missing wholly or in part, as earlier writers stored it, still decodes; more
    // padding than the last group needs does not.
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=QUI"}, "JRXPapersKnown"), (std::vector<uint8_t>{'A', 'B'}));
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=QQ="}, "JRXPapersKnown"), (std::vector<uint8_t>{'A'}));
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=QQ"}, "JRXPapersKnown"), (std::vector<uint8_t>{'A'}));
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=QUI=="}, "JRXPapersKnown"), std::nullopt);
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=QUJD="}, "JRXPapersKnown"), std::nullopt);
    // A gap ends the sequence.
    EXPECT_EQ(roundTrip({"JRXPapersKnown00000=QUJD", "JRXPapersKnown00002=REVG"}, "JRXPapersKnown"),
              (std::vector<uint8_t>{'A', 'B', 'C'}));
}

TEST(SavedData, AnEmptyAttributeValueIsAValueNotAnAbsence) {
    tessaron::test::TempDir dir;
    const std::string path = dir.write("t.ppd", ppdWith({"PaperNameDefault=\"\"", "CVP1Default=\"\""}));
    ppd_file_t* ppd = ppdOpenFile(path.c_str());
    ASSERT_NE(ppd, nullptr);
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsValueForAttributeForPPD("PaperNameDefault", ppd), std::string());
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsDefaultChoiceForOptionForPPD("CVP1", ppd), std::string());
    EXPECT_EQ(PLUMEX_CUPSPrintJob::cupsDefaultChoiceForOptionForPPD("CVP2", ppd), std::nullopt);
    ppdClose(ppd);
}

TEST(SavedData, ANameWithoutRoomForDataSavesNothing) {
    EXPECT_TRUE(saveAndCapture({1, 2, 3}, std::string(250, 'K')).empty());
}

TEST(PPDUpdate, LineShapesAndLengthRules) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::pair<std::string, std::string>>{
        {"JRXDuplex", "True"}, {std::string(41, 'k'), "x"}, {"JRXAPIVersion", "3"}});
    PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::string>{"a=1", std::string(256, 'b'), "c=2"});
    PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::string>{std::string(256, 'b')});
    PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::string("ab"));
    auto lines = ppdLines(testing::internal::GetCapturedStderr());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], " JRXDuplex=\"True\" JRXAPIVersion=\"3\"");
    EXPECT_EQ(lines[1], " a=1 c=2");
}

TEST(Signals, NamesFollowTheNamedSignal) {
    EXPECT_STREQ(PLUMEX_CUPSPrintJob::strForSignal(SIGUSR1), "USeR 1");
    EXPECT_STREQ(PLUMEX_CUPSPrintJob::strForSignal(SIGTERM), "software TERMination signal from kill");
    EXPECT_STREQ(PLUMEX_CUPSPrintJob::strForSignal(SIGBUS), "BUS error");
    EXPECT_STREQ(PLUMEX_CUPSPrintJob::strForSignal(99), "unknown");
}

TEST(RasterHeader, ValidationRefusesInconsistentOrHugePages) {
    cups_page_header2_t header{};
    header.cupsWidth = 100;
    header.cupsHeight = 10;
    header.cupsBitsPerPixel = 24;
    header.cupsBytesPerLine = 300;
    EXPECT_FALSE(PLUMEX_CUPSPrintJob::rasterHeaderProblem(header));
    header.cupsBytesPerLine = 299;
    EXPECT_TRUE(PLUMEX_CUPSPrintJob::rasterHeaderProblem(header));
    header.cupsWidth = 0xFFFFFFFF;
    header.cupsBytesPerLine = 0xFFFFFFFF;
    EXPECT_TRUE(PLUMEX_CUPSPrintJob::rasterHeaderProblem(header));  // 32-bit product would wrap
    header.cupsWidth = 100000;
    header.cupsBytesPerLine = 300000;
    header.cupsHeight = 4000;
    EXPECT_TRUE(PLUMEX_CUPSPrintJob::rasterHeaderProblem(header));  // 1.2 GB
    header.cupsBitsPerPixel = 0;
    EXPECT_TRUE(PLUMEX_CUPSPrintJob::rasterHeaderProblem(header));
}

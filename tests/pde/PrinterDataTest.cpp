// Saved data as the backend writes it, read back as the dialog reads it.
#include "PrinterData.h"
#include "TempDir.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace tessaron::pde;

namespace {

// The "PPD:" chunk lines of the saved-data encoding as the scheduler stores them in the PPD:
// values without their quotes, the terminator as an empty value.
std::string savedDataAttributes(const std::string& name, const std::string& data) {
    std::vector<char> encoded(data.size() * 2 + 8);
    httpEncode64_2(encoded.data(), static_cast<int>(encoded.size()), data.data(), static_cast<int>(data.size()));
    std::string text(encoded.data());
    std::string ppd;
    unsigned chunk = 0;
    char prefix[64];
    for (size_t at = 0; at < text.size(); ++chunk) {
        std::snprintf(prefix, sizeof prefix, "%s%05x", name.c_str(), chunk);
        const size_t take = std::min(252 - (std::strlen(prefix) + 1), text.size() - at);
        ppd += "*" + std::string(prefix) + ": " + text.substr(at, take) + "\n";
        at += take;
    }
    std::snprintf(prefix, sizeof prefix, "%s%05x", name.c_str(), chunk);
    ppd += "*" + std::string(prefix) + ": \"\"\n";
    return ppd;
}

ppd_file_t* openPPD(const std::string& dir, const std::string& extra) {
    const std::string path = dir + "/t.ppd";
    std::ofstream(path) << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                           "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"T.PPD\"\n"
                           "*Manufacturer: \"Vantrel\"\n*Product: \"(JRX)\"\n*ModelName: \"JRX\"\n*NickName: \"JRX\"\n"
                           "*OpenUI *PaperFeed/Paper Feed: PickOne\n*DefaultPaperFeed: Roll\n"
                           "*PaperFeed Roll/Roll: \"\"\n*PaperFeed Sheet/Sheet: \"\"\n*CloseUI: *PaperFeed\n"
                           "*RedDefault: \"0.00\"\n"
                        << extra;
    return ppdOpenFile(path.c_str());
}

// A PPD with the lines of `extra`, in a folder of its own; closed with the object.
class TestPPD {
public:
    explicit TestPPD(const std::string& extra) : ppd_(openPPD(dir_.path(), extra)) {}
    ~TestPPD() {
        if (ppd_) ppdClose(ppd_);
    }
    TestPPD(const TestPPD&) = delete;
    TestPPD& operator=(const TestPPD&) = delete;
    ppd_file_t* get() const { return ppd_; }

private:
    tessaron::test::TempDir dir_;
    ppd_file_t* ppd_;
};

}  // namespace

TEST(SavedData, LongDataSpreadOverManyChunksReadsBackWhole) {
    std::string data;
    for (int i = 0; i < 2000; ++i) data.push_back(static_cast<char>(i * 7));
    const TestPPD ppd(savedDataAttributes("JRXPapersKnown", data));
    ASSERT_NE(ppd.get(), nullptr);
    const auto read = ppdSavedDataForAttributeForPPD("JRXPapersKnown", ppd.get());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->toStdString(), data);
    EXPECT_FALSE(ppdSavedDataForAttributeForPPD("JRXOther", ppd.get()).has_value());
}

TEST(SavedData, AGapOrAnEmptyChunkEndsTheText) {
    // "abc" and "def" in two chunks, then an empty one and a stray chunk after it.
    const TestPPD ppd("*K00000: \"YWJj\"\n*K00001: \"ZGVm\"\n*K00002: \"\"\n*K00003: \"Z2hp\"\n"
                      "*G00000: \"YWJj\"\n*G00002: \"ZGVm\"\n");
    ASSERT_NE(ppd.get(), nullptr);
    EXPECT_EQ(ppdSavedDataForAttributeForPPD("K", ppd.get()).value_or("").toStdString(), "abcdef");
    EXPECT_EQ(ppdSavedDataForAttributeForPPD("G", ppd.get()).value_or("").toStdString(), "abc");
}

TEST(SavedData, ALastGroupMissingPartOfItsPaddingReadsAsTheBackendReadsIt) {
    const TestPPD ppd("*P00000: \"QQ=\"\n*N00000: \"QUI\"\n*F00000: \"QQ==\"\n");
    ASSERT_NE(ppd.get(), nullptr);
    EXPECT_EQ(ppdSavedDataForAttributeForPPD("P", ppd.get()).value_or("").toStdString(), "A");
    EXPECT_EQ(ppdSavedDataForAttributeForPPD("N", ppd.get()).value_or("").toStdString(), "AB");
    EXPECT_EQ(ppdSavedDataForAttributeForPPD("F", ppd.get()).value_or("").toStdString(), "A");
}

TEST(PPDValues, DefaultsComeFromTheOptionOrTheDefaultAttribute) {
    const TestPPD ppd("");
    ASSERT_NE(ppd.get(), nullptr);
    EXPECT_EQ(cupsDefaultChoiceForOptionForPPD("PaperFeed", ppd.get()).value_or(""), QStringLiteral("Roll"));
    EXPECT_EQ(cupsDefaultChoiceForOptionForPPD("Red", ppd.get()).value_or(""), QStringLiteral("0.00"));
    EXPECT_FALSE(cupsDefaultChoiceForOptionForPPD("Green", ppd.get()).has_value());
    EXPECT_FALSE(cupsValueForAttributeForPPD("Red", nullptr).has_value());
    ppdMarkDefaults(ppd.get());
    ppdMarkOption(ppd.get(), "PaperFeed", "Sheet");
    EXPECT_EQ(cupsChoiceForOptionForPPD("PaperFeed", ppd.get()).value_or(""), QStringLiteral("Sheet"));
}

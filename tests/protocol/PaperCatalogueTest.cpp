// The paper catalogue against the emulated minilab: plain and extended records, duplicate
// folding, paper keys, the synchronous list, and the saved catalogue in the PPD.
#include <cups/cups.h>

#include "KeyedArchive.h"
#include "ProtocolTestSupport.h"

using namespace tessaron::protocoltest;
using tessaron::keyedarchive::Dictionary;

namespace {

constexpr const char* kAddress = "127.0.0.11";

std::int64_t field(const JRXPaperCatalogue& catalogue, const std::string& key, const std::string& name) {
    auto paper = catalogue.find(key);
    if (paper == catalogue.end() || !paper->second.dictionary()) return -1;
    auto it = paper->second.dictionary()->find(name);
    return it == paper->second.dictionary()->end() ? -1 : it->second.integer().value_or(-1);
}

// Papers whose folding the catalogue must get right: an adjoining roll range, a disjoint
// one, an enclosing one and a repeated sheet paper.
std::string papers() {
    return "[" + rollPaper(1270, 1, 3000, 890, 1270) + ", " + rollPaper(1270, 1, 3000, 1271, 2540) + ", " +
           rollPaper(1520, 2, 3000, 890, 1270) + ", " + rollPaper(1520, 2, 3000, 1500, 2540) + ", " +
           rollPaper(2030, 1, 3000, 890, 1270) + ", " + rollPaper(2030, 1, 3000, 500, 3000) + ", " +
           sheetPaper("A4", 2100, 1, 3000, 2970, 2970) + ", " + sheetPaper("A4", 2100, 3, 3000, 1000, 4000) + "]";
}

std::string lab(const std::string& version, bool extra) {
    return "{\"apiVersion\": \"" + version + "\", \"extraFeatures\": " + (extra ? "true" : "false") +
           ", \"papers\": " + papers() + "}";
}

void expectFolded(const JRXPaperCatalogue& c, bool extended) {
    // Adjoining ranges widen LMax; a disjoint range changes nothing; an enclosing one sets both ends.
    EXPECT_EQ(field(c, "w1270s1r300", "paperLMin"), 890);
    EXPECT_EQ(field(c, "w1270s1r300", "paperLMax"), 2540);
    EXPECT_EQ(field(c, "w1520s2r300", "paperLMax"), 1270);
    EXPECT_EQ(field(c, "w2030s1r300", "paperLMin"), 500);
    EXPECT_EQ(field(c, "w2030s1r300", "paperLMax"), 3000);
    // The catalogue keeps the first paper of each key.
    EXPECT_EQ(field(c, "w1270s1r300", "paperNumber"), 1);
    if (extended) {
        ASSERT_EQ(c.size(), 4u);
        // A repeated sheet paper is ignored, never merged.
        EXPECT_EQ(field(c, "A4-r300", "paperSurface"), 1);
        EXPECT_EQ(field(c, "A4-r300", "paperLMax"), 2970);
        EXPECT_EQ(field(c, "A4-r300", "paperSource"), 1);
        const auto& a4 = *c.at("A4-r300").dictionary();
        ASSERT_TRUE(a4.count("paperName"));
        EXPECT_EQ(*a4.at("paperName").string(), "A4");
        EXPECT_EQ(field(c, "w1270s1r300", "trimTop"), 0);
        EXPECT_EQ(a4.size(), 16u);
    } else {
        // Plain lists hold roll papers only, without names or sources.
        ASSERT_EQ(c.size(), 3u);
        EXPECT_FALSE(c.count("w2100s1r300"));
        for (const auto& [key, paper] : c) {
            EXPECT_EQ(paper.dictionary()->size(), 8u) << key;
            EXPECT_FALSE(paper.dictionary()->count("paperSource")) << key;
            EXPECT_FALSE(paper.dictionary()->count("trimTop")) << key;
        }
    }
}

class PaperCatalogueTest : public ProtocolTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PaperCatalogueTest, AsynchronousListIsFoldedAndSaved) {
    const bool extended = GetParam();
    auto job = clientOfLab(kAddress, lab(extended ? "3.0.0.0" : "2.2.0.0", extended));
    ASSERT_TRUE(job);
    LogCapture log;
    ASSERT_TRUE(job->getInfoAsync());
    ASSERT_EQ(job->extraFeatures(), extended);
    const auto catalogue = job->getRegisteredPapersAsync();
    const std::string& text = log.text();
    ASSERT_TRUE(catalogue) << text;
    expectFolded(*catalogue, extended);
    EXPECT_NE(countOf(minilab().log(), extended ? "JRX_GET_PAPER_AD" : "JRX_GET_PAPER,"), 0) << minilab().log();

    EXPECT_NE(text.find("Received " + std::to_string(catalogue->size()) + " papers (" + (extended ? "4" : "3") +
                        " duplicates)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("paper 4 is a useless duplicate of paper 3"), std::string::npos);
    // The list completed: its state is gone and the operation ended.
    EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kCurrentPaperCount));
    EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kMutablePaperDict));
    EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer));

    // The saved chunks hold the same catalogue.
    std::string base64;
    const auto chunks = linesStartingWith(text, "PPD: JRXPapersKnown");
    ASSERT_GE(chunks.size(), 2u) << text;
    EXPECT_EQ(chunks.back(), "PPD: JRXPapersKnown" + [&] {
        char index[8];
        std::snprintf(index, sizeof index, "%05zx", chunks.size() - 1);
        return std::string(index);
    }() + "=\"\"");
    for (std::size_t i = 0; i + 1 < chunks.size(); ++i) base64 += chunks[i].substr(chunks[i].find('=') + 1);
    std::vector<std::uint8_t> decoded(base64.size());
    int length = static_cast<int>(decoded.size());
    httpDecode64_2(reinterpret_cast<char*>(decoded.data()), &length, base64.c_str());
    decoded.resize(static_cast<std::size_t>(length));
    const auto archived = tessaron::keyedarchive::decode(decoded);
    ASSERT_TRUE(archived);
    ASSERT_TRUE(archived->dictionary());
    EXPECT_EQ(*archived->dictionary(), *catalogue);
}

TEST_P(PaperCatalogueTest, SynchronousListFoldsTheSameWay) {
    auto job = clientOfLab(kAddress, lab(GetParam() ? "3.0.0.0" : "2.2.0.0", GetParam()));
    ASSERT_TRUE(job);
    LogCapture log;
    ASSERT_TRUE(job->getInfo());
    const bool extended = GetParam();
    const auto catalogue = job->getRegisteredPapers();
    const std::string& text = log.text();
    ASSERT_TRUE(catalogue) << text;
    expectFolded(*catalogue, extended);
    EXPECT_NE(text.find(extended ? "(4 duplicates) from" : "(3 duplicates) from"), std::string::npos) << text;
    // The synchronous list is neither saved nor announced.
    EXPECT_TRUE(linesStartingWith(text, "PPD: JRXPapersKnown").empty());
}

INSTANTIATE_TEST_SUITE_P(Records, PaperCatalogueTest, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Extended" : "Plain"; });

TEST_F(ProtocolTest, PapersForDeviceURIAsksInformationFirst) {
    auto minilab = startLab(kAddress, lab("3.0.0.0", true));
    LogCapture log;
    const auto catalogue = VantrelTessaronJob::papersForDeviceURIOnlyInstalled(std::string("vantrelps://") + kAddress, true);
    ASSERT_TRUE(catalogue) << log.text();
    EXPECT_EQ(catalogue->count("A4-r300"), 1u);
    EXPECT_TRUE(VantrelTessaronJob::papersForDeviceURIOnlyInstalled(std::nullopt, false) == std::nullopt);
}

}  // namespace

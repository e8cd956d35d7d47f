// A refresh through the scheduler: the command job runs commandtovantrel into vantrelps,
// which asks the emulator and rewrites the scheduler's copy of the queue's PPD.
#include <cups/ppd.h>

#include <cmath>
#include <ctime>

#include "KeyedArchive.h"
#include "PLUMEX_CUPSPrintJob.h"
#include "SchedulerLab.h"

namespace tessaron::test {
namespace {

// Seconds from 1970 to 2001-01-01 00:00:00 UTC, the time stamp's epoch.
constexpr double kEpoch2001 = 978307200.0;

struct PpdCloser {
    void operator()(ppd_file_t* p) const { ppdClose(p); }
};

// The saved catalogue of the queue's PPD, decoded; none when absent or undecodable.
std::optional<keyedarchive::Dictionary> savedCatalogue(const std::string& ppdPath) {
    std::unique_ptr<ppd_file_t, PpdCloser> ppd(ppdOpenFile(ppdPath.c_str()));
    if (!ppd) return std::nullopt;
    auto data = PLUMEX_CUPSPrintJob::ppdSavedDataForAttributeForPPD("JRXPapersKnown", ppd.get());
    if (!data) return std::nullopt;
    auto root = keyedarchive::decode(*data);
    if (!root || !root->dictionary()) return std::nullopt;
    return *root->dictionary();
}

std::optional<std::int64_t> paperField(const keyedarchive::Dictionary& catalogue, const std::string& key,
                                       const std::string& field) {
    auto paper = catalogue.find(key);
    if (paper == catalogue.end() || !paper->second.dictionary()) return std::nullopt;
    auto value = paper->second.dictionary()->find(field);
    if (value == paper->second.dictionary()->end()) return std::nullopt;
    return value->second.integer();
}

class CommandJobTest : public SchedulerLabTest {};

TEST_F(CommandJobTest, RefreshWritesPrinterKeysAndCatalogueIntoTheQueuesPpd) {
    startLab(exampleLab());
    addQueue(kQueue, std::string("vantrelps://") + kLabAddress);
    const std::string before = cups_->queuePpd(kQueue);
    ASSERT_FALSE(before.empty());
    EXPECT_FALSE(ppdKeywordValue(before, "JRXTimeStamp").has_value());

    const int job = submitRefresh();
    EXPECT_EQ(waitForEnd(job).state, IPP_JSTATE_COMPLETED);

    const std::string ppd = cups_->queuePpd(kQueue);
    EXPECT_EQ(ppdKeywordValue(ppd, "JRXAPIVersion"), "3.0.0.0");
    EXPECT_EQ(ppdKeywordValue(ppd, "JRXExtraFeatures"), "True");
    EXPECT_EQ(ppdKeywordValue(ppd, "JRXDuplex"), "True");
    EXPECT_EQ(ppdKeywordValue(ppd, "JRXDeviceName"), "Lab 1");
    auto stamp = ppdKeywordValue(ppd, "JRXTimeStamp");
    ASSERT_TRUE(stamp.has_value());
    const double now = static_cast<double>(time(nullptr)) - kEpoch2001;
    EXPECT_LT(std::fabs(std::stod(*stamp) - now), 300.0) << *stamp;
    EXPECT_TRUE(ppdKeywordValue(ppd, "JRXPapersKnown00000").has_value());
    // The rest of the description survives the rewrite.
    EXPECT_EQ(ppdKeywordValue(ppd, "cupsCommands"), ppdKeywordValue(before, "cupsCommands"));

    auto catalogue = savedCatalogue(cups_->queuePpdPath(kQueue));
    ASSERT_TRUE(catalogue.has_value());
    EXPECT_EQ(catalogue->size(), 3u);  // two 127 mm rolls fold into one
    EXPECT_EQ(paperField(*catalogue, "w1020s1r300", "paperLMax"), 3050);
    EXPECT_EQ(paperField(*catalogue, "w1270s1r300", "paperLMin"), 890);
    EXPECT_EQ(paperField(*catalogue, "w1270s1r300", "paperLMax"), 2540);
    EXPECT_TRUE(catalogue->count("A4-r300")) << "sheet paper missing";
    // The state reasons of the refresh are cleared once the lab answered.
    EXPECT_EQ(cups_->printerStateReasons(kQueue).find("offline-report"), std::string::npos);
}

TEST_F(CommandJobTest, ALabsNameCannotAddKeywordsToTheQueuesPpdOrLinesOfItsOwn) {
    addQueue(kQueue, std::string("vantrelps://") + kLabAddress);
    // A quote that would close the value, then a line feed that would start lines of its own.
    for (const std::string& name : {std::string("X\" JRXHack=\"1"), std::string("X\nPPD: JRXHack=1"),
                                    std::string("Y\nSTATE: +toner-low")}) {
        SCOPED_TRACE(name);
        nlohmann::json lab = exampleLab();
        lab["name"] = name;
        startLab(lab);
        EXPECT_EQ(waitForEnd(submitRefresh()).state, IPP_JSTATE_COMPLETED);
        const std::string ppd = cups_->queuePpd(kQueue);
        EXPECT_FALSE(ppdKeywordValue(ppd, "JRXHack").has_value()) << ppd.substr(0, 2000);
        std::string shown = name;
        for (char& c : shown)
            if (c == '\n') c = ' ';
        EXPECT_EQ(ppdKeywordValue(ppd, "JRXDeviceName"), shown);
        EXPECT_EQ(cups_->printerStateReasons(kQueue).find("toner-low"), std::string::npos);
    }
}

TEST_F(CommandJobTest, ASmallerCatalogueReplacesALargerOne) {
    startLab(exampleLab());
    addQueue(kQueue, std::string("vantrelps://") + kLabAddress);
    EXPECT_EQ(waitForEnd(submitRefresh()).state, IPP_JSTATE_COMPLETED);
    ASSERT_EQ(savedCatalogue(cups_->queuePpdPath(kQueue)).value_or(keyedarchive::Dictionary{}).size(), 3u);

    // The lab now registers one roll and reports an older protocol without extras.
    nlohmann::json smaller = exampleLab();
    smaller["papers"] = nlohmann::json::array({smaller["papers"][0]});
    smaller["apiVersion"] = "2.2.0.0";
    smaller["extraFeatures"] = false;
    smaller["duplex"] = false;
    startLab(smaller);
    EXPECT_EQ(waitForEnd(submitRefresh()).state, IPP_JSTATE_COMPLETED);

    const std::string ppd = cups_->queuePpd(kQueue);
    EXPECT_EQ(ppdKeywordValue(ppd, "JRXAPIVersion"), "2.2.0.0");
    EXPECT_EQ(ppdKeywordValue(ppd, "JRXExtraFeatures"), "False");
    EXPECT_EQ(ppdKeywordValue(ppd, "JRXDuplex"), "False");
    // Chunks left from the longer save must not leak into the new catalogue.
    auto catalogue = savedCatalogue(cups_->queuePpdPath(kQueue));
    ASSERT_TRUE(catalogue.has_value());
    EXPECT_EQ(catalogue->size(), 1u);
    EXPECT_TRUE(catalogue->count("w1020s1r300"));
}

TEST_F(CommandJobTest, TheQueueOffersTheJobOptionsWithNoFlagOnByDefault) {
    addQueue(kQueue, std::string("vantrelps://") + kAbsentLabAddress);
    ProcessResult r = cups_->tool("lpoptions", {"-p", kQueue, "-l"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    for (const char* line : {"TwoSided/Two-Sided: *None LongEdge ShortEdge", "DebugLog/Debug Log: *False True",
                             "EnableCVP1/Print Line 1: *False True", "SharpnessEnabled/Sharpening: *False True",
                             "AdjustmentsEnabled/Color Adjustments: *False True"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_NE(r.out.find("*4x6.Fullbleed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ColorModel"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace tessaron::test

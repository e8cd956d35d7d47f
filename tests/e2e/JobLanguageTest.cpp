// Jobs in a language whose dates are not written in ASCII digits: the scheduler starts the
// backend with LANG from the job, and orders and back-print dates must not follow it.
#include <cups/ipp.h>

#include <ctime>
#include <thread>

#include "SampleImages.h"
#include "SchedulerLab.h"

namespace tessaron::test {
namespace {

nlohmann::json readJson(const std::string& path) { return nlohmann::json::parse(readFile(path), nullptr, false); }

class JobLanguageTest : public SchedulerLabTest {};

TEST_F(JobLanguageTest, TwoPersianJobsLandAsTwoOrdersWithAsciiDatesAndDistinctReferences) {
    startLabWithRefreshedQueue();
    TempDir dir;
    ASSERT_TRUE(writeSamplePng(dir.file("photo.png"), 600, 900));
    cups_->setClientLanguage("fa_IR.UTF-8");

    const std::map<std::string, std::string> options{
        {"PageSize", "4x6.Fullbleed"}, {"PaperWidth", "1020"}, {"PaperSurface", "1"},
        {"EnableCVP1", "True"},        {"CVP1", "[YYYY]"}};
    std::vector<int> jobs;
    for (int i = 0; i < 2; ++i) {
        std::string message;
        std::optional<int> id = cups_->submit(kQueue, options, dir.file("photo.png"), &message);
        ASSERT_TRUE(id.has_value()) << message;
        jobs.push_back(*id);
    }
    for (int job : jobs) EXPECT_EQ(waitForEnd(job).state, IPP_JSTATE_COMPLETED) << "job " << job;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (orders().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<std::string> published = orders();
    ASSERT_EQ(published.size(), 2u);

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // The week-based year of the pattern may run one ahead in the last days of December.
    const std::vector<std::string> years{std::to_string(local.tm_year + 1900), std::to_string(local.tm_year + 1901)};
    const auto isYear = [&years](const std::string& text) { return text == years[0] || text == years[1]; };

    std::vector<uint64_t> references;
    for (const std::string& order : published) {
        const nlohmann::json record = readJson(order + "/order.json")["record"];
        ASSERT_TRUE(record.contains("RefId")) << record.dump();
        const uint64_t reference = record["RefId"].get<uint64_t>();
        const std::string digits = std::to_string(reference);
        EXPECT_EQ(digits.size(), 19u) << digits;
        EXPECT_TRUE(isYear(digits.substr(0, 4))) << digits;
        references.push_back(reference);
        const nlohmann::json frame = readJson(order + "/frame-1.json");
        EXPECT_TRUE(isYear(frame["backPrint"].value("CVP1", ""))) << frame.dump();
    }
    EXPECT_NE(references[0], references[1]);
    // The backend did run in the job's language.
    EXPECT_NE(cups_->errorLog().find("LANG=fa_IR.UTF-8"), std::string::npos);
}

}  // namespace
}  // namespace tessaron::test

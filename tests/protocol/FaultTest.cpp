// The emulator's faults against both transaction paths: a slow reply, a closed connection,
// noise before the header, a reply in small segments, a wrong length and an oversized one.
#include "Observers.h"
#include "ProtocolTestSupport.h"

using namespace tessaron::protocoltest;

namespace {

constexpr const char* kAddress = "127.0.0.12";

std::string labWithFaults(const std::string& faults) {
    return "{\"apiVersion\": \"3.0.0.0\", \"extraFeatures\": true, \"papers\": [" + rollPaper(1270, 1, 3000, 890, 1270) +
           ", " + rollPaper(1270, 1, 3000, 1271, 2540) + ", " + sheetPaper("A4", 2100, 1, 3000, 2970, 2970) +
           "], \"faults\": " + faults + "}";
}

// Counts the aborted asynchronous operations of one job while it exists.
class AbortCount {
public:
    explicit AbortCount(const VantrelTessaronJob* job)
        : token_(center().addObserver(kTessaronPrinterAsyncOperationDidAbort, job,
                                      [this](const tessaron::Notification&) { ++count_; })) {}
    ~AbortCount() { center().removeObserver(token_); }
    AbortCount(const AbortCount&) = delete;
    AbortCount& operator=(const AbortCount&) = delete;
    int count() const { return count_; }

private:
    static tessaron::NotificationCenter& center() { return tessaron::NotificationCenter::defaultCenter(); }
    int count_ = 0;
    tessaron::NotificationCenter::Token token_;
};

class FaultTest : public ProtocolTest {
protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        GTEST_FLAG_SET(death_test_style, "fast");
    }

    std::unique_ptr<VantrelTessaronJob> clientWithFaults(const std::string& faults) {
        return clientOfLab(kAddress, labWithFaults(faults));
    }
};

TEST_F(FaultTest, SlowAsynchronousReplyIsReportedOnce) {
    auto job = clientWithFaults(R"({"replyDelay": {"ms": 5600, "command": 1}})");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_TRUE(job->getInfoAsync());
    const std::string& text = log.text();
    EXPECT_EQ(countOf(text, "Waiting for the printer response for command 0X01"), 1) << text;
    EXPECT_EQ(countOf(text, "INFO: Waiting for the printer ..."), 1) << text;
}

TEST_F(FaultTest, SlowSynchronousReplyWaitsAndReports) {
    // Attempts of 2 ms: a reply after 700 ms takes a few hundred of them.
    VantrelTessaronJob::setReplyPollInterval(std::chrono::milliseconds(2));
    auto job = clientWithFaults(R"({"replyDelay": {"ms": 700, "command": 9}})");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_TRUE(job->getTessaronStatus());
    EXPECT_GE(countOf(log.text(), "INFO: Waiting for the printer ..."), 1) << log.text();
}

TEST_F(FaultTest, SynchronousWaitEndsAfterItsAttempts) {
    VantrelTessaronJob::setReplyPollInterval(std::chrono::milliseconds(1));
    auto job = clientWithFaults(R"({"replyDelay": {"ms": 60000, "command": 9}})");
    ASSERT_TRUE(job);
    EXPECT_EXIT(job->getTessaronStatus(), ::testing::ExitedWithCode(1),
                "Timed out waiting for the printer reply(.|\n)*Bad response from printer\\.");
}

TEST_F(FaultTest, CloseWithoutReplyAbortsTheAsynchronousOperation) {
    auto job = clientWithFaults(R"({"closeWithoutReply": {"command": 1}})");
    ASSERT_TRUE(job);
    AbortCount aborted(job.get());
    LogCapture log;
    EXPECT_FALSE(job->getInfoAsync());
    EXPECT_EQ(aborted.count(), 1) << log.text();
    EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer));
    EXPECT_NE(log.text().find("aborting async op"), std::string::npos);
}

TEST_F(FaultTest, CloseWithoutReplyGivesNoSynchronousReply) {
    auto job = clientWithFaults(R"({"closeWithoutReply": {"command": 1, "at": 1}})");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_FALSE(job->getInfo());
    EXPECT_NE(log.text().find("failed to send data ... attempting transaction again."), std::string::npos) << log.text();
    // The caller decides to try again: the next transaction works.
    EXPECT_TRUE(job->getInfo());
}

TEST_F(FaultTest, ATricklingReplyCountsAsNoneOnBothPaths) {
    // One byte every 150 ms: 112 bytes of information take 17 s, 240 of status 36 s. Each path
    // must give up near its deadline (a few seconds for replies this short), not read on.
    auto job = clientWithFaults(R"({"trickle": [{"ms": 150, "command": 1}, {"ms": 150, "command": 9}]})");
    ASSERT_TRUE(job);
    {
        AbortCount aborted(job.get());
        LogCapture log;
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_FALSE(job->getInfoAsync());
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_LT(took, std::chrono::seconds(10)) << log.text();
        EXPECT_EQ(aborted.count(), 1) << log.text();
        EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer));
    }
    {
        LogCapture log;
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_FALSE(job->getTessaronStatus());
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_LT(took, std::chrono::seconds(10)) << log.text();
        EXPECT_NE(log.text().find("did not complete in time"), std::string::npos) << log.text();
        EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kAbleReceive));
    }
}

TEST_F(FaultTest, NoiseBeforeTheHeaderIsSkipped) {
    // Plain noise, and noise holding a 'J' that is not followed by 'T'.
    auto job = clientWithFaults(R"({"noiseBeforeReply": [{"bytes": "00 13 7E", "command": 1},
                                                                          {"bytes": "4A 00 4A", "command": 33}]})");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_TRUE(job->getInfoAsync());
    const auto papers = job->getRegisteredPapersAsync();
    ASSERT_TRUE(papers) << log.text();
    EXPECT_EQ(papers->size(), 2u);
    EXPECT_NE(log.text().find("possibly found a valid marker at response offset 3"), std::string::npos) << log.text();
}

TEST_F(FaultTest, RepliesInSmallSegmentsAreReadWhole) {
    auto job = clientWithFaults(R"({"splitReply": {"segment": 3, "gapMs": 2}})");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_TRUE(job->getInfoAsync());
    auto papers = job->getRegisteredPapersAsync();
    ASSERT_TRUE(papers) << log.text();
    EXPECT_EQ(papers->size(), 2u);
    EXPECT_TRUE(job->getInfo());
    EXPECT_TRUE(job->getTessaronStatus());
    papers = job->getRegisteredPapers();
    ASSERT_TRUE(papers);
    EXPECT_EQ(papers->size(), 2u);
}

TEST_F(FaultTest, ShortLengthIsIgnored) {
    auto job = clientWithFaults(R"({"wrongLength": {"delta": -4, "command": 1}})");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_FALSE(job->getInfoAsync());
    EXPECT_FALSE(job->getInfo());
    EXPECT_NE(log.text().find("Bad response for Get_Printer_Info (length = 60  != 64)"), std::string::npos) << log.text();
    EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kFastPrint));
}

TEST_F(FaultTest, LongLengthIsIgnoredAsynchronously) {
    auto job = clientWithFaults(R"({"wrongLength": {"delta": 4, "command": 9}})");
    ASSERT_TRUE(job);
    LogCapture log;
    // The announced length never arrives; what did arrive is not a status record.
    EXPECT_FALSE(job->getTessaronStatusAsync(true));
    EXPECT_FALSE(job->hasValueForKey(tessaron::jrx::keys::kAbleReceive));
}

TEST_F(FaultTest, LongLengthEndsTheSynchronousWait) {
    // A reply that stops short of its length counts as none once its deadline passes, long
    // before the attempts for a reply that never begins would run out.
    VantrelTessaronJob::setReplyPollInterval(std::chrono::milliseconds(100));
    auto job = clientWithFaults(R"({"wrongLength": {"delta": 4, "command": 9}})");
    ASSERT_TRUE(job);
    LogCapture log;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(job->getTessaronStatus());
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
    EXPECT_NE(log.text().find("did not complete in time: 240 of 244 bytes"), std::string::npos) << log.text();
}

// A length far beyond any reply is a bad response, refused before anything is allocated.
TEST_F(FaultTest, OversizedDataLengthIsABadResponse) {
    auto job = clientWithFaults(R"({"oversizedDataLength": [{"value": 4294967280, "command": 1},
                                                                             {"value": 1048576, "command": 9}]})");
    ASSERT_TRUE(job);
    EXPECT_EXIT(job->getInfoAsync(), ::testing::ExitedWithCode(1), "bad command response(.|\n)*Bad response from printer\\.");
    EXPECT_EXIT(job->getInfo(), ::testing::ExitedWithCode(1), "bad command response(.|\n)*Bad response from printer\\.");
    EXPECT_EXIT(job->getTessaronStatusAsync(true), ::testing::ExitedWithCode(1), "Bad response from printer\\.");
    EXPECT_EXIT(job->getTessaronStatus(), ::testing::ExitedWithCode(1), "Bad response from printer\\.");
}

}  // namespace

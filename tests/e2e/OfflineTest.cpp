// A minilab that cannot be reached: the queue shows "offline-report" and the job waits for
// the lab instead of failing or vanishing; once the lab is there the job goes through.
#include "SchedulerLab.h"

#include <cups/ipp.h>

#include <thread>

namespace tessaron::test {
namespace {

class OfflineTest : public SchedulerLabTest {};

TEST_F(OfflineTest, AJobForAnAbsentLabWaitsAndGoesThroughOnceTheLabIsThere) {
    addQueue(kQueue, std::string("vantrelps://") + kAbsentLabAddress);
    const int job = submitRefresh();
    ASSERT_GT(job, 0);

    ASSERT_TRUE(cups_->waitForReason(kQueue, "offline-report", std::chrono::seconds(30)))
        << cups_->printerStateReasons(kQueue);
    auto state = cups_->job(kQueue, job);
    ASSERT_TRUE(state.has_value()) << "the job was lost";
    EXPECT_EQ(state->state, IPP_JSTATE_PROCESSING) << state->stateName();
    EXPECT_FALSE(ppdKeywordValue(cups_->queuePpd(kQueue), "JRXTimeStamp").has_value());

    // The backend retries the connection; the lab appearing completes the same job.
    startLab(exampleLab(), kAbsentLabAddress);
    EXPECT_EQ(waitForEnd(job).state, IPP_JSTATE_COMPLETED);
    EXPECT_EQ(ppdKeywordValue(cups_->queuePpd(kQueue), "JRXAPIVersion"), "3.0.0.0");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (cups_->printerStateReasons(kQueue).find("offline-report") != std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(cups_->printerStateReasons(kQueue).find("offline-report"), std::string::npos)
        << cups_->printerStateReasons(kQueue);
}

}  // namespace
}  // namespace tessaron::test

#include "LogTestSupport.h"

using ::testing::ExitedWithCode;

TEST_F(LoggingTest, FatalSetsGeneralErrorAndExitsWithOne) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    EXPECT_EXIT(PLUMEX_CUPSLog::fatal("no paper %d", 3), ExitedWithCode(1), "STATE: \\+general-error\nERROR: no paper 3\n");
}

TEST_F(LoggingTest, FatalWhileHandlingASignalExitsWithItsNumberAtOnce) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds(60000));  // must not be waited for
    PLUMEX_CUPSLog::setSeenSignal(15);
    EXPECT_EXIT(PLUMEX_CUPSLog::fatal("stopping"), ExitedWithCode(15), "ERROR: stopping");
    EXPECT_EXIT(PLUMEX_CUPSLog::recoverable("waiting"), ExitedWithCode(15), "STATE: \\+general-error\nERROR: waiting");
}

TEST_F(LoggingTest, RecoverableLogsAnErrorAndReturns) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    PLUMEX_CUPSLog::recoverable("\"%s\" is not online!", "lab");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: \"lab\" is not online!\n");
}

TEST_F(LoggingTest, RecoverablePausesBeforeReturning) {
    PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();
    PLUMEX_CUPSLog::recoverable("busy");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

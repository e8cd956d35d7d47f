#include "ProtocolTestSupport.h"

#include <cstdlib>

#include "PLUMEX_CUPSLog.h"

namespace tessaron::protocoltest {

std::unique_ptr<tessaron::test::MinilabProcess> startLab(const std::string& address, const std::string& configJson) {
    tessaron::test::MinilabOptions options;
    options.program = TESSARON_MINILAB_PATH;
    options.configJson = configJson;
    options.address = address;
    auto lab = std::make_unique<tessaron::test::MinilabProcess>(options);
    EXPECT_TRUE(lab->ready()) << lab->log();
    return lab;
}

std::unique_ptr<VantrelTessaronJob> clientFor(const std::string& address) {
    auto job = VantrelTessaronJob::initWithDeviceURI("vantrelps://" + address);
    if (job) job->setShouldStartRunLoop(true);
    return job;
}

LogCapture::LogCapture() { ::testing::internal::CaptureStderr(); }

LogCapture::~LogCapture() { text(); }

const std::string& LogCapture::text() {
    if (open_) {
        text_ = ::testing::internal::GetCapturedStderr();
        open_ = false;
    }
    return text_;
}

int countOf(const std::string& text, const std::string& needle) {
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++n;
    return n;
}

std::string rollPaper(int width, int surface, int resolution, int lmin, int lmax) {
    return "{\"source\": \"roll\", \"width\": " + std::to_string(width) + ", \"surface\": " + std::to_string(surface) +
           ", \"resolution\": " + std::to_string(resolution) + ", \"lmin\": " + std::to_string(lmin) +
           ", \"lmax\": " + std::to_string(lmax) + "}";
}

std::string sheetPaper(const std::string& name, int width, int surface, int resolution, int lmin, int lmax) {
    return "{\"source\": \"sheet\", \"name\": \"" + name + "\", \"width\": " + std::to_string(width) +
           ", \"surface\": " + std::to_string(surface) + ", \"resolution\": " + std::to_string(resolution) +
           ", \"lmin\": " + std::to_string(lmin) + ", \"lmax\": " + std::to_string(lmax) + "}";
}

void ProtocolTest::SetUp() {
    PLUMEX_CUPSLog::resetForTesting();
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds(0));
    PLUMEX_PrintCoreNetwork::setReconnectPause(std::chrono::milliseconds(5000));
    VantrelTessaronJob::setReplyPollInterval(std::chrono::milliseconds(100));
    ::unsetenv("DEVICE_URI");
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tessaron-test-bus", 1);
}

void ProtocolTest::TearDown() { PLUMEX_CUPSLog::resetForTesting(); }

std::unique_ptr<VantrelTessaronJob> ProtocolTest::clientOfLab(const std::string& address, const std::string& configJson) {
    lab_ = startLab(address, configJson);
    return clientFor(address);
}

}  // namespace tessaron::protocoltest

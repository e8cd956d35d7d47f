#include "SchedulerLab.h"

#include <cups/ipp.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace tessaron::test {

nlohmann::json exampleLab() {
    return nlohmann::json::parse(readFile(std::string(TESSARON_SOURCE_DIR) + "/tools/minilab/examples/lab.json"));
}

void SchedulerLabTest::SetUp() {
    netLock_ = std::make_unique<NetLock>();
    store_ = std::make_unique<TempDir>();
    // The port is free for us while the lock is held: every scheduler test takes it first.
    cups_ = std::make_unique<CupsSandbox>(
        CupsSandboxPrograms{VANTRELPS_PATH, RASTERTOVANTREL_PATH, COMMANDTOVANTREL_PATH, kSchedulerPort});
    ASSERT_TRUE(cups_->ready()) << cups_->failure();
}

void SchedulerLabTest::TearDown() {
    if (HasFailure() && cups_) std::cerr << diagnostics();
    // The scheduler first: it stops the backends that still talk to the emulator.
    cups_.reset();
    lab_.reset();
    store_.reset();
    netLock_.reset();
}

void SchedulerLabTest::startLab(const nlohmann::json& config, const std::string& address) {
    lab_.reset();
    MinilabOptions o;
    o.program = TESSARON_MINILAB_PATH;
    o.configJson = config.dump();
    o.address = address;
    o.storeDir = store_->path();
    lab_ = std::make_unique<MinilabProcess>(o);
    ASSERT_TRUE(lab_->ready()) << lab_->log();
}

void SchedulerLabTest::addQueue(const std::string& name, const std::string& uri) {
    std::string failure = cups_->addQueue(name, uri, TESSARON_PPD_PATH);
    ASSERT_EQ(failure, "");
}

void SchedulerLabTest::startLabWithRefreshedQueue() {
    startLab(exampleLab());
    addQueue(kQueue, std::string("vantrelps://") + kLabAddress);
    EXPECT_EQ(waitForEnd(submitRefresh()).state, IPP_JSTATE_COMPLETED);
}

int SchedulerLabTest::submitRefresh(const std::string& queue) {
    std::string message;
    std::optional<int> id = cups_->submitCommands(queue, {"ReportStatus", "AutoConfigure"}, &message);
    EXPECT_TRUE(id.has_value()) << message;
    return id.value_or(0);
}

CupsJob SchedulerLabTest::waitForEnd(int job, const std::string& queue) {
    std::optional<CupsJob> state = cups_->waitForJobState(
        queue, job, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_CANCELED}, kJobTimeout);
    EXPECT_TRUE(state && state->state >= IPP_JSTATE_CANCELED)
        << "job " << job << " is " << (state ? state->stateName() : "gone");
    return state.value_or(CupsJob{job, 0});
}

std::vector<std::string> SchedulerLabTest::orders() const {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(store_->path(), ec))
        if (entry.path().filename().string().rfind("order-", 0) == 0) found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    return found;
}

std::string SchedulerLabTest::diagnostics() const {
    std::string text = "---- scheduler log ----\n" + cups_->errorLog();
    if (lab_) text += "---- emulator log ----\n" + lab_->log();
    return text;
}

}  // namespace tessaron::test

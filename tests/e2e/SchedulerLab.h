// The common set-up of the end-to-end tests: an emulated minilab on a loopback address with
// an order store, a private scheduler with the suite's programs, and a queue "lab" on
// vantrelps://<address> with the suite's PPD.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CupsSandbox.h"
#include "MinilabProcess.h"
#include "NetLock.h"
#include "TempDir.h"

namespace tessaron::test {

inline constexpr const char* kLabAddress = "127.0.0.30";
inline constexpr const char* kAbsentLabAddress = "127.0.0.39";
inline constexpr const char* kQueue = "lab";
inline constexpr int kSchedulerPort = 16311;
inline constexpr std::chrono::seconds kJobTimeout{90};

// The example lab (four papers, extended features, two-sided), as JSON.
nlohmann::json exampleLab();

class SchedulerLabTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts (or restarts) the emulator at `address` with `config`.
    void startLab(const nlohmann::json& config, const std::string& address = kLabAddress);
    void stopLab() { lab_.reset(); }
    // Adds a queue with the suite's PPD; fails the test when lpadmin refuses.
    void addQueue(const std::string& name, const std::string& uri);
    // The example lab, the queue "lab" on it, and one refresh, so that the queue's PPD holds
    // the catalogue a print job looks its paper up in.
    void startLabWithRefreshedQueue();
    // Submits a refresh ("ReportStatus", "AutoConfigure") and answers its job id.
    int submitRefresh(const std::string& queue = kQueue);
    // Waits for a final state; fails the test (with the scheduler's log) when none comes.
    CupsJob waitForEnd(int job, const std::string& queue = kQueue);

    // Order directories the emulator published (order-<n>), sorted.
    std::vector<std::string> orders() const;
    std::string diagnostics() const;

    std::unique_ptr<NetLock> netLock_;
    std::unique_ptr<TempDir> store_;
    std::unique_ptr<MinilabProcess> lab_;
    std::unique_ptr<CupsSandbox> cups_;
};

}  // namespace tessaron::test

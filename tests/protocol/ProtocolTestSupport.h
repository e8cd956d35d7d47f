// Shared pieces of the protocol tests: an emulated minilab on one of this folder's loopback
// addresses (127.0.0.10-19), held under the port lock for the test's life, and a protocol
// client for it whose log lines are captured from standard error.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MinilabProcess.h"
#include "NetLock.h"
#include "TextLines.h"
#include "VantrelTessaronJob.h"

namespace tessaron::protocoltest {

// Starts the emulator with `configJson` on `address`; fails the test when it does not start.
std::unique_ptr<tessaron::test::MinilabProcess> startLab(const std::string& address, const std::string& configJson);

// A client for vantrelps://<address> that waits for its asynchronous replies.
std::unique_ptr<VantrelTessaronJob> clientFor(const std::string& address);

// Everything the client logs goes to standard error; the test reads it back.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    // Ends the capture (once) and answers what was written.
    const std::string& text();

private:
    bool open_ = true;
    std::string text_;
};

using tessaron::test::linesStartingWith;
int countOf(const std::string& text, const std::string& needle);

// A paper entry of a configuration.
std::string rollPaper(int width, int surface, int resolution, int lmin, int lmax);
std::string sheetPaper(const std::string& name, int width, int surface, int resolution, int lmin, int lmax);

// Process-wide logging state for a protocol test: standard error on, no pauses.
class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A client of an emulated lab started on `address` with `configJson`; the lab lives until
    // the test ends.
    std::unique_ptr<VantrelTessaronJob> clientOfLab(const std::string& address, const std::string& configJson);
    tessaron::test::MinilabProcess& minilab() { return *lab_; }

    tessaron::test::NetLock lock_;

private:
    std::unique_ptr<tessaron::test::MinilabProcess> lab_;
};

}  // namespace tessaron::protocoltest

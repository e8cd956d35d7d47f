// Each logging test starts from fresh process-wide state.
#pragma once

#include "PLUMEX_CUPSLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override {
        PLUMEX_CUPSLog::resetForTesting();
        PLUMEX_CUPSLog::setApplicationName("app");
        PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds(0));
    }
    void TearDown() override { PLUMEX_CUPSLog::resetForTesting(); }
};

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

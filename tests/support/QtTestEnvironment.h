// One QApplication for a whole test program: widgets need it, and only one may exist.
// Header-only, for the test programs that link Qt.
#pragma once

#include <QApplication>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace tessaron::test {

// `prepare` runs before the application is made: for the environment it should start with.
class QtEnvironment : public ::testing::Environment {
public:
    explicit QtEnvironment(std::string programName, std::function<void()> prepare = {})
        : name_(std::move(programName)), prepare_(std::move(prepare)) {}
    void SetUp() override {
        if (prepare_) prepare_();
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    // QApplication keeps references to its arguments for its whole life.
    std::string name_;
    std::function<void()> prepare_;
    int argc_ = 1;
    char* argv_[2] = {name_.data(), nullptr};
    std::unique_ptr<QApplication> app_;
};

}  // namespace tessaron::test

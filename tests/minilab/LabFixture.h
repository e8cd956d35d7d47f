// A test that runs one emulated lab on 127.0.0.2 with a private order store.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MinilabProcess.h"
#include "NetLock.h"
#include "TempDir.h"

namespace tessaron::minilabtest {

class LabTest : public ::testing::Test {
protected:
    void start(const std::string& config, std::vector<std::string> extraArgs = {}) {
        tessaron::test::MinilabOptions o;
        o.program = TESSARON_MINILAB_PATH;
        o.configJson = config;
        o.storeDir = store.path();
        o.extraArgs = std::move(extraArgs);
        lab = std::make_unique<tessaron::test::MinilabProcess>(o);
        ASSERT_TRUE(lab->ready()) << lab->log();
    }
    std::string stored(const std::string& name) const { return tessaron::test::readFile(store.file(name)); }

    tessaron::test::NetLock lock;
    tessaron::test::TempDir store;
    std::unique_ptr<tessaron::test::MinilabProcess> lab;
};

}  // namespace tessaron::minilabtest

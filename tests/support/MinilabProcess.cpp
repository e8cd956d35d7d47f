#include "MinilabProcess.h"

#include <csignal>
#include <filesystem>
#include <thread>

#include "TempDir.h"

namespace tessaron::test {

MinilabOptions storingLab(std::string program, std::string configJson, std::string address, std::string storeDir) {
    MinilabOptions o;
    o.program = std::move(program);
    o.configJson = std::move(configJson);
    o.address = std::move(address);
    o.storeDir = std::move(storeDir);
    return o;
}

MinilabProcess::MinilabProcess(MinilabOptions options) : options_(std::move(options)) {
    if (!options_.storeDir.empty()) {
        std::error_code ignored;  // the program reports a store it cannot use
        std::filesystem::create_directories(options_.storeDir, ignored);
    }
    dir_ = std::make_unique<TempDir>();
    logPath_ = dir_->file("minilab.log");
    ProcessSpec spec;
    spec.program = options_.program;
    spec.args = {"--log", logPath_};
    if (!options_.address.empty()) {
        spec.args.push_back("--address");
        spec.args.push_back(options_.address);
    }
    if (!options_.configJson.empty()) {
        spec.args.push_back("--config");
        spec.args.push_back(dir_->write("minilab.json", options_.configJson));
    } else if (!options_.configFile.empty()) {
        spec.args.push_back("--config");
        spec.args.push_back(options_.configFile);
    }
    if (!options_.storeDir.empty()) {
        spec.args.push_back("--store");
        spec.args.push_back(options_.storeDir);
    }
    if (options_.verbose) spec.args.push_back("--verbose");
    for (const auto& a : options_.extraArgs) spec.args.push_back(a);
    spec.timeout = std::chrono::milliseconds(0);
    process_ = std::make_unique<BackgroundProcess>(spec);
    // The program writes this line to standard error once every socket is bound.
    ready_ = process_->waitForError("tessaron-minilab: ready", options_.readyTimeout) &&
             process_->running();
}

MinilabProcess::~MinilabProcess() { stop(); }

pid_t MinilabProcess::pid() const { return process_ ? process_->pid() : -1; }

std::string MinilabProcess::log() const {
    std::string text = readFile(logPath_);
    if (process_) text += process_->stderrSoFar();
    return text;
}

bool MinilabProcess::waitForLog(const std::string& text, std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (log().find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool MinilabProcess::makePreviews(const std::string& orderDir, std::string* message) const {
    ProcessSpec spec;
    spec.program = options_.program;
    spec.args = {"--previews", orderDir};
    spec.timeout = std::chrono::milliseconds(30000);
    const ProcessResult result = runProcess(spec);
    if (message) *message = result.err;
    return result.exitStatus == 0;
}

ProcessResult MinilabProcess::stop(std::chrono::milliseconds timeout) {
    if (stopped_ || !process_) return result_;
    stopped_ = true;
    process_->signal(SIGTERM);
    result_ = process_->wait(timeout);
    result_.err = readFile(logPath_) + result_.err;
    return result_;
}

}  // namespace tessaron::test

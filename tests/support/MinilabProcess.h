// Runs the emulated minilab (tessaron-minilab) for a test: writes the configuration to a
// private file, starts the program on a loopback address, waits until it has bound its
// ports, and stops it by its pid (SIGTERM, then wait) when the object goes.
//
// Hold a NetLock for as long as the emulator runs: it binds the fixed ports 5001/5002.
//
//   tessaron::test::MinilabOptions o;
//   o.program = TESSARON_MINILAB_PATH;
//   o.configJson = R"({"name": "Lab 1", "apiVersion": "3.0.0.0", "extraFeatures": true,
//                      "papers": [{"width": 1020, "surface": 1, "resolution": 3000,
//                                  "lmin": 890, "lmax": 3050}]})";
//   tessaron::test::MinilabProcess lab(o);
//   ASSERT_TRUE(lab.ready()) << lab.log();
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

#include "Process.h"

namespace tessaron::test {

class TempDir;

struct MinilabOptions {
    std::string program;                // path of the built tessaron-minilab
    std::string configJson;             // configuration text; empty: the program's default lab
    std::string configFile;             // or an existing configuration file (--config FILE)
    std::string address = "127.0.0.2";  // passed as --address (overrides the config's); empty: not passed
    std::string storeDir;               // --store DIR when not empty (made when missing)
    bool verbose = false;               // --verbose: field-level details in the log
    std::vector<std::string> extraArgs; // further arguments, appended last
    std::chrono::milliseconds readyTimeout{20000};
};

// An emulator on `address` with the configuration `configJson`, storing orders in `storeDir`.
MinilabOptions storingLab(std::string program, std::string configJson, std::string address, std::string storeDir);

class MinilabProcess {
public:
    explicit MinilabProcess(MinilabOptions options);
    ~MinilabProcess();
    MinilabProcess(const MinilabProcess&) = delete;
    MinilabProcess& operator=(const MinilabProcess&) = delete;

    // True once the program reported that its sockets are bound (false when it exited).
    bool ready() const { return ready_; }
    pid_t pid() const;
    const std::string& address() const { return options_.address; }
    const std::string& storeDir() const { return options_.storeDir; }

    // The emulator's log so far (one line per request, validation messages with offsets).
    std::string log() const;
    // Polls the log until `text` appears or the time-out passes.
    bool waitForLog(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;

    // Runs `tessaron-minilab --previews` on a stored order directory (frame-<k>.png next to
    // every frame image): true when it made them.
    bool makePreviews(const std::string& orderDir, std::string* message = nullptr) const;

    // SIGTERM, then waits for the exit (idempotent). The result carries the exit status.
    ProcessResult stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

private:
    MinilabOptions options_;
    std::unique_ptr<TempDir> dir_;
    std::string logPath_;
    std::unique_ptr<BackgroundProcess> process_;
    bool ready_ = false;
    bool stopped_ = false;
    ProcessResult result_;
};

}  // namespace tessaron::test

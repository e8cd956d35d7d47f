// The backend as a child process: started without a shell, its pipes owned here, stopped by
// its own pid. One child per job, per lab query and per device search, so a child that fails
// (the shared core ends its process on a fatal error) never takes the server with it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "UniqueFd.h"

namespace tessaron::printerapp {

struct ChildCommand {
    std::string program;
    std::vector<std::string> args;  // argv, argv[0] included
    std::vector<std::string> env;   // the whole environment, "NAME=value"
};

class ChildProcess {
public:
    // Starts the program with pipes on its standard output and error, and on its standard
    // input when `feedInput` (else /dev/null). None when it could not be started.
    static std::optional<ChildProcess> start(const ChildCommand& command, bool feedInput);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ~ChildProcess();  // a child still running is killed and reaped

    pid_t pid() const { return pid_; }
    int input() const { return input_.get(); }
    int output() const { return output_.get(); }
    int errors() const { return errors_.get(); }
    void closeInput() { input_.reset(); }
    void closeOutput() { output_.reset(); }
    void closeErrors() { errors_.reset(); }

    // Readable once the child has ended (a pidfd), so a wait wakes at the exit itself.
    int exitEvent() const { return exited_.get(); }

    void signal(int sig);
    // The exit status once the child has ended (128 + n for signal n), else none.
    std::optional<int> poll();
    int wait();

private:
    ChildProcess() = default;
    pid_t pid_ = -1;
    std::optional<int> status_;
    UniqueFd input_, output_, errors_, exited_;
};

struct CapturedRun {
    bool finished = false;  // false: the deadline passed and the child was killed
    int status = -1;
    std::string out;        // at most the asked number of bytes of standard output
};

// Runs the command to its end, reading standard output (at most `maxBytes`, the rest read and
// dropped) and dropping standard error; a child still running at `deadline` is killed.
CapturedRun runCaptured(const ChildCommand& command, std::chrono::milliseconds deadline, std::size_t maxBytes);

}  // namespace tessaron::printerapp

// Runs a program the way CUPS would: given arguments and environment, optional
// standard input, capturing standard output and standard error. Never via a shell.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tessaron::test {

struct ProcessResult {
    int exitStatus = -1;  // exit status, or -1 when killed by a signal
    int termSignal = 0;   // the signal that ended it, 0 for a normal exit
    bool timedOut = false;
    std::string out;
    std::string err;
    std::chrono::milliseconds elapsed{0};
};

struct ProcessSpec {
    std::string program;                   // path of the program
    std::vector<std::string> args;         // argv[1..]; argv[0] is argv0 or program
    std::optional<std::string> argv0;
    std::map<std::string, std::string> env;  // added to (and overriding) the inherited environment
    std::vector<std::string> unsetEnv;
    bool clearEnv = false;                 // start from an empty environment (PATH kept)
    std::optional<std::string> stdinData;  // written to the child's standard input, then closed
    std::optional<std::string> stdinFile;  // or: this file as standard input
    std::chrono::milliseconds timeout{60000};
};

// The argv or envp array of `strings` for exec: their pointers, then a null pointer. The
// strings must outlive it.
std::vector<char*> cStringArray(std::vector<std::string>& strings);

// Runs the program to completion (or until the time-out, when it is killed).
ProcessResult runProcess(const ProcessSpec& spec);

// A program left running in the background; stopped by its id on destruction.
class BackgroundProcess {
public:
    explicit BackgroundProcess(const ProcessSpec& spec);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Sends a signal to the child (by id).
    void signal(int sig);
    // Waits for the exit; collects what the child wrote. SIGKILL after the time-out.
    ProcessResult wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(30000));
    // Standard error read so far (non-blocking drain).
    const std::string& stderrSoFar();
    const std::string& stdoutSoFar();
    // Polls until `text` appears on standard output (waitForOutput) or standard error
    // (waitForError), the child ends or the time-out passes. One stream each, so that a child's
    // "Address already in use" never counts as its "ready".
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    bool waitForError(const std::string& text, std::chrono::milliseconds timeout);

private:
    void drain(int timeoutMs);
    bool waitFor(const std::string& text, const std::string& stream, std::chrono::milliseconds timeout);
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool finished_ = false;
    ProcessResult result_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace tessaron::test

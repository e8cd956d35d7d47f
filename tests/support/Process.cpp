#include "Process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tessaron::test {
namespace {

std::vector<std::string> buildEnvironment(const ProcessSpec& spec) {
    std::map<std::string, std::string> env;
    if (!spec.clearEnv) {
        for (char** e = environ; *e; ++e) {
            std::string entry(*e);
            auto eq = entry.find('=');
            if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
    } else if (const char* path = getenv("PATH")) {
        env["PATH"] = path;
    }
    for (const auto& name : spec.unsetEnv) env.erase(name);
    for (const auto& [k, v] : spec.env) env[k] = v;
    std::vector<std::string> out;
    for (const auto& [k, v] : env) out.push_back(k + "=" + v);
    return out;
}

void decodeStatus(int status, ProcessResult& r) {
    if (WIFEXITED(status)) {
        r.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.termSignal = WTERMSIG(status);
        r.exitStatus = -1;
    }
}

// Spawns the child with pipes for stdout/stderr (and stdin when data is given).
pid_t spawn(const ProcessSpec& spec, int& outFd, int& errFd, int& inFd) {
    int outPipe[2], errPipe[2], inPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return -1;
    if (spec.stdinData && pipe2(inPipe, O_CLOEXEC) != 0) return -1;

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
    if (spec.stdinData) {
        posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    } else if (spec.stdinFile) {
        posix_spawn_file_actions_addopen(&fa, 0, spec.stdinFile->c_str(), O_RDONLY, 0);
    } else {
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    }

    std::vector<std::string> argStrings;
    argStrings.push_back(spec.argv0.value_or(spec.program));
    for (const auto& a : spec.args) argStrings.push_back(a);
    auto envStrings = buildEnvironment(spec);
    auto argv = cStringArray(argStrings);
    auto envp = cStringArray(envStrings);

    // The child starts with default signal dispositions and an empty mask.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    int rc = posix_spawn(&pid, spec.program.c_str(), &fa, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    close(outPipe[1]);
    close(errPipe[1]);
    if (inPipe[0] >= 0) close(inPipe[0]);
    outFd = outPipe[0];
    errFd = errPipe[0];
    inFd = inPipe[1];
    if (rc != 0) {
        close(outFd);
        close(errFd);
        if (inFd >= 0) close(inFd);
        outFd = errFd = inFd = -1;
        return -1;
    }
    return pid;
}

// Reads what is available on the fds into the strings; closes fds at end of file.
void pump(int& outFd, int& errFd, std::string& out, std::string& err, int timeoutMs) {
    pollfd fds[2];
    int n = 0;
    if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
    if (n == 0) return;
    if (poll(fds, static_cast<nfds_t>(n), timeoutMs) <= 0) return;
    for (int i = 0; i < n; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buf[65536];
        ssize_t got = read(fds[i].fd, buf, sizeof buf);
        bool isOut = fds[i].fd == outFd;
        if (got > 0) {
            (isOut ? out : err).append(buf, static_cast<size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            close(fds[i].fd);
            (isOut ? outFd : errFd) = -1;
        }
    }
}

}  // namespace

std::vector<char*> cStringArray(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (auto& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

ProcessResult runProcess(const ProcessSpec& spec) {
    BackgroundProcess p(spec);
    return p.wait(spec.timeout);
}

BackgroundProcess::BackgroundProcess(const ProcessSpec& spec) {
    start_ = std::chrono::steady_clock::now();
    int inFd = -1;
    pid_ = spawn(spec, outFd_, errFd_, inFd);
    if (pid_ < 0) {
        finished_ = true;
        result_.exitStatus = 127;
        result_.err = "spawn failed: " + spec.program;
        return;
    }
    if (inFd >= 0) {
        // Feed standard input while draining the child's output so neither side blocks.
        const std::string& data = *spec.stdinData;
        size_t off = 0;
        fcntl(inFd, F_SETFL, O_NONBLOCK);
        while (off < data.size()) {
            pollfd pfd{inFd, POLLOUT, 0};
            if (poll(&pfd, 1, 10) > 0) {
                ssize_t w = write(inFd, data.data() + off, data.size() - off);
                if (w > 0) off += static_cast<size_t>(w);
                else if (errno != EAGAIN && errno != EINTR) break;
            }
            pump(outFd_, errFd_, result_.out, result_.err, 0);
            if (waitpid(pid_, nullptr, WNOHANG | WNOWAIT) == pid_) break;
        }
        close(inFd);
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (!finished_ && pid_ > 0) {
        kill(pid_, SIGTERM);
        wait(std::chrono::milliseconds(5000));
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

bool BackgroundProcess::running() {
    if (finished_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        decodeStatus(status, result_);
        finished_ = true;
        drain(0);
        return false;
    }
    return true;
}

void BackgroundProcess::signal(int sig) {
    if (!finished_ && pid_ > 0) kill(pid_, sig);
}

void BackgroundProcess::drain(int timeoutMs) {
    pump(outFd_, errFd_, result_.out, result_.err, timeoutMs);
    if (finished_) {
        while (outFd_ >= 0 || errFd_ >= 0) pump(outFd_, errFd_, result_.out, result_.err, 100);
    }
}

const std::string& BackgroundProcess::stderrSoFar() {
    drain(0);
    return result_.err;
}

const std::string& BackgroundProcess::stdoutSoFar() {
    drain(0);
    return result_.out;
}

bool BackgroundProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    return waitFor(text, result_.out, timeout);
}

bool BackgroundProcess::waitForError(const std::string& text, std::chrono::milliseconds timeout) {
    return waitFor(text, result_.err, timeout);
}

bool BackgroundProcess::waitFor(const std::string& text, const std::string& stream, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        drain(20);
        if (stream.find(text) != std::string::npos) return true;
        if (!running()) return stream.find(text) != std::string::npos;
    }
    return false;
}

ProcessResult BackgroundProcess::wait(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!finished_) {
        // Read output while waiting: a child that fills a pipe would otherwise never exit.
        pump(outFd_, errFd_, result_.out, result_.err, 20);
        int status = 0;
        pid_t w = waitpid(pid_, &status, WNOHANG);
        if (w == pid_) {
            decodeStatus(status, result_);
            finished_ = true;
        } else if (std::chrono::steady_clock::now() >= deadline) {
            result_.timedOut = true;
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            decodeStatus(status, result_);
            finished_ = true;
        }
    }
    drain(0);
    result_.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_);
    return result_;
}

}  // namespace tessaron::test

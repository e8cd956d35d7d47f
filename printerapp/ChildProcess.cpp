#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace tessaron::printerapp {
namespace {

struct Pipe {
    UniqueFd read, write;
};

std::optional<Pipe> makePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (std::string& s : strings) list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

int statusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

// Spawns with the pipes' far ends as descriptors 0, 1 and 2.
pid_t spawn(const ChildCommand& command, int in, int out, int err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<std::string> args = command.args;
    std::vector<std::string> env = command.env;
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, command.program.c_str(), &actions, nullptr, pointers(args).data(),
                                     pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

}  // namespace

std::optional<ChildProcess> ChildProcess::start(const ChildCommand& command, bool feedInput) {
    auto out = makePipe();
    auto err = makePipe();
    auto in = makePipe();
    if (!out || !err || !in) return std::nullopt;
    UniqueFd devNull;
    int childInput = in->read.get();
    if (!feedInput) {
        devNull.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        childInput = devNull.get();
    }
    ChildProcess child;
    child.pid_ = spawn(command, childInput, out->write.get(), err->write.get());
    if (child.pid_ < 0) return std::nullopt;
    if (feedInput) child.input_ = std::move(in->write);
    child.output_ = std::move(out->read);
    child.errors_ = std::move(err->read);
    child.exited_.reset(static_cast<int>(::syscall(SYS_pidfd_open, child.pid_, 0)));
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), status_(other.status_), input_(std::move(other.input_)), output_(std::move(other.output_)),
      errors_(std::move(other.errors_)), exited_(std::move(other.exited_)) {
    other.pid_ = -1;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        signal(SIGKILL);
        wait();
    }
}

void ChildProcess::signal(int sig) {
    if (pid_ > 0 && !status_) ::kill(pid_, sig);
}

std::optional<int> ChildProcess::poll() {
    if (status_ || pid_ <= 0) return status_;
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) == pid_) status_ = statusOf(raw);
    return status_;
}

int ChildProcess::wait() {
    while (!status_ && pid_ > 0) {
        int raw = 0;
        const pid_t done = ::waitpid(pid_, &raw, 0);
        if (done == pid_) status_ = statusOf(raw);
        else if (done < 0 && errno != EINTR) status_ = -1;
    }
    return status_.value_or(-1);
}

CapturedRun runCaptured(const ChildCommand& command, std::chrono::milliseconds deadline, std::size_t maxBytes) {
    CapturedRun run;
    auto child = ChildProcess::start(command, false);
    if (!child) return run;
    const auto end = std::chrono::steady_clock::now() + deadline;
    char buffer[4096];
    while (child->output() >= 0 || child->errors() >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            child->signal(SIGKILL);
            child->wait();
            return run;
        }
        pollfd fds[2] = {{child->output(), POLLIN, 0}, {child->errors(), POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                if (got < 0 && errno == EINTR) continue;
                i == 0 ? child->closeOutput() : child->closeErrors();
            } else if (i == 0 && run.out.size() < maxBytes) {
                run.out.append(buffer, std::min(static_cast<std::size_t>(got), maxBytes - run.out.size()));
            }
        }
    }
    run.status = child->wait();
    run.finished = true;
    return run;
}

}  // namespace tessaron::printerapp

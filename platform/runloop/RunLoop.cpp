#include "RunLoop.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tessaron {

namespace {

std::atomic<RunLoop*> gMainLoop{nullptr};
std::atomic<RunLoop::SourceId> gNextSourceId{1};

bool onMainThread() { return static_cast<pid_t>(::syscall(SYS_gettid)) == ::getpid(); }

int pollTimeoutMs(RunLoop::Clock::time_point now, RunLoop::Clock::time_point until) {
    if (until <= now) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    return static_cast<int>(std::min<long long>(ms, 60'000));
}

}  // namespace

RunLoop& RunLoop::current() {
    thread_local std::unique_ptr<RunLoop> loop;
    if (!loop) {
        loop.reset(new RunLoop());
        if (onMainThread()) gMainLoop.store(loop.get());
    }
    return *loop;
}

RunLoop& RunLoop::main() {
    if (onMainThread()) return current();
    if (RunLoop* m = gMainLoop.load()) return *m;
    // No main loop yet: one that nobody runs, so a stop sent to it is kept until it does.
    static RunLoop* orphan = new RunLoop();
    RunLoop* expected = nullptr;
    gMainLoop.compare_exchange_strong(expected, orphan);
    return *gMainLoop.load();
}

RunLoop::RunLoop() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), owner_(std::this_thread::get_id()) {}

RunLoop::~RunLoop() {
    if (gMainLoop.load() == this) gMainLoop.store(nullptr);
}

void RunLoop::wake() {
    if (!wakeFd_) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_.get(), &one, sizeof one);
}

void RunLoop::drainWakeups() {
    std::uint64_t count = 0;
    if (wakeFd_) [[maybe_unused]] auto n = ::read(wakeFd_.get(), &count, sizeof count);
}

void RunLoop::stop() {
    if (std::this_thread::get_id() != owner_) {
        pendingStop_.store(true);
        wake();
        return;
    }
    if (!stopFlags_.empty()) stopFlags_.back() = true;
}

RunLoop::RunResult RunLoop::runFor(std::chrono::duration<double> limit) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::min(limit, std::chrono::duration<double>(1e9)));
    ++depth_;
    stopFlags_.push_back(false);
    RunResult result = RunResult::TimedOut;
    for (;;) {
        if (pendingStop_.exchange(false)) stopFlags_.back() = true;
        if (stopFlags_.back()) { result = RunResult::Stopped; break; }
        if (sockets_.empty() && timers_.empty()) { result = RunResult::Finished; break; }
        if (Clock::now() >= deadline) { result = RunResult::TimedOut; break; }
        dispatchOnce(deadline);
    }
    stopFlags_.pop_back();
    --depth_;
    return result;
}

bool RunLoop::fireDueTimers() {
    const auto now = Clock::now();
    std::vector<SourceId> due;
    for (const auto& [id, timer] : timers_)
        if (timer.next <= now) due.push_back(id);
    for (SourceId id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;
        TimerHandler handler = it->second.handler;
        if (it->second.interval == Clock::duration::zero()) {
            timers_.erase(it);
        } else {
            it->second.next = now + it->second.interval;
        }
        handler(id);
        if (!stopFlags_.empty() && stopFlags_.back()) return true;
    }
    return false;
}

bool RunLoop::dispatchOnce(Clock::time_point deadline) {
    auto wakeAt = deadline;
    for (const auto& [id, timer] : timers_) wakeAt = std::min(wakeAt, timer.next);

    std::vector<pollfd> fds;
    std::vector<SourceId> ids;
    fds.push_back({wakeFd_.get(), POLLIN, 0});
    for (const auto& [id, s] : sockets_) {
        short want = 0;
        if (s.events & ReadEvent) want |= POLLIN;
        if (s.events & ConnectEvent) want |= POLLOUT;
        if (want == 0) continue;
        fds.push_back({s.fd, want, 0});
        ids.push_back(id);
    }
    const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs(Clock::now(), wakeAt));
    if (ready < 0 && errno != EINTR) return false;
    if (fds[0].revents) drainWakeups();
    if (pendingStop_.exchange(false)) { stopFlags_.back() = true; return true; }
    if (fireDueTimers()) return true;
    if (ready <= 0) return false;

    for (std::size_t i = 0; i < ids.size(); ++i) {
        const short rev = fds[i + 1].revents;
        if (!rev) continue;
        auto it = sockets_.find(ids[i]);
        if (it == sockets_.end() || it->second.fd != fds[i + 1].fd) continue;
        unsigned fired = 0;
        int error = 0;
        if ((it->second.events & ConnectEvent) && (rev & (POLLOUT | POLLERR | POLLHUP))) {
            fired |= ConnectEvent;
            socklen_t len = sizeof error;
            ::getsockopt(it->second.fd, SOL_SOCKET, SO_ERROR, &error, &len);
            it->second.events &= ~static_cast<unsigned>(ConnectEvent);  // once per connection
        }
        if ((it->second.events & ReadEvent) && (rev & (POLLIN | POLLHUP | POLLERR))) fired |= ReadEvent;
        if (!fired) continue;
        // The handler may remove sources or run this loop again; work on a copy.
        SocketHandler handler = it->second.handler;
        const int fd = it->second.fd;
        if (fired & ConnectEvent) {
            handler(fd, ConnectEvent, error);
            if (stopFlags_.back()) return true;
            if (!(fired & ReadEvent)) continue;
            it = sockets_.find(ids[i]);
            if (it == sockets_.end() || !(it->second.events & ReadEvent)) continue;
        }
        if (fired & ReadEvent) handler(fd, ReadEvent, 0);
        if (stopFlags_.back()) return true;
    }
    return true;
}

RunLoop::SourceId RunLoop::addSocket(int fd, unsigned events, SocketHandler handler) {
    const SourceId id = gNextSourceId++;
    sockets_[id] = Socket{fd, events, std::move(handler)};
    return id;
}

void RunLoop::removeSocket(SourceId id) { sockets_.erase(id); }

RunLoop::SourceId RunLoop::addTimer(std::chrono::duration<double> first, std::chrono::duration<double> interval,
                                    TimerHandler handler) {
    const SourceId id = gNextSourceId++;
    timers_[id] = Timer{Clock::now() + std::chrono::duration_cast<Clock::duration>(first),
                        std::chrono::duration_cast<Clock::duration>(interval), std::move(handler)};
    return id;
}

void RunLoop::setTimerNextFire(SourceId id, std::chrono::duration<double> fromNow) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second.next = Clock::now() + std::chrono::duration_cast<Clock::duration>(fromNow);
}

void RunLoop::removeTimer(SourceId id) { timers_.erase(id); }

}  // namespace tessaron

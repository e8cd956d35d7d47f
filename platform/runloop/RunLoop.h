// A per-thread event loop over poll(): socket sources (read and connect events) and timers.
// A loop may be run re-entrantly from inside one of its own handlers; stop() ends the
// innermost run only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "UniqueFd.h"

namespace tessaron {

class RunLoop {
public:
    using SourceId = std::uint64_t;
    using Clock = std::chrono::steady_clock;

    enum class RunResult { Finished = 1, Stopped = 2, TimedOut = 3 };

    enum SocketEvent : unsigned { ReadEvent = 1u, ConnectEvent = 2u };
    // `events` holds what fired; `error` is the socket's pending error for a connect event.
    using SocketHandler = std::function<void(int fd, unsigned events, int error)>;
    using TimerHandler = std::function<void(SourceId timer)>;

    // The loop of the calling thread, created on first use.
    static RunLoop& current();
    // The loop of the process's main thread (the first thread that asked for a loop).
    static RunLoop& main();

    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;
    ~RunLoop();

    // Runs until stop() or until `limit` has passed. Finished: no source left to wait for.
    RunResult runFor(std::chrono::duration<double> limit);
    RunResult run() { return runFor(std::chrono::hours(100)); }
    // Ends the innermost run; safe from any thread. From another thread a stop that comes
    // before the loop runs is kept for its next run, so a fast worker cannot be missed.
    void stop();
    // Whether a run of this loop is in progress (at any depth).
    bool isRunning() const { return depth_ > 0; }

    // Source ids are unique across all loops of the process, so removing a source from the
    // wrong loop is harmless.
    // A socket source. A connect event is delivered once, when the socket turns writable;
    // read events are delivered while data (or end of stream) is waiting.
    SourceId addSocket(int fd, unsigned events, SocketHandler handler);
    void removeSocket(SourceId id);

    // A timer: first firing after `first`, then every `interval` (zero: fires once).
    SourceId addTimer(std::chrono::duration<double> first, std::chrono::duration<double> interval,
                      TimerHandler handler);
    void setTimerNextFire(SourceId id, std::chrono::duration<double> fromNow);
    void removeTimer(SourceId id);
    bool hasTimer(SourceId id) const { return timers_.count(id) != 0; }

private:
    RunLoop();
    struct Socket {
        int fd;
        unsigned events;
        SocketHandler handler;
    };
    struct Timer {
        Clock::time_point next;
        Clock::duration interval;
        TimerHandler handler;
    };
    bool dispatchOnce(Clock::time_point deadline);
    bool fireDueTimers();
    void wake();
    void drainWakeups();

    std::map<SourceId, Socket> sockets_;
    std::map<SourceId, Timer> timers_;
    int depth_ = 0;
    std::vector<bool> stopFlags_;        // one per active run, innermost last
    std::atomic<bool> pendingStop_{false};  // a stop from another thread
    UniqueFd wakeFd_;
    std::thread::id owner_;
};

}  // namespace tessaron

// Background work of one panel: every task runs on its own thread (a private serial queue per
// task); the owner joins them all before it goes away, so no task outlives its panel.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <list>
#include <mutex>
#include <thread>

namespace tessaron::pde {

class BackgroundQueue {
public:
    BackgroundQueue() = default;
    BackgroundQueue(const BackgroundQueue&) = delete;
    BackgroundQueue& operator=(const BackgroundQueue&) = delete;
    ~BackgroundQueue() { joinAll(); }

    void async(std::function<void()> task);
    // Waits for every task started so far; tasks may still start new ones meanwhile.
    void joinAll();

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void reapFinished();

    std::mutex mutex_;
    std::list<std::shared_ptr<Worker>> workers_;
};

}  // namespace tessaron::pde

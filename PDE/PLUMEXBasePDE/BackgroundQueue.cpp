#include "BackgroundQueue.h"

namespace tessaron::pde {

void BackgroundQueue::async(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    reapFinished();
    auto worker = std::make_shared<Worker>();
    worker->thread = std::thread([worker, task = std::move(task)] {
        task();
        worker->done = true;
    });
    workers_.push_back(std::move(worker));
}

void BackgroundQueue::reapFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void BackgroundQueue::joinAll() {
    for (;;) {
        std::shared_ptr<Worker> next;
        {
            std::lock_guard lock(mutex_);
            if (workers_.empty()) return;
            next = workers_.front();
            workers_.pop_front();
        }
        if (next->thread.joinable()) next->thread.join();
    }
}

}  // namespace tessaron::pde

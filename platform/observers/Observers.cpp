#include "Observers.h"

#include <map>
#include <mutex>
#include <vector>

namespace tessaron {

namespace {

struct Entry {
    std::string name;
    const void* object;
    NotificationCenter::Handler handler;
};

std::mutex gMutex;
std::map<NotificationCenter::Token, Entry> gObservers;
NotificationCenter::Token gNextToken = 1;

}  // namespace

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, const void* object, Handler handler) {
    std::lock_guard lock(gMutex);
    const Token token = gNextToken++;
    gObservers.emplace(token, Entry{std::move(name), object, std::move(handler)});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(gMutex);
    gObservers.erase(token);
}

void NotificationCenter::post(const Notification& notification) {
    // Handlers run without the lock, so they may add or remove observers.
    std::vector<Handler> handlers;
    {
        std::lock_guard lock(gMutex);
        for (const auto& [token, e] : gObservers)
            if (e.name == notification.name && (!e.object || e.object == notification.object))
                handlers.push_back(e.handler);
    }
    for (const auto& h : handlers) h(notification);
}

}  // namespace tessaron

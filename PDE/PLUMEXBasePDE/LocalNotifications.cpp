#include "LocalNotifications.h"

#include <algorithm>

namespace tessaron::pde {

LocalNotificationCenter& LocalNotificationCenter::defaultCenter() {
    static LocalNotificationCenter center;
    return center;
}

void LocalNotificationCenter::addObserver(const void* observer, const QString& name, const void* object,
                                          Handler handler) {
    std::lock_guard lock(mutex_);
    registrations_.push_back({observer, name, object, std::move(handler)});
}

void LocalNotificationCenter::removeObserver(const void* observer) {
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const Registration& r) { return r.observer == observer; });
}

void LocalNotificationCenter::postNotificationName(const QString& name, const void* object) {
    // Handlers run without the lock so that they may post or unregister themselves.
    std::vector<Handler> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_)
            if (r.name == name && (r.object == nullptr || r.object == object)) matching.push_back(r.handler);
    }
    for (auto& handler : matching) handler(name, object);
}

}  // namespace tessaron::pde

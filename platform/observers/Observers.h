// In-process notifications: observers register for a name and are called, on the posting
// thread, with the name and the posting object.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tessaron {

struct Notification {
    std::string name;
    const void* object = nullptr;
};

class NotificationCenter {
public:
    using Token = std::uint64_t;
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // `object` null: every poster of the name.
    Token addObserver(std::string name, const void* object, Handler handler);
    void removeObserver(Token token);
    void post(const Notification& notification);
    void post(std::string name, const void* object) { post(Notification{std::move(name), object}); }
};

}  // namespace tessaron

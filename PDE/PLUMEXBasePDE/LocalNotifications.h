// The process-local notification centre: named notifications with an object identity,
// delivered synchronously on the posting thread.
#pragma once

#include <QString>

#include <functional>
#include <mutex>
#include <vector>

namespace tessaron::pde {

inline constexpr const char* kPPDUpdateDidCompleteNotification = "ppdUpdateDidCompleteNotification";
inline constexpr const char* kPPDUpdateDidAbortNotification = "ppdUpdateDidAbortNotification";
inline constexpr const char* kPluginIsUnloadingNotification = "com.vantrel.jrx.PDEPluginIsUnloading";

class LocalNotificationCenter {
public:
    using Handler = std::function<void(const QString& name, const void* object)>;

    static LocalNotificationCenter& defaultCenter();

    // `object` null observes every object; otherwise objects are matched by identity.
    // `observer` identifies the registration for removeObserver.
    void addObserver(const void* observer, const QString& name, const void* object, Handler handler);
    void removeObserver(const void* observer);
    void postNotificationName(const QString& name, const void* object);

private:
    struct Registration {
        const void* observer;
        QString name;
        const void* object;
        Handler handler;
    };
    std::mutex mutex_;
    std::vector<Registration> registrations_;
};

}  // namespace tessaron::pde

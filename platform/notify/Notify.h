// System-wide notifications as D-Bus signals on the system bus (DBUS_SYSTEM_BUS_ADDRESS is
// honoured): interface com.vantrel.tessaron.Notifications, path /com/vantrel/tessaron,
// member = the notification's name, one string argument = its object.
#pragma once

#include <string>

namespace tessaron::notify {

inline constexpr const char* kInterface = "com.vantrel.tessaron.Notifications";
inline constexpr const char* kObjectPath = "/com/vantrel/tessaron";

// Posts the signal and waits until the bus has it. False, with `error` set, when there is no
// bus or the signal could not be sent; callers log and go on.
bool postDistributedNotification(const std::string& name, const std::string& object, std::string* error = nullptr);

}  // namespace tessaron::notify

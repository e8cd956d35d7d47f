#include "Notify.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <memory>

namespace tessaron::notify {

namespace {

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};

bool fail(std::string* error, const char* what, int r) {
    if (error) *error = std::string(what) + ": " + std::strerror(-r);
    return false;
}

}  // namespace

bool postDistributedNotification(const std::string& name, const std::string& object, std::string* error) {
    sd_bus* raw = nullptr;
    int r = sd_bus_open_system(&raw);
    if (r < 0) return fail(error, "cannot connect to the system bus", r);
    std::unique_ptr<sd_bus, BusCloser> bus(raw);
    r = sd_bus_emit_signal(bus.get(), kObjectPath, kInterface, name.c_str(), "s", object.c_str());
    if (r < 0) return fail(error, "cannot emit the signal", r);
    r = sd_bus_flush(bus.get());
    if (r < 0) return fail(error, "cannot flush the bus", r);
    return true;
}

}  // namespace tessaron::notify

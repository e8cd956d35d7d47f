#include "Devices.h"

#include <pappl/pappl.h>

#include <chrono>
#include <cstdio>

#include "BackendCommand.h"
#include "DeviceLines.h"

namespace tessaron::printerapp {
namespace {

// Discovery listens for three seconds; the rest is room for a busy machine.
constexpr std::chrono::seconds kDiscoveryDeadline{10};
constexpr std::size_t kMaxDiscoveryBytes = 256 * 1024;

bool listDevices(pappl_device_cb_t cb, void* data, pappl_deverror_cb_t errorCb, void* errorData) {
    const CapturedRun run = runCaptured(discoveryCommand(), kDiscoveryDeadline, kMaxDiscoveryBytes);
    if (!run.finished || run.status != 0) {
        if (errorCb) errorCb("The minilab search did not complete.", errorData);
        return false;
    }
    for (const FoundDevice& device : parseDeviceLines(run.out))
        if ((cb)(device.info.c_str(), device.uri.c_str(), kDeviceID, data)) return true;
    return false;
}

bool openDevice(pappl_device_t*, const char*, const char*) { return true; }
void closeDevice(pappl_device_t*) {}
ssize_t readDevice(pappl_device_t*, void*, size_t) { return 0; }
ssize_t writeDevice(pappl_device_t*, const void*, size_t bytes) { return static_cast<ssize_t>(bytes); }
pappl_preason_t deviceStatus(pappl_device_t*) { return PAPPL_PREASON_NONE; }

char* deviceID(pappl_device_t*, char* buffer, size_t size) {
    papplCopyString(buffer, kDeviceID, size);
    return buffer;
}

bool printDevice(const char* info, const char* uri, const char*, void*) {
    std::printf("%s\n    %s\n", uri, info);
    return false;
}

void printError(const char* message, void* failed) {
    std::fprintf(stderr, "tessaron-printer-app: %s\n", message);
    *static_cast<bool*>(failed) = true;
}

}  // namespace

int listMinilabs() {
    bool failed = false;
    listDevices(printDevice, nullptr, printError, &failed);
    return failed || std::fflush(stdout) != 0 ? 1 : 0;
}

void registerDeviceScheme() {
    papplDeviceAddScheme("vantrelps", PAPPL_DEVTYPE_CUSTOM_NETWORK, listDevices, openDevice, closeDevice, readDevice,
                         writeDevice, deviceStatus, deviceID);
}

}  // namespace tessaron::printerapp

#include "BackendCommand.h"

#include <cstdlib>

#ifndef TESSARON_BACKEND_PATH
#define TESSARON_BACKEND_PATH "/usr/lib/cups/backend/vantrelps"
#endif

namespace tessaron::printerapp {
namespace {

constexpr const char* kPassedOn[] = {
    "PATH", "LANG", "LC_ALL", "LC_MESSAGES", "LANGUAGE", "TMPDIR", "HOME",
    "VANTRELPS_DISCOVERY_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS", "TESSARON_LOCALEDIR",
};

}  // namespace

std::string backendProgram() {
    const char* configured = std::getenv("TESSARON_VANTRELPS");
    return configured && *configured ? configured : TESSARON_BACKEND_PATH;
}

std::vector<std::string> childEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (const char* name : kPassedOn)
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    if (!std::getenv("PATH")) env.emplace_back("PATH=/usr/bin:/bin");
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

ChildCommand discoveryCommand() {
    const std::string program = backendProgram();
    return ChildCommand{program, {program}, childEnvironment({})};
}

ChildCommand labQueryCommand(const std::string& deviceURI) {
    const std::string program = backendProgram();
    return ChildCommand{program, {program, "--query-lab", deviceURI}, childEnvironment({})};
}

ChildCommand printCommand(const PrintRequest& request) {
    return ChildCommand{backendProgram(),
                        {request.deviceURI, std::to_string(request.jobId), request.user, request.title,
                         std::to_string(request.copies), request.options},
                        childEnvironment({"DEVICE_URI=" + request.deviceURI, "CONTENT_TYPE=application/vnd.cups-raster",
                                          "FINAL_CONTENT_TYPE=application/vnd.cups-raster"})};
}

}  // namespace tessaron::printerapp

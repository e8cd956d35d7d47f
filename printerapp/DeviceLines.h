// The device lines of the backend's discovery ("network vantrelps://127.0.0.2 "make" "info""),
// read back as the scheduler reads them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaron::printerapp {

struct FoundDevice {
    std::string uri;
    std::string makeAndModel;
    std::string info;
};

// One line; none unless it names a minilab by address (the generic "vantrelps" line, which
// names none, is skipped).
std::optional<FoundDevice> parseDeviceLine(std::string_view line);

std::vector<FoundDevice> parseDeviceLines(std::string_view text);

// The IEEE 1284 device ID the application gives every minilab.
inline constexpr const char* kDeviceID = "MFG:Vantrel;MDL:JRX Minilab;CMD:JRX;";

}  // namespace tessaron::printerapp

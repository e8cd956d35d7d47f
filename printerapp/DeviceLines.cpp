#include "DeviceLines.h"

namespace tessaron::printerapp {
namespace {

constexpr std::size_t kMaxDevices = 256;

// Words separated by blanks; a double-quoted word may hold blanks and backslash escapes.
std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> list;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        std::string word;
        if (line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) ++i;
                word += line[i];
            }
            ++i;
        } else {
            while (i < line.size() && line[i] != ' ') word += line[i++];
        }
        list.push_back(std::move(word));
    }
    return list;
}

}  // namespace

std::optional<FoundDevice> parseDeviceLine(std::string_view line) {
    const std::vector<std::string> w = words(line);
    const std::string scheme = "vantrelps://";
    if (w.size() < 4 || w[0] != "network" || w[1].compare(0, scheme.size(), scheme) != 0 || w[1].size() == scheme.size())
        return std::nullopt;
    return FoundDevice{w[1], w[2], w[3]};
}

std::vector<FoundDevice> parseDeviceLines(std::string_view text) {
    std::vector<FoundDevice> devices;
    while (!text.empty() && devices.size() < kMaxDevices) {
        const std::size_t end = text.find('\n');
        if (auto device = parseDeviceLine(text.substr(0, end))) devices.push_back(*device);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return devices;
}

}  // namespace tessaron::printerapp

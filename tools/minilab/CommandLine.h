// The emulator's command line.
#pragma once

#include <optional>
#include <string>

namespace tessaron::minilab {

struct CommandLine {
    bool help = false;
    std::optional<std::string> address;
    std::optional<std::string> config;
    std::optional<std::string> store;
    std::optional<std::string> log;
    std::optional<std::string> previews;   // make the previews of this order directory, then exit
    bool verbose = false;
    bool allowNonLoopback = false;
};

// Nothing (with `error` set) on an unknown option or a missing value.
std::optional<CommandLine> parseCommandLine(int argc, char** argv, std::string& error);
const char* helpText();

}  // namespace tessaron::minilab

// The command line of tessaron-print.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessaron::print {

struct CommandLine {
    std::string queue;                    // --queue; empty: the default queue
    std::string ppd;                      // --ppd: this printer description instead of the queue's
    std::vector<std::string> assignments;  // -o KEY=VALUE, in order
    std::vector<std::string> documents;   // --print FILE and plain arguments
    bool print = false;                   // --print: send without showing the dialog
    bool saveDefaults = false;
    std::string screenshotDirectory;
    // Without --print, --save-defaults and --screenshot the dialog is shown.
    bool interactive() const { return !print && !saveDefaults && screenshotDirectory.empty(); }
};

// None with `error` set (a usage message) when the arguments make no sense.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args, std::string& error);

std::string usageText();

// Whether the arguments ask for screenshots (checked before Qt picks its platform).
bool wantsScreenshots(int argc, char** argv);

}  // namespace tessaron::print

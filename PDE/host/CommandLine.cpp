#include "CommandLine.h"

#include <cstring>

namespace tessaron::print {

namespace {

// "--name=value" or "--name value"; false when `arg` is not `name`.
bool valueOption(const std::vector<std::string>& args, size_t& at, const std::string& name, std::string& value,
                 std::string& error) {
    const std::string& arg = args[at];
    if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
    } else if (arg == name) {
        if (at + 1 >= args.size()) {
            error = name + " needs a value";
            return true;
        }
        value = args[++at];
    } else {
        return false;
    }
    if (value.empty()) error = name + " needs a value";
    return true;
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args, std::string& error) {
    CommandLine line;
    bool onlyFiles = false;
    for (size_t at = 0; at < args.size() && error.empty(); ++at) {
        const std::string& arg = args[at];
        std::string value;
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            line.documents.push_back(arg);
        } else if (arg == "--") {
            onlyFiles = true;
        } else if (valueOption(args, at, "--queue", value, error) || valueOption(args, at, "-d", value, error)) {
            line.queue = value;
        } else if (valueOption(args, at, "--ppd", value, error)) {
            line.ppd = value;
        } else if (valueOption(args, at, "--print", value, error)) {
            line.print = true;
            line.documents.push_back(value);
        } else if (valueOption(args, at, "--screenshot", value, error)) {
            line.screenshotDirectory = value;
        } else if (valueOption(args, at, "--option", value, error) || valueOption(args, at, "-o", value, error)) {
            line.assignments.push_back(value);
        } else if (arg == "--save-defaults") {
            line.saveDefaults = true;
        } else {
            error = "unknown option " + arg;
        }
    }
    if (error.empty() && line.print && line.documents.empty()) error = "--print needs a file";
    if (!error.empty()) return std::nullopt;
    return line;
}

std::string usageText() {
    return "usage: tessaron-print [--queue QUEUE] [--ppd FILE] [-o KEY=VALUE]...\n"
           "                      [--print FILE]... [--save-defaults] [--screenshot DIR] [FILE]...\n";
}

bool wantsScreenshots(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return false;
        if (std::strcmp(argv[i], "--screenshot") == 0 || std::strncmp(argv[i], "--screenshot=", 13) == 0) return true;
    }
    return false;
}

}  // namespace tessaron::print

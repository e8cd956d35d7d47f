// The backend's standard-error lines, read back as the scheduler reads them: pages printed,
// state reasons set and cleared, messages for the job and errors.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessaron::printerapp {

enum class LineKind { Page, State, Info, Error, Attr, Other };

struct BackendLine {
    LineKind kind = LineKind::Other;
    std::string text;                  // the message after the prefix
    int page = 0;                      // Page: the page number
    std::vector<std::string> added;    // State: "+reason" / "reason"
    std::vector<std::string> removed;  // State: "-reason"
};

BackendLine parseBackendLine(std::string_view line);

// Gathers bytes into lines; a line longer than kMaxLine is cut there, the rest dropped.
class LineSplitter {
public:
    static constexpr std::size_t kMaxLine = 4096;
    // Appends bytes and answers the lines they complete.
    std::vector<std::string> feed(std::string_view bytes);
    // The unfinished last line, if any.
    std::string finish();

private:
    std::string pending_;
    bool dropping_ = false;
};

}  // namespace tessaron::printerapp

// The one way text becomes a line that CUPS reads: message lines on standard error ("DEBUG:",
// "STATE:", "PPD:", ...) and the device lines of discovery on standard output.
//
// Values that come from outside (a minilab's name, a paper name, a job option) are made safe
// here and nowhere else, so that no call site can let them write a line, an option or a PPD
// keyword of their own:
// - every control character (C0, DEL, C1; a line feed included) becomes a blank;
// - bytes that are not valid UTF-8 become U+FFFD, one per byte, so that the text stays readable
//   and its length stays bounded by the input's (at most three bytes out for one byte in);
// - inside a quoted value, '"' and '\' are escaped with a backslash, which is how the scheduler
//   unquotes option values (cupsParseOptions) and device-line fields.
// Everything else is kept as it stands.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaron::printjob {

// Valid UTF-8 without control characters.
std::string lineSafeText(std::string_view text);

// `value` as one double-quoted option value: "..." with '"' and '\' escaped.
std::string quotedValue(std::string_view value);

// A name that reads back whole as an option or PPD keyword: 1 to 40 printable ASCII characters,
// none of them a blank, '=', a quote, a backslash or a colon.
bool isOptionName(std::string_view name);

// Whether every quoted value of `text` is closed, reading a backslash before a quote or a
// backslash as an escape, as the scheduler does. An open quote would carry the rest of a
// "PPD:" line into one value.
bool quotesBalanced(std::string_view text);

// "PREFIX: message\n" with the message made safe.
std::string messageLine(std::string_view prefix, std::string_view message);

// The text after "PPD:": " name=\"value\"" for each pair; pairs whose name is not an option
// name are left out and listed in `refused`.
std::string ppdUpdateText(const std::vector<std::pair<std::string, std::string>>& pairs,
                          std::vector<std::string>* refused = nullptr);

// One device line: class and URI as single words, make-and-model and information quoted.
std::string deviceLine(std::string_view deviceClass, std::string_view uri, std::string_view makeAndModel,
                       std::string_view info);

// Writes messageLine(prefix, message) to standard error in one write.
void writeMessageLine(std::string_view prefix, std::string_view message);

}  // namespace tessaron::printjob

// Picking lines out of a program's output or a log.
#pragma once

#include <string>
#include <vector>

namespace tessaron::test {

// Every line of `text` that begins with `prefix`, without its newline, in order.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix);

}  // namespace tessaron::test

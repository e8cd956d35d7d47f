// User-visible texts of the print job: looked up by their English text, then filled in.
#pragma once

#include <string>

namespace tessaron {

// printf-style formatting of the translation of `english` (the English text when untranslated).
std::string localizedFormat(const char* english, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tessaron

// User-visible texts of the protocol client: the translation of an English printf format,
// filled in. A translation whose conversions differ from the English ones is not trusted.
#pragma once

#include <string>

std::string localizedFormat(const char* english, ...) __attribute__((format(printf, 1, 2)));

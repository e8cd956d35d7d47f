// Copies of each job's final page images in the debug log folder, and their removal before the
// next job. The folder may be shared: links are never followed and no shell is involved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaron {

inline constexpr const char* kDebugImagePrefix = "Vantrel_test_image_";

// "Vantrel_test_image_<page>.<extension>".
std::string debugImageName(int64_t page, const std::string& extension);

// Unlinks the regular files of `folder` whose names start with the prefix; links, folders and
// other files stay. Answers how many were removed.
int removeDebugImages(const std::string& folder);

// Copies `source` into `folder` as `name` with permissions 0664. A file of that name is replaced
// only when it is a regular file; a link in its place is left alone and the copy fails.
// Answers none on success, else the reason.
std::optional<std::string> copyDebugImage(const std::string& source, const std::string& folder, const std::string& name);

}  // namespace tessaron

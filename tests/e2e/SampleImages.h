// Photo-like sample documents for print jobs: smooth colour gradients with a few hard edges,
// written as PNG or JPEG files.
#pragma once

#include <string>

namespace tessaron::test {

// Both answer false when the file cannot be written.
bool writeSamplePng(const std::string& path, int width, int height);
bool writeSampleJpeg(const std::string& path, int width, int height);

}  // namespace tessaron::test

// Previews of stored frames (PNG, longest side 512), made on demand for an order directory,
// so that storing an order costs no more than writing what arrived.
#pragma once

#include <string>

namespace tessaron::minilab {

inline constexpr unsigned kPreviewSide = 512;

// Writes frame-<k>.png next to every frame-<k>.bmp / frame-<k>.jpg of the order directory
// `orderDir` (written under a temporary name and renamed, never following a link). Answers
// the number of previews written, or -1 (with `error`) when the directory cannot be read or
// a frame image is damaged or larger than `maxImageBytes`.
int makePreviews(const std::string& orderDir, unsigned long long maxImageBytes, std::string& error);

}  // namespace tessaron::minilab

// Correction of the encoder's BMP into the form the minilab takes: rows bottom to top,
// positive width and height, and an image-size field equal to the real pixel data size.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "UniqueFd.h"

namespace tessaron {

// An image file larger than this is no print frame; it is never read into memory.
inline constexpr long long kMaxImageFileBytes = 1LL << 31;

struct BMPHeaderFields {
    uint32_t fileSize = 0;
    uint32_t pixelOffset = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t imageSize = 0;
};

// The header fields of a BMP file, or none when the bytes are shorter than the headers or do not
// start with "BM".
std::optional<BMPHeaderFields> readBMPHeader(std::span<const uint8_t> file);

enum class BMPLayout {
    NotBMP,          // no BMP headers
    Unusable,        // claims more pixel data than the bytes hold, or an offset past its end
    AlreadyUsable,   // nothing negative, or headers too short to patch: sent as it is
    OnlyWidthNegative,
    NeedsFlop,       // negative height: rows top to bottom
};

BMPLayout classifyBMP(std::span<const uint8_t> file);

// Writes the corrected BMP of `file` (classified NeedsFlop) to `fd`: the patched headers, then
// the rows from the last to the first, one write per row. Answers 0 or the errno of a failed
// write.
int writeFloppedBMP(std::span<const uint8_t> file, int fd);

// Creates a temporary file: its path, with its open descriptor handed to *fd.
using TempFileFactory = std::function<std::optional<std::string>(UniqueFd* fd)>;

// The file to send for the BMP at `path`: a new temporary file holding the corrected BMP, or
// `path` itself when no correction was needed or possible. A failed write to the temporary file
// ends the job.
std::string pathForCorrectedBMPAtPath(const std::string& path, const TempFileFactory& makeTempFile);

// The same for a file whose bytes the caller still holds: `bytes` must equal the content of
// `path`, which is then not read again. When the corrected file comes back, `bytes` is turned
// into that file's content in place, so that it can be sent without reading the file.
std::string pathForCorrectedBMP(const std::string& path, std::vector<uint8_t>& bytes, const TempFileFactory& makeTempFile);

}  // namespace tessaron

// Checks of the frame images a client sends, and decoding them into RGB for previews.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessaron::minilab {

struct ImageInfo;

struct ImageProblem {
    size_t offset = 0;   // within the image
    std::string what;
};

// A BMP as the minilab takes it: "BM", file size field equal to the bytes sent, 40-byte or
// larger info header, positive width and height (rows bottom to top), one plane, 24 or 32
// bits uncompressed, image-size field and pixel data equal to the padded rows.
bool inspectBmp(std::span<const uint8_t> image, ImageInfo& info, ImageProblem& problem);
// A baseline or progressive JPEG whose header libjpeg reads, from SOI to EOI.
bool inspectJpeg(std::span<const uint8_t> image, ImageInfo& info, ImageProblem& problem);

struct RgbImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;   // top row first, 3 bytes per pixel
};

// A reduced copy (longest side at most `maxSide`) of a checked image, for the preview.
bool decodePreview(std::span<const uint8_t> image, bool jpeg, uint32_t maxSide, RgbImage& out);

}  // namespace tessaron::minilab

// Random bitmaps and double-precision references for the image engine tests.
#pragma once

#include "Filters.h"
#include "Image.h"

#include <cstdint>
#include <vector>

namespace tessaron::image::test {

// A bitmap with `pad` extra bytes per row, pixels and padding random from `seed`.
Bitmap randomBitmap(int width, int height, PixelFormat format, uint32_t seed, size_t rowAlignment = 1);
Bitmap copyOf(const Bitmap& b);
// Every byte of every row including padding.
bool sameBytes(const Bitmap& a, const Bitmap& b);
// Largest difference of colour samples (and alpha) between two bitmaps of the same layout.
int maxSampleDifference(const Bitmap& a, const Bitmap& b);

uint8_t toSample(double unit);
// The filter applied alone to `in`, in double precision.
Bitmap referencePoint(const Bitmap& in, const Filter& filter);
Bitmap referenceUnsharp(const Bitmap& in, double radius, double intensity);

Filter makeFilter(const char* name, std::initializer_list<std::pair<const char*, ParameterValue>> values);

}  // namespace tessaron::image::test

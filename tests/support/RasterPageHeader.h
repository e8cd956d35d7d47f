// The page header of the raster jobs that tests and benchmarks write: 8-bit RGB, chunked, one
// copy, on a 8 x 6 in page (576 x 432 points) at the given resolution.
#pragma once

#include <cups/raster.h>

#include <cstring>

namespace tessaron::test {

inline cups_page_header2_t rgbPageHeader(unsigned width, unsigned height, unsigned dpi) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 24;
    h.cupsBytesPerLine = width * 3;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = CUPS_CSPACE_RGB;
    h.HWResolution[0] = h.HWResolution[1] = dpi;
    h.PageSize[0] = 576;
    h.PageSize[1] = 432;
    h.cupsPageSize[0] = 576;
    h.cupsPageSize[1] = 432;
    h.NumCopies = 1;
    return h;
}

}  // namespace tessaron::test

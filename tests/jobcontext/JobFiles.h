// Job inputs written with libcups itself: raster streams and a small PPD.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tessaron::jobcontexttest {

struct RasterPage {
    unsigned width = 0, height = 0;
    uint8_t seed = 0;             // pixel bytes are (index * 7 + seed) mod 256
    unsigned bytesPerLine = 0;    // 0: width * 3 (libcups reads no other value back)
};

cups_page_header2_t rgbHeader(const RasterPage& page);
std::vector<uint8_t> pagePixels(const RasterPage& page);

// A raster stream of 8-bit RGB pages.
void writeRaster(const std::string& path, const std::vector<RasterPage>& pages);
// One page of any layout, its bytes (index * 7 + seed) mod 256.
void writeRasterPage(const std::string& path, const cups_page_header2_t& header, uint8_t seed);
void writeRasterHeaders(const std::string& path, const std::vector<cups_page_header2_t>& headers);

// A PPD with a PickOne option JRXFinish (Glossy default, Matte, Lustre) and the extra lines.
std::string ppdText(const std::string& extraLines = "");

}  // namespace tessaron::jobcontexttest

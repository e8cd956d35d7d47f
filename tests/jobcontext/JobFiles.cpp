#include "JobFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace tessaron::jobcontexttest {

cups_page_header2_t rgbHeader(const RasterPage& page) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    h.cupsWidth = page.width;
    h.cupsHeight = page.height;
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 24;
    h.cupsBytesPerLine = page.bytesPerLine ? page.bytesPerLine : page.width * 3;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = CUPS_CSPACE_RGB;
    h.HWResolution[0] = h.HWResolution[1] = 300;
    h.PageSize[0] = 288;
    h.PageSize[1] = 432;
    h.NumCopies = 1;
    return h;
}

std::vector<uint8_t> pagePixels(const RasterPage& page) {
    const cups_page_header2_t h = rgbHeader(page);
    std::vector<uint8_t> bytes(size_t{h.cupsBytesPerLine} * h.cupsHeight);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + page.seed);
    return bytes;
}

namespace {
template <typename Each>
void writeStream(const std::string& path, Each each) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    each(raster);
    cupsRasterClose(raster);
    close(fd);
}
}  // namespace

void writeRaster(const std::string& path, const std::vector<RasterPage>& pages) {
    writeStream(path, [&](cups_raster_t* raster) {
        for (const RasterPage& page : pages) {
            cups_page_header2_t h = rgbHeader(page);
            std::vector<uint8_t> pixels = pagePixels(page);
            cupsRasterWriteHeader2(raster, &h);
            cupsRasterWritePixels(raster, pixels.data(), static_cast<unsigned>(pixels.size()));
        }
    });
}

void writeRasterPage(const std::string& path, const cups_page_header2_t& header, uint8_t seed) {
    writeStream(path, [&](cups_raster_t* raster) {
        cups_page_header2_t h = header;
        std::vector<uint8_t> pixels(size_t{h.cupsBytesPerLine} * h.cupsHeight);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + seed);
        cupsRasterWriteHeader2(raster, &h);
        cupsRasterWritePixels(raster, pixels.data(), static_cast<unsigned>(pixels.size()));
    });
}

void writeRasterHeaders(const std::string& path, const std::vector<cups_page_header2_t>& headers) {
    writeStream(path, [&](cups_raster_t* raster) {
        for (cups_page_header2_t h : headers) cupsRasterWriteHeader2(raster, &h);
    });
}

std::string ppdText(const std::string& extraLines) {
    return "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
           "*LanguageEncoding: ISOLatin1\n*PCFileName: \"TEST.PPD\"\n*Manufacturer: \"Test\"\n"
           "*Product: \"(Test)\"\n*ModelName: \"Test\"\n*ShortNickName: \"Test\"\n*NickName: \"Test\"\n"
           "*PSVersion: \"(3010.000) 0\"\n"
           "*OpenUI *JRXFinish/Finish: PickOne\n*DefaultJRXFinish: Glossy\n"
           "*JRXFinish Glossy/Glossy: \"\"\n*JRXFinish Matte/Matte: \"\"\n*JRXFinish Lustre/Lustre: \"\"\n"
           "*CloseUI: *JRXFinish\n" +
           extraLines;
}

}  // namespace tessaron::jobcontexttest

// Raster page input: header validation, the reused page buffer and the page loop.
#include "PLUMEX_CUPSPrintJob.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "Localize.h"
#include "PLUMEX_CUPSPrintJobInternal.h"

namespace {
constexpr uint64_t kMaxPageBytes = uint64_t{1} << 30;

struct WatchedInput {
    int fd = -1;
    tessaron::printjob::RasterHeaderWatch watch;
};
WatchedInput gInput;

ssize_t watchedRead(void* context, unsigned char* buffer, size_t length) {
    auto* in = static_cast<WatchedInput*>(context);
    ssize_t n;
    do n = read(in->fd, buffer, length);
    while (n < 0 && errno == EINTR);
    in->watch.noteRead(n);
    return n;
}

}  // namespace

std::optional<std::string> PLUMEX_CUPSPrintJob::rasterHeaderProblem(const cups_page_header2_t& header) {
    if (header.cupsBitsPerPixel == 0) return std::string("the page has 0 bits per pixel");
    const uint64_t rowBits = uint64_t{header.cupsWidth} * header.cupsBitsPerPixel;
    if (uint64_t{header.cupsBytesPerLine} * 8 < rowBits)
        return tessaron::printjob::format("%u bytes per line cannot hold %u pixels of %u bits", header.cupsBytesPerLine,
                                  header.cupsWidth, header.cupsBitsPerPixel);
    const uint64_t pageBytes = uint64_t{header.cupsBytesPerLine} * header.cupsHeight;
    if (pageBytes > kMaxPageBytes)
        return tessaron::printjob::format("a page of %u x %u bytes is larger than 1 GiB", header.cupsBytesPerLine,
                                  header.cupsHeight);
    return std::nullopt;
}

bool PLUMEX_CUPSPrintJob::openRasterStream() {
    if (!_raster) {
        gInput = WatchedInput{};
        gInput.fd = static_cast<int>(fd);
        _raster = cupsRasterOpenIO(watchedRead, &gInput, CUPS_RASTER_READ);
        if (!_raster && _page < static_cast<int64_t>(_numPages)) jobDebug("Failed to open CUPS raster!");
    }
    return _raster != nullptr;
}

bool PLUMEX_CUPSPrintJob::readHeader() {
    if (!_haveReadHeaderForPixels) {
        gInput.watch.begin();
        _haveReadHeaderForPixels = _raster && cupsRasterReadHeader2(_raster, &_header) != 0;
        gInput.watch.end();
        if (!_haveReadHeaderForPixels && _page < static_cast<int64_t>(_numPages)) jobDebug("Failed to read the CUPS header!");
        if (!_haveReadHeaderForPixels && _raster && gInput.watch.cutInsideHeader()) {
            err("The raster data ends inside the header of page %lld", static_cast<long long>(_page + 1));
            fatal("%s", tessaron::localizedString("Failed to read image data!").c_str());
        }
        if (_haveReadHeaderForPixels) {
            if (std::optional<std::string> problem = rasterHeaderProblem(_header)) {
                err("Refusing raster page %lld: %s", static_cast<long long>(_page + 1), problem->c_str());
                fatal("%s", tessaron::localizedString("Failed to read image data!").c_str());
            }
        }
    }
    return _haveReadHeaderForPixels;
}

bool PLUMEX_CUPSPrintJob::ensurePageBuffer(size_t size) {
    if (!_pageData || _pageDataCapacity < size) {
        _pageData.reset();  // the old one goes first: never two page buffers at once
        _pageData.reset(new (std::nothrow) uint8_t[size == 0 ? 1 : size]());
        _pageDataCapacity = _pageData ? size : 0;
    }
    _pageDataLength = _pageData ? size : 0;
    return _pageData != nullptr;
}

bool PLUMEX_CUPSPrintJob::readPixels() {
    const uint32_t size = _header.cupsHeight * _header.cupsBytesPerLine;  // bounded by the header check
    if (!ensurePageBuffer(size)) {
        jobDebug("failed to alloc %u MB for CUPS raster data", size >> 20);
        fatal("%s", tessaron::localizedString("Failed to read image data!").c_str());
    }
    const unsigned count = size == 0 ? 0 : cupsRasterReadPixels(_raster, _pageData.get(), size);
    if (count == _pageDataLength) {
        jobDebug("Successfully read %u bytes for image %d", count, static_cast<int>(_page + 1));
        _haveReadHeaderForPixels = false;
        return count != 0;
    }
    jobDebug("Tried to read %lu bytes but read only %u for image %d", static_cast<unsigned long>(_pageDataLength), count,
             static_cast<int>(_page + 1));
    fatal("%s", tessaron::localizedString("Failed to read image data!").c_str());
}

// The page is gone, its memory is not: the next page is read into it, so that a job does not
// map and fault in a fresh page-sized buffer for every page. The job's end releases it.
void PLUMEX_CUPSPrintJob::freePixels() { _pageDataLength = 0; }

void PLUMEX_CUPSPrintJob::startNextPage() {
    ++_page;
    fprintf(stderr, "PAGE: %d %d\n", static_cast<int>(_page), 1);
    info("Printing page %d", static_cast<int>(_page));
}

void PLUMEX_CUPSPrintJob::outputPage() {
    jobDebug("if you expected something useful to happen here then you probably need to set a delegate that "
             "responds to \"%s\"",
             "-[PLUMEX_CUPSPrintJob outputPage]");
}

int64_t PLUMEX_CUPSPrintJob::processPageData() {
    if (!readHeader()) return _page;
    while (readPixels()) {
        startNextPage();
        if (_delegate && _delegate->respondsToOutputPage())
            _delegate->outputPage();
        else
            outputPage();
        if (!readHeader()) break;
    }
    return _page;
}

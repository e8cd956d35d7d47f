// TIFF through libtiff, written into memory by client procedures.
#include "Encoders.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace tessaron::image {

namespace {

struct MemoryStream {
    std::vector<uint8_t> bytes;
    size_t position = 0;
    bool failed = false;
};

tsize_t streamRead(thandle_t h, tdata_t buf, tsize_t size)
{
    auto* s = static_cast<MemoryStream*>(h);
    if (size <= 0 || s->position >= s->bytes.size())
        return 0;
    const size_t n = std::min(static_cast<size_t>(size), s->bytes.size() - s->position);
    std::memcpy(buf, s->bytes.data() + s->position, n);
    s->position += n;
    return static_cast<tsize_t>(n);
}

tsize_t streamWrite(thandle_t h, tdata_t buf, tsize_t size)
{
    auto* s = static_cast<MemoryStream*>(h);
    if (size < 0)
        return -1;
    const size_t n = static_cast<size_t>(size);
    if (s->position > kMaxBitmapBytes * 2 || n > kMaxBitmapBytes * 2 - s->position) {
        s->failed = true;
        return -1;
    }
    if (s->position + n > s->bytes.size())
        s->bytes.resize(s->position + n);
    std::memcpy(s->bytes.data() + s->position, buf, n);
    s->position += n;
    return size;
}

toff_t streamSeek(thandle_t h, toff_t offset, int whence)
{
    auto* s = static_cast<MemoryStream*>(h);
    long long base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<long long>(s->position);
    else if (whence == SEEK_END)
        base = static_cast<long long>(s->bytes.size());
    const long long target = base + static_cast<long long>(offset);
    if (target < 0 || static_cast<unsigned long long>(target) > kMaxBitmapBytes * 2)
        return static_cast<toff_t>(-1);
    s->position = static_cast<size_t>(target);
    return static_cast<toff_t>(s->position);
}

int streamClose(thandle_t) { return 0; }
toff_t streamSize(thandle_t h) { return static_cast<toff_t>(static_cast<MemoryStream*>(h)->bytes.size()); }
int streamMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void streamUnmap(thandle_t, tdata_t, toff_t) {}

// Standard error carries the job's status lines; libtiff must not write there.
void silenceLibtiff()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

bool writeDirectory(TIFF* tif, ConstBitmapView bitmap, double dpi)
{
    const uint32_t rowsPerStrip = std::max<uint32_t>(1, static_cast<uint32_t>((64 * 1024) / (static_cast<size_t>(bitmap.width) * 3 + 1)));
    const float resolution = static_cast<float>(std::isfinite(dpi) && dpi > 0 ? dpi : 72.0);
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(bitmap.width)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(bitmap.height)) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
              TIFFSetField(tif, TIFFTAG_XRESOLUTION, resolution) && TIFFSetField(tif, TIFFTAG_YRESOLUTION, resolution) &&
              TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (!ok)
        return false;
    std::vector<uint8_t> row(static_cast<size_t>(bitmap.width) * 3);
    const BitmapView rowView{row.data(), bitmap.width, 1, row.size(), PixelFormat::RGB8};
    for (int y = 0; y < bitmap.height; ++y) {
        const ConstBitmapView source{bitmap.row(y), bitmap.width, 1, bitmap.bytesPerRow, bitmap.format};
        if (!copyPixels(source, rowView) || TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0)
            return false;
    }
    return TIFFWriteDirectory(tif) != 0;
}

}  // namespace

std::optional<std::vector<uint8_t>> encodeTIFF(ConstBitmapView bitmap, double dpi)
{
    if (!bitmap.isValid() || bitmap.width == 0 || bitmap.height == 0)
        return std::nullopt;
    silenceLibtiff();
    MemoryStream stream;
    TIFF* tif = TIFFClientOpen("memory", "w", &stream, streamRead, streamWrite, streamSeek, streamClose, streamSize, streamMap,
                               streamUnmap);
    if (!tif)
        return std::nullopt;
    const bool ok = writeDirectory(tif, bitmap, dpi);
    TIFFClose(tif);
    if (!ok || stream.failed)
        return std::nullopt;
    return std::move(stream.bytes);
}

bool writeTIFF(ConstBitmapView bitmap, int fd, double dpi)
{
    const auto bytes = encodeTIFF(bitmap, dpi);
    if (!bytes || fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes->size()) {
        const ssize_t n = ::write(fd, bytes->data() + done, bytes->size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace tessaron::image

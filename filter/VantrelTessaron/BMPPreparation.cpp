#include "BMPPreparation.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <algorithm>
#include <climits>
#include <vector>

#include "PLUMEX_CUPSLog.h"
#include "LocalizedFormat.h"
#include "FileIO.h"

namespace tessaron {

namespace {

constexpr size_t kHeadersSize = 54;
// The header copy must hold the image-size field (offset 34) it patches.
constexpr uint32_t kMinPixelOffset = 39;

uint32_t le32(std::span<const uint8_t> b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
}

void putLE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t magnitude(int32_t v) { return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v); }

[[noreturn]] void fatalWriteError(int error) {
    PLUMEX_CUPSLog::debug("fatal write error %d (%s)", error, strerror(error));
    PLUMEX_CUPSLog::fatal("%s", localizedFormat("File system error %s", strerror(error)).c_str());
}

}  // namespace

std::optional<BMPHeaderFields> readBMPHeader(std::span<const uint8_t> file) {
    if (file.size() < kHeadersSize || file[0] != 'B' || file[1] != 'M') return std::nullopt;
    BMPHeaderFields h;
    h.fileSize = le32(file, 2);
    h.pixelOffset = le32(file, 10);
    h.width = static_cast<int32_t>(le32(file, 18));
    h.height = static_cast<int32_t>(le32(file, 22));
    h.imageSize = le32(file, 34);
    return h;
}

BMPLayout classifyBMP(std::span<const uint8_t> file) {
    auto h = readBMPHeader(file);
    if (!h) return BMPLayout::NotBMP;
    if (h->pixelOffset < kMinPixelOffset || (h->height >= 0 && h->width >= 0)) return BMPLayout::AlreadyUsable;
    // The header's sizes decide which bytes are rows; they must lie inside what was read.
    if (h->fileSize > file.size() || h->pixelOffset > h->fileSize) return BMPLayout::Unusable;
    // Every row holds at least one byte: more rows than pixel bytes is no image, and turning
    // its billions of empty rows would never end.
    if (magnitude(h->height) > h->fileSize - h->pixelOffset) return BMPLayout::Unusable;
    if (h->height >= 0) return BMPLayout::OnlyWidthNegative;
    return BMPLayout::NeedsFlop;
}

namespace {

// The headers of the corrected file: positive width and height, the real pixel data size.
std::vector<uint8_t> correctedHeaders(std::span<const uint8_t> file, const BMPHeaderFields& h, bool log) {
    const uint32_t pixelSize = h.fileSize - h.pixelOffset;
    const uint32_t rows = magnitude(h.height);
    const uint64_t packed = 3ull * magnitude(h.width) * rows;
    std::vector<uint8_t> headers(file.begin(), file.begin() + h.pixelOffset);
    if (h.imageSize != pixelSize) putLE32(headers, 34, pixelSize);
    if (log && packed != pixelSize && rows != 0) {
        PLUMEX_CUPSLog::debug("detected %u pad bytes per row (width=%d; height=%d)",
                              static_cast<unsigned>((static_cast<int64_t>(pixelSize) - static_cast<int64_t>(packed)) / rows),
                              h.width, h.height);
    }
    if (h.width < 0) {
        if (log) PLUMEX_CUPSLog::debug("BMP width should never be negative!!!");
        putLE32(headers, 18, magnitude(h.width));
    }
    putLE32(headers, 22, rows);
    return headers;
}

// Writes the rows from the last to the first, as many rows per system call as it takes.
int writeRowsBottomUp(int fd, const uint8_t* pixelEnd, uint32_t rows, uint32_t rowLength) {
    if (rowLength == 0) return 0;  // more rows than pixel bytes: there is nothing to write
    constexpr uint32_t kBatch = std::min(IOV_MAX, 1024);
    std::vector<iovec> batch;
    batch.reserve(kBatch);
    for (uint32_t first = 1; first <= rows; first += kBatch) {
        const uint32_t last = std::min<uint64_t>(rows, uint64_t{first} + kBatch - 1);
        batch.clear();
        for (uint32_t r = first; r <= last; ++r)
            batch.push_back({const_cast<uint8_t*>(pixelEnd - static_cast<size_t>(r) * rowLength), rowLength});
        ssize_t n;
        do n = ::writev(fd, batch.data(), static_cast<int>(batch.size()));
        while (n < 0 && errno == EINTR);
        if (n < 0) return errno;
        // A short write goes on row by row from where it stopped.
        size_t done = static_cast<size_t>(n);
        for (const iovec& row : batch) {
            if (done >= row.iov_len) {
                done -= row.iov_len;
                continue;
            }
            if (int error = tessaron::writeAll(fd, static_cast<const uint8_t*>(row.iov_base) + done, row.iov_len - done))
                return error;
            done = 0;
        }
    }
    return 0;
}

// Turns the bytes in memory into the corrected file just written from them.
void flopInPlace(std::vector<uint8_t>& file, const BMPHeaderFields& h) {
    const std::vector<uint8_t> headers = correctedHeaders(file, h, false);
    std::copy(headers.begin(), headers.end(), file.begin());
    const uint32_t rows = magnitude(h.height);
    const size_t rowLength = rows ? (h.fileSize - h.pixelOffset) / rows : 0;
    std::vector<uint8_t> spare(rowLength);
    uint8_t* top = file.data() + h.pixelOffset;
    uint8_t* bottom = top + (rows ? (rows - 1) * rowLength : 0);
    for (; top < bottom; top += rowLength, bottom -= rowLength) {
        std::memcpy(spare.data(), top, rowLength);
        std::memcpy(top, bottom, rowLength);
        std::memcpy(bottom, spare.data(), rowLength);
    }
}

}  // namespace

int writeFloppedBMP(std::span<const uint8_t> file, int fd) {
    auto h = readBMPHeader(file);
    if (!h) return EINVAL;
    const std::vector<uint8_t> headers = correctedHeaders(file, *h, true);
    if (int error = tessaron::writeAll(fd, headers.data(), headers.size())) return error;
    const uint32_t pixelSize = h->fileSize - h->pixelOffset;
    const uint32_t rows = magnitude(h->height);
    const uint32_t rowLength = rows ? pixelSize / rows : 0;
    PLUMEX_CUPSLog::debug("BMP flopper: rowlength = %u; bmpWidth=%d; bmpHeight=%u", rowLength, h->width, rows);
    return writeRowsBottomUp(fd, file.data() + h->pixelOffset + pixelSize, rows, rowLength);
}

std::string pathForCorrectedBMPAtPath(const std::string& path, const TempFileFactory& makeTempFile) {
    auto file = tessaron::readWholeFile(path, kMaxImageFileBytes);
    if (!file) {
        PLUMEX_CUPSLog::debug("bad BMP file header");
        return path;
    }
    return pathForCorrectedBMP(path, *file, makeTempFile);
}

std::string pathForCorrectedBMP(const std::string& path, std::vector<uint8_t>& bytes, const TempFileFactory& makeTempFile) {
    PLUMEX_CUPSLog::debug("checking %lu byte BMP file for usability", static_cast<unsigned long>(bytes.size()));
    auto h = readBMPHeader(bytes);
    if (!h) {
        PLUMEX_CUPSLog::debug("bad BMP file header");
        return path;
    }
    if (h->height < 0) {
        PLUMEX_CUPSLog::debug("height is less than zero");
    } else if (h->width < 0) {
        PLUMEX_CUPSLog::debug("bmpWidth is less than zero");
    } else {
        PLUMEX_CUPSLog::debug("neither bmpHeight (%d) nor bmpWidth (%d) is less than zero", h->height, h->width);
    }

    std::string flopped;
    long long written = -1;
    switch (classifyBMP(bytes)) {
        case BMPLayout::NotBMP:
        case BMPLayout::Unusable:
            PLUMEX_CUPSLog::debug("bad BMP file header");
            return path;
        case BMPLayout::AlreadyUsable:
            PLUMEX_CUPSLog::debug("bitmapOffest = %u, bmpHeight = %d", h->pixelOffset, h->height);
            break;
        case BMPLayout::OnlyWidthNegative:
            // A bottom-up BMP with a negative width is not something the encoder writes.
            PLUMEX_CUPSLog::debug("what happened?");
            PLUMEX_CUPSLog::debug("Flopping error: wrote %lld bytes into flopped BMP (expected %lu)", 0LL,
                                  static_cast<unsigned long>(bytes.size()));
            return path;
        case BMPLayout::NeedsFlop: {
            UniqueFd fd;
            auto temp = makeTempFile(&fd);
            if (!temp || !fd) {
                PLUMEX_CUPSLog::debug("did not flop the BMP because bmp height was %d", h->height);
                return path;
            }
            int error = writeFloppedBMP(bytes, fd.get());
            struct stat st {};
            if (!error && ::fstat(fd.get(), &st) == 0) written = static_cast<long long>(st.st_size);
            fd.reset();
            if (error) {
                ::unlink(temp->c_str());
                fatalWriteError(error);
            }
            flopped = *temp;
            PLUMEX_CUPSLog::debug("finished flopping %s to %s", path.c_str(), flopped.c_str());
            break;
        }
    }

    if (flopped.empty() || flopped == path) {
        PLUMEX_CUPSLog::debug("did not flop the BMP because bmp height was %d", h->height);
        return path;
    }
    if (written == static_cast<long long>(bytes.size())) {
        PLUMEX_CUPSLog::debug("wrote %lld bytes into flopped BMP at %s", written, flopped.c_str());
        flopInPlace(bytes, *h);
        return flopped;
    }
    PLUMEX_CUPSLog::debug("Flopping error: wrote %lld bytes into flopped BMP (expected %lu)", written,
                          static_cast<unsigned long>(bytes.size()));
    // The caller keeps sending the original, so the failed copy is of no use to anyone.
    ::unlink(flopped.c_str());
    return path;
}

}  // namespace tessaron

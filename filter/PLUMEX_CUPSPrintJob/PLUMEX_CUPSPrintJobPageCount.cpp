// A job without a page count from the dialog: the raster is read once ahead, its pages
// counted with the libcups reader while the bytes go into a private copy, and the pages are
// then printed from that copy. The copy is unlinked at once, so neither the end of the job
// nor a signal can leave it behind.
#include "PLUMEX_CUPSPrintJob.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

#include "Localize.h"
#include "PLUMEX_CUPSPrintJobInternal.h"
#include "FileIO.h"

namespace {

struct Tee {
    int input = -1;
    tessaron::UniqueFd copy;  // empty: input is seekable, nothing to copy
    bool copyFailed = false;
    tessaron::printjob::RasterHeaderWatch watch;
};


ssize_t teeRead(void* context, unsigned char* buffer, size_t length) {
    auto* tee = static_cast<Tee*>(context);
    ssize_t n;
    do n = read(tee->input, buffer, length);
    while (n < 0 && errno == EINTR);
    if (n > 0 && tee->copy && tessaron::writeAll(tee->copy.get(), buffer, static_cast<size_t>(n)) != 0) tee->copyFailed = true;
    tee->watch.noteRead(n);
    return n;
}

// Pixels are taken many rows per read (up to about 1 MiB), not row by row: the count pass
// then costs one sequential read of the data, not a system call per row.
constexpr size_t kCountChunkBytes = size_t{1} << 20;

// Whether the next header can be read, or the stream ends there, or inside it.
enum class NextHeader { Read, End, Cut };
NextHeader readNextHeader(cups_raster_t* raster, tessaron::printjob::RasterHeaderWatch& watch, cups_page_header2_t& header) {
    watch.begin();
    const bool read = cupsRasterReadHeader2(raster, &header) != 0;
    watch.end();
    if (read) return NextHeader::Read;
    return watch.cutInsideHeader() ? NextHeader::Cut : NextHeader::End;
}

uint64_t countPages(cups_raster_t* raster, Tee& tee, bool& cut) {
    uint64_t pages = 0;
    cups_page_header2_t header;
    std::unique_ptr<unsigned char[]> chunk;
    size_t chunkCapacity = 0;
    for (;;) {
        const NextHeader next = readNextHeader(raster, tee.watch, header);
        cut = next == NextHeader::Cut;
        if (next != NextHeader::Read) break;
        if (PLUMEX_CUPSPrintJob::rasterHeaderProblem(header)) break;  // the printing pass refuses it
        const size_t row = header.cupsBytesPerLine;
        const uint32_t rowsPerRead = static_cast<uint32_t>(std::max<size_t>(1, kCountChunkBytes / std::max<size_t>(row, 1)));
        const size_t want = std::min<uint64_t>(uint64_t{row} * rowsPerRead, uint64_t{row} * header.cupsHeight);
        if (want > chunkCapacity) {
            chunk.reset(new (std::nothrow) unsigned char[want]);
            chunkCapacity = chunk ? want : 0;
            if (!chunk) break;
        }
        bool complete = true;
        for (uint32_t y = 0; y < header.cupsHeight && complete; y += rowsPerRead) {
            const unsigned bytes = static_cast<unsigned>(row * std::min(rowsPerRead, header.cupsHeight - y));
            complete = cupsRasterReadPixels(raster, chunk.get(), bytes) == bytes;
        }
        if (!complete) break;
        ++pages;
    }
    return pages;
}

}  // namespace

bool PLUMEX_CUPSPrintJob::countPagesIntoSpoolCopy() {
    Tee tee;
    tee.input = static_cast<int>(fd);
    struct stat status {};
    const bool seekable = fstat(tee.input, &status) == 0 && S_ISREG(status.st_mode) && lseek(tee.input, 0, SEEK_CUR) == 0;
    if (!seekable) {
        std::optional<std::string> path = safeTempFile(&tee.copy);
        if (!path) {
            jobDebug("cannot count the pages ahead: no temporary file");
            return false;
        }
        unlink(path->c_str());
    }
    cups_raster_t* raster = cupsRasterOpenIO(teeRead, &tee, CUPS_RASTER_READ);
    bool cut = false;
    uint64_t pages = raster ? countPages(raster, tee, cut) : 0;
    if (raster) cupsRasterClose(raster);
    if (cut) {
        // Before anything reaches the minilab: the job must not print as a shorter order.
        err("The raster data ends inside the header of page %llu", static_cast<unsigned long long>(pages + 1));
        fatal("%s", tessaron::localizedString("Failed to read image data!").c_str());
    }
    // Whatever follows the last page still belongs to the job data.
    unsigned char rest[65536];
    while (tee.copy && teeRead(&tee, rest, sizeof rest) > 0) {
    }
    if (tee.copyFailed) {
        err("Cannot keep a copy of the job data to count its pages");
        fatal("%s", tessaron::localizedString("Failed to read image data!").c_str());
    }
    if (seekable) {
        lseek(tee.input, 0, SEEK_SET);
    } else {
        lseek(tee.copy.get(), 0, SEEK_SET);
        fd = tee.copy.get();
        _ownedJobData = std::move(tee.copy);
    }
    _countedPages = pages;
    jobDebug("counted %llu pages in the raster data", static_cast<unsigned long long>(pages));
    return true;
}

// The BMP correction of the frame send: any file is classified, and a file that needs its rows
// turned is rewritten to the same size with the same rows in reverse order.
#include <sys/mman.h>
#include <unistd.h>

#include "BMPPreparation.h"
#include "FuzzSupport.h"

using namespace tessaron::fuzz;

namespace {

std::vector<uint8_t> contentsOf(int fd) {
    std::vector<uint8_t> out(static_cast<size_t>(::lseek(fd, 0, SEEK_END)));
    if (!out.empty() && ::pread(fd, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size()))
        finding("cannot read the corrected BMP back");
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    const std::span<const uint8_t> file(data, size);
    const auto header = tessaron::readBMPHeader(file);
    const auto layout = tessaron::classifyBMP(file);
    require(header.has_value() == (layout != tessaron::BMPLayout::NotBMP), "headers read but file not taken as BMP");
    if (layout == tessaron::BMPLayout::NeedsFlop) {
        const int fd = ::memfd_create("bmp", MFD_CLOEXEC);
        require(fd >= 0, "memfd_create failed");
        require(tessaron::writeFloppedBMP(file, fd) == 0, "writing the corrected BMP failed");
        const auto out = contentsOf(fd);
        ::close(fd);
        require(out.size() <= size, "the corrected BMP is larger than the file");
        // Headers shorter than the usual 54 bytes are copied as they are and cannot be read again.
        const auto fixed = tessaron::readBMPHeader(out);
        require(fixed.has_value() || header->pixelOffset < 54, "the corrected BMP lost its headers");
        require(!fixed || fixed->height >= 0, "the corrected BMP still runs top to bottom");
        require(tessaron::classifyBMP(out) != tessaron::BMPLayout::NeedsFlop, "the corrected BMP needs correcting again");
        // A usable result is promised for whole rows and a width that has a positive form; other
        // files come out unusable, and the job then sends the file as it was.
        const int64_t rows = -static_cast<int64_t>(header->height);
        const bool wholeRows = (header->fileSize - header->pixelOffset) % rows == 0;
        if (wholeRows && header->width != INT32_MIN)
            require(tessaron::classifyBMP(out) != tessaron::BMPLayout::Unusable, "the corrected BMP is unusable");
    }
    requireCupsLines();
    return 0;
}

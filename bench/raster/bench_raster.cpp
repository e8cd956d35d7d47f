// Raster page input and the whole page pipeline on a 2400 x 1800 RGB page: reading the page
// from a raster stream, and every adjustment with margin management through the job context.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PLUMEX_CUPSPrintJob.h"
#include "RasterPageHeader.h"

namespace {

constexpr unsigned kWidth = 2400, kHeight = 1800;

// A photograph-like page: smooth gradients with some texture, so that the raster's run
// length coding does about as much work as on a real picture.
std::vector<uint8_t> pagePixels() {
    std::vector<uint8_t> pixels(size_t{kWidth} * kHeight * 3);
    uint32_t noise = 12345;
    for (unsigned y = 0; y < kHeight; ++y)
        for (unsigned x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            uint8_t* p = &pixels[(size_t{y} * kWidth + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / kWidth + (noise >> 29));
            p[1] = static_cast<uint8_t>(y * 255 / kHeight + (noise >> 30));
            p[2] = static_cast<uint8_t>((x + y) / 17 + (noise >> 28));
        }
    return pixels;
}

struct Memory {
    std::vector<uint8_t> bytes;
    size_t offset = 0;
};

ssize_t writeMemory(void* context, unsigned char* buffer, size_t length) {
    auto* m = static_cast<Memory*>(context);
    m->bytes.insert(m->bytes.end(), buffer, buffer + length);
    return static_cast<ssize_t>(length);
}

ssize_t readMemory(void* context, unsigned char* buffer, size_t length) {
    auto* m = static_cast<Memory*>(context);
    const size_t n = std::min(length, m->bytes.size() - m->offset);
    std::memcpy(buffer, m->bytes.data() + m->offset, n);
    m->offset += n;
    return static_cast<ssize_t>(n);
}

const Memory& rasterStream() {
    static const Memory stream = [] {
        Memory m;
        cups_raster_t* raster = cupsRasterOpenIO(writeMemory, &m, CUPS_RASTER_WRITE_COMPRESSED);
        cups_page_header2_t h = tessaron::test::rgbPageHeader(kWidth, kHeight, 300);
        std::vector<uint8_t> pixels = pagePixels();
        cupsRasterWriteHeader2(raster, &h);
        cupsRasterWritePixels(raster, pixels.data(), static_cast<unsigned>(pixels.size()));
        cupsRasterClose(raster);
        return m;
    }();
    return stream;
}

void reportPixels(benchmark::State& state) {
    state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight / 1e6,
                                                 benchmark::Counter::kIsRate);
}

void BM_RasterRead(benchmark::State& state) {
    Memory stream = rasterStream();
    std::vector<uint8_t> page(size_t{kWidth} * kHeight * 3);
    for (auto _ : state) {
        stream.offset = 0;
        cups_raster_t* raster = cupsRasterOpenIO(readMemory, &stream, CUPS_RASTER_READ);
        cups_page_header2_t h;
        if (!cupsRasterReadHeader2(raster, &h) ||
            cupsRasterReadPixels(raster, page.data(), static_cast<unsigned>(page.size())) != page.size()) {
            state.SkipWithError("the page did not read back");
            cupsRasterClose(raster);
            break;
        }
        cupsRasterClose(raster);
        benchmark::DoNotOptimize(page.data());
    }
    state.counters["MB"] = static_cast<double>(stream.bytes.size()) / 1e6;
    reportPixels(state);
}

class Margins : public PLUMEX_CUPSPrintJobDelegate {
public:
    bool respondsToCroppingRectForPage() const override { return true; }
    tessaron::image::Rect croppingRectForPage() override { return {24, 18, kWidth - 48.0, kHeight - 36.0}; }
    bool respondsToNeedsMarginManagement() const override { return true; }
    bool needsMarginManagement() override { return true; }
};

tessaron::image::Filter makeFilter(const char* name, std::vector<std::pair<const char*, double>> values) {
    tessaron::image::Filter f = *tessaron::image::Filter::filterWithName(name);
    for (auto& [key, value] : values) f.setValueForKey(value, key);
    return f;
}

// The job context reads the page from a spool file written once; every iteration restores
// the page buffer and runs the full chain with margins.
void BM_PagePipeline(benchmark::State& state) {
    char folder[] = "/tmp/bench-raster-XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string path = std::string(folder) + "/page.ras";
    {
        const Memory& stream = rasterStream();
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 || write(fd, stream.bytes.data(), stream.bytes.size()) != static_cast<ssize_t>(stream.bytes.size())) {
            state.SkipWithError("cannot write the spool file");
            return;
        }
        close(fd);
    }
    setenv("DEVICE_URI", "vantrelps://127.0.0.50/", 1);
    // Side files go nowhere: the folder does not exist, and failing to write them is ignored.
    PLUMEX_CUPSPrintJob::setRawImageFolder(std::string(folder) + "/none");
    auto job = PLUMEX_CUPSPrintJob::initWithArguments(
        {"rastertovantrel", "1", "bench", "page", "1", "", path});
    if (!job || !job->readPixels()) {
        state.SkipWithError("the job context did not read the page");
        return;
    }
    PLUMEX_CUPSLog::setShouldLogToStdErr(false);  // the job's debug lines would time the terminal
    Margins margins;
    job->setDelegate(&margins);
    const std::vector<uint8_t> original(job->pageData(), job->pageData() + job->pageDataLength());
    const PLUMEX_ImageFilterList filters = {
        makeFilter("CIColorControls", {{"inputBrightness", 0.05}, {"inputContrast", 1.1}, {"inputSaturation", 1.2}}),
        makeFilter("CIGammaAdjust", {{"inputPower", 0.9}}),
        makeFilter("CIUnsharpMask", {{"inputRadius", 2.5}, {"inputIntensity", 0.5}}),
    };
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(job->pageData(), original.data(), original.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(job->imageRepForCurrentPageApplyingCIFilters(filters));
    }
    job.reset();
    unlink(path.c_str());
    rmdir(folder);
    reportPixels(state);
}

}  // namespace

BENCHMARK(BM_RasterRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PagePipeline)->Unit(benchmark::kMillisecond)->UseRealTime();

// The CUPS raster stream as the job reads it: the page count taken from a spool copy, header
// validation, pixel reading into the reused page buffer and the page image over it, for a
// stream of any bytes, each page through the job context as the raster driver runs it.
#include <cups/raster.h>

#include "FuzzSupport.h"
#include "PLUMEX_CUPSPrintJob.h"

using namespace tessaron::fuzz;

namespace {

// The job takes pages up to 1 GiB; the harness reads only pages far below the memory bound
// of a fuzz run and stops at the first larger one.
constexpr uint64_t kHarnessPageLimit = 64u << 20;
constexpr int kMaxPages = 8;

void readPages(PLUMEX_CUPSPrintJob& job) {
    for (int page = 0; page < kMaxPages && job.readHeader(); ++page) {
        const cups_page_header2_t& header = job.header();
        require(!PLUMEX_CUPSPrintJob::rasterHeaderProblem(header), "a refused header was taken");
        if (uint64_t{header.cupsBytesPerLine} * header.cupsHeight > kHarnessPageLimit) return;
        if (!job.readPixels()) return;
        require(job.pageDataLength() == uint64_t{header.cupsBytesPerLine} * header.cupsHeight,
                "the page buffer does not hold the page");
        if (const auto image = job.imageRepForCurrentPage()) {
            require(image->width == static_cast<int>(header.cupsWidth) &&
                        image->height == static_cast<int>(header.cupsHeight),
                    "the page image has another size than its header");
        }
        job.startNextPage();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    static const std::string ppd = writeScratchFile(
        "raster.ppd", bytesOf("*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                              "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"FUZZ.PPD\"\n"
                              "*Manufacturer: \"Fuzz\"\n*Product: \"(Fuzz)\"\n*ModelName: \"Fuzz\"\n"
                              "*ShortNickName: \"Fuzz\"\n*NickName: \"Fuzz\"\n*PSVersion: \"(3010.000) 0\"\n"));
    setenv("PPD", ppd.c_str(), 1);
    setenv("DEVICE_URI", "vantrelps://127.0.0.1", 1);
    InputReader input({data, size});
    // Without the dialog's page count the job counts the pages of a spool copy first.
    const std::string options = (input.byte() & 1) ? "com.apple.print.PrintSettings.PMTotalSidesImaged..n.=2" : "";
    const std::string path = writeScratchFile("job.ras", input.rest());
    try {
        auto job = PLUMEX_CUPSPrintJob::initWithArguments({"vantrelps", "1", "fuzz", "fuzz", "1", options, path});
        if (job) readPages(*job);
    } catch (const JobEnded&) {
    }
    requireCupsLines();
    return 0;
}

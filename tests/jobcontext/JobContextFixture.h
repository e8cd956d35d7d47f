// A job context created in the test process from a raster file and a PPD the test wrote.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "JobFiles.h"
#include "PLUMEX_CUPSPrintJob.h"
#include "TempDir.h"

namespace tessaron::jobcontexttest {

struct JobContext {
    tessaron::test::TempDir dir;
    std::unique_ptr<PLUMEX_CUPSPrintJob> job;

    explicit JobContext(const std::vector<RasterPage>& pages, const std::string& options = "",
                        const std::string& ppdLines = "") {
        writeRaster(dir.file("job.ras"), pages);
        create(options, ppdLines);
    }
    // One page of the given layout.
    JobContext(const cups_page_header2_t& header, uint8_t seed) {
        writeRasterPage(dir.file("job.ras"), header, seed);
        create("", "");
    }

private:
    void create(const std::string& options, const std::string& ppdLines) {
        setenv("PPD", dir.write("queue.ppd", ppdText(ppdLines)).c_str(), 1);
        setenv("DEVICE_URI", "vantrelps://127.0.0.50:5001/queue", 1);
        unsetenv("PRINTER");
        job = PLUMEX_CUPSPrintJob::initWithArguments(
            {"rastertovantrel", "42", "alice", "Holiday", "2", options, dir.file("job.ras")});
    }
};

}  // namespace tessaron::jobcontexttest

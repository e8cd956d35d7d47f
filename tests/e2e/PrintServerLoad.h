// A print server under load: one private scheduler with a queue on each of several emulated
// labs, every queue given the same number of raster jobs at once. What the labs hold
// afterwards is checked order by order; the figures (time, jobs per minute, the largest
// backend's peak memory) are what the load benchmark reports. The caller holds a NetLock.
#pragma once

#include <string>
#include <vector>

#include "CupsSandbox.h"

namespace tessaron::test {

struct PrintServerLoad {
    int labs = 8;             // emulated labs on 127.0.0.51 ..., one queue each
    int jobsPerQueue = 5;
    int pagesPerJob = 5;
    int dpi = 50;             // pages of 8 x 6 inches: 400 x 300 pixels at 50 dpi
    std::string minilab;      // tessaron-minilab
    std::string ppd;          // the suite's PPD
    CupsSandboxPrograms programs;
    std::string workDir;      // raster files and the labs' stores
};

struct LoadOutcome {
    std::string failure;                 // set when the scheduler or a lab could not be set up
    int jobsSubmitted = 0;
    int jobsCompleted = 0;
    double seconds = 0;                  // first submission to the last job's end
    long largestBackendPeakKiB = 0;      // the highest VmHWM seen of any backend process
    std::vector<std::string> problems;   // jobs not completed; orders missing, doubled or short

    double jobsPerMinute() const { return seconds > 0 ? jobsCompleted * 60.0 / seconds : 0; }
};

LoadOutcome runPrintServerLoad(const PrintServerLoad& load);

// A raster file of `pages` RGB pages of 8 x 6 inches at `dpi`, each page's pixels different.
bool writeRasterJob(const std::string& path, int pages, int dpi);

}  // namespace tessaron::test

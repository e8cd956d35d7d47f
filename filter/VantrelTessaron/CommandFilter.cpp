// The command job driver: refreshes the printer's information and paper catalogue in the PPD.
#include <cerrno>
#include <string>

#include "DriverOpening.h"
#include "JobDrivers.h"
#include "VantrelTessaronJob.h"

namespace {

constexpr const char* kRevision = "1089";

}  // namespace

void logDriverOpening() {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    PLUMEX_CUPSLog::debug("%s", std::string(80, '^').c_str());
    PLUMEX_CUPSLog::debug("starting up (v%s) on %s", kRevision, PLUMEX_CUPSLog::systemVersionInfo().c_str());
}

int commandFilter() {
    logDriverOpening();
    auto job = VantrelTessaronJob::init();
    if (!job) {
        PLUMEX_CUPSLog::err("the device URI names no printer");
    } else {
        job->setShouldStartRunLoop(true);
        PLUMEX_CUPSPrintJob::cupsDeviceStateClearAll();
        PLUMEX_CUPSLog::stateSet("connecting-to-device");
        job->getInfoAsync();
        job->getRegisteredPapersAsync();
    }
    PLUMEX_CUPSLog::debug("finished with this job (%s v%s)", PLUMEX_CUPSLog::applicationName().c_str(), kRevision);
    PLUMEX_CUPSLog::debug("%s", std::string(80, 'v').c_str());
    return 0;
}

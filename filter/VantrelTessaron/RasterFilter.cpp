// The raster job driver: a CUPS raster job printed as one Tessaron order.
#include <cerrno>
#include <clocale>
#include <string>

#include "DriverOpening.h"
#include "JobDrivers.h"
#include "LocalizedFormat.h"
#include "Localize.h"
#include "VantrelTessaronJob.h"

namespace {

constexpr const char* kRevision = "1089";

std::string joined(const std::vector<std::string>& items) {
    std::string text = "(";
    for (const std::string& item : items) text += (text.size() > 1 ? ", " : "") + item;
    return text + ")";
}

void logLanguage() {
    const std::vector<std::string> languages = tessaron::preferredLanguages();
    PLUMEX_CUPSLog::debug("AppleLanguages %s", joined(languages).c_str());
    const char* locale = std::setlocale(LC_MESSAGES, nullptr);
    const std::string identifier = locale ? locale : "C";
    PLUMEX_CUPSLog::debug("using language %s in locale %s", identifier.substr(0, identifier.find_first_of("_.@")).c_str(),
                          identifier.c_str());
    PLUMEX_CUPSLog::debug("using bundle in %s", tessaron::localeDirectory().c_str());
    PLUMEX_CUPSLog::debug("Language in %s", tessaron::localizedString("test lang").c_str());
    PLUMEX_CUPSLog::debug("Opening the CUPS Raster data stream");
}

}  // namespace

int rasterFilter() {
    logDriverOpening();
    PLUMEX_CUPSPrintJob::cupsDeviceStateClearAll();
    auto job = VantrelTessaronJob::init();
    if (!job) PLUMEX_CUPSLog::fatal("%s", localizedFormat("The printing system failed to initialize!").c_str());
    logLanguage();

    PLUMEX_CUPSPrintJob* context = job->prepareForPrintJob();
    if (!context) {
        PLUMEX_CUPSLog::debug("Failed to init CUPS! We are exiting abnormally here.");
        PLUMEX_CUPSLog::fatal("%s", localizedFormat("The printing system failed to initialize!").c_str());
    }
    context->processPageData();
    job->ensureAllFramesSent();
    if (!job->spoolOrder()) context->fatal("%s", localizedFormat("A problem prevented the order from spooling.").c_str());
    if (job->getErrorStatus() != 0) {
        while (job->getErrorStatus() != 0) {
        }
        context->jobRecovered();
    }
    PLUMEX_CUPSLog::debug("finished with this job (%s v%s)", PLUMEX_CUPSLog::applicationName().c_str(), kRevision);
    PLUMEX_CUPSLog::debug("%s", std::string(80, 'v').c_str());
    return 0;
}

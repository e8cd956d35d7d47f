#include "RasterJob.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "BackendJob.h"
#include "DriverData.h"
#include "JobPaper.h"
#include "LabRegistry.h"
#include "Refresh.h"
#include "VendorOptions.h"

namespace tessaron::printerapp {
namespace {

BackendJob* backendOf(pappl_job_t* job) { return static_cast<BackendJob*>(papplJobGetData(job)); }

std::string deviceURIOf(pappl_job_t* job) {
    const char* uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job));
    return uri ? uri : "";
}

// The lab as it is now; when it does not answer, what it last reported.
std::optional<LabReport> currentReport(const std::string& uri) {
    LabReport report = queryAndStore(uri);
    if (report.reached) return report;
    if (auto snapshot = LabRegistry::shared().snapshot(uri); snapshot && !snapshot->report.papers.empty())
        return snapshot->report;
    return std::nullopt;
}

// The job's vendor values over the printer's saved defaults. PAPPL 1.3 looks for the
// defaults among the job's own attributes, where they never are, so they are added here.
std::map<std::string, std::string> vendorValues(pappl_job_t* job, const pappl_pr_options_t& options) {
    constexpr std::string_view kDefaultSuffix = "-default";
    std::map<std::string, std::string> values;
    for (const auto& [name, value] : savedVendorDefaults(papplJobGetPrinter(job)))
        if (name.ends_with(kDefaultSuffix)) values[name.substr(0, name.size() - kDefaultSuffix.size())] = value;
    for (int i = 0; i < options.num_vendor; ++i) values[options.vendor[i].name] = options.vendor[i].value;
    return values;
}

void showLine(pappl_job_t* job, const BackendLine& line) {
    if ((line.kind == LineKind::Info || line.kind == LineKind::Error) && !line.text.empty())
        papplJobSetMessage(job, "%s", line.text.c_str());
}

std::optional<std::string> optionsForJob(pappl_job_t* job, const pappl_pr_options_t& options, const LabReport& report) {
    const JobMedia media{options.media.size_width, options.media.size_length, options.media.type,
                         options.printer_resolution[0] > 0 ? options.printer_resolution[0] : static_cast<int>(options.header.HWResolution[0])};
    const std::optional<PaperChoice> paper = paperForMedia(report, media);
    if (!paper) {
        papplJobSetMessage(job, "The minilab has no paper for %s (%s) at %d dpi.", options.media.size_name,
                           options.media.type[0] ? options.media.type : "any surface", media.dpi);
        return std::nullopt;
    }
    return backendOptions(*paper, backendVendorOptions(vendorValues(job, options)));
}

}  // namespace

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*) {
    const std::string uri = deviceURIOf(job);
    const std::optional<LabReport> report = currentReport(uri);
    if (!report) {
        papplJobSetMessage(job, "The minilab does not answer and its papers are unknown.");
        return false;
    }
    const std::optional<std::string> backendOptionText = optionsForJob(job, *options, *report);
    if (!backendOptionText) return false;
    PrintRequest request;
    request.deviceURI = uri;
    request.jobId = papplJobGetID(job);
    request.user = papplJobGetUsername(job) ? papplJobGetUsername(job) : "anonymous";
    request.title = papplJobGetName(job) ? papplJobGetName(job) : "untitled";
    request.options = *backendOptionText;
    // PAPPL repeats the pages for each copy, so the backend is asked for one.
    request.copies = 1;
    auto backend = BackendJob::start(request, [job](const BackendLine& line) { showLine(job, line); });
    if (!backend) {
        papplJobSetMessage(job, "The minilab's backend could not be started.");
        return false;
    }
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printing through the backend with %s", request.options.c_str());
    papplJobSetData(job, backend.release());
    return true;
}

bool startRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
    BackendJob* backend = backendOf(job);
    return backend && backend->writeHeader(options->header);
}

bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned, const unsigned char* line) {
    BackendJob* backend = backendOf(job);
    return backend && backend->writeLine(line, options->header.cupsBytesPerLine);
}

bool endRasterPage(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned) { return true; }

bool endRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    std::unique_ptr<BackendJob> backend(backendOf(job));
    papplJobSetData(job, nullptr);
    if (!backend) return false;
    const int status = backend->finish([job] { return papplJobIsCanceled(job); });
    // Paper was used: the next timer tick shows what is left.
    queryAndStore(deviceURIOf(job));
    if (papplJobIsCanceled(job)) return true;
    if (status != 0) {
        const std::string error = backend->lastError();
        papplJobSetMessage(job, "%s", error.empty() ? "The minilab did not take the order." : error.c_str());
        return false;
    }
    return true;
}

}  // namespace tessaron::printerapp

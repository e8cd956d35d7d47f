// Creation from the job arguments, page and copy accounting, per-job logging and recovery.
#include "PLUMEX_CUPSPrintJob.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PLUMEX_CUPSPrintJobInternal.h"

using tessaron::printjob::format;

namespace {

std::string processName(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return "unknown";
    const std::string& path = arguments.front();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string currentHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return {};
    return name;
}

}  // namespace

std::unique_ptr<PLUMEX_CUPSPrintJob> PLUMEX_CUPSPrintJob::init() {
    return initWithArguments(tessaron::printjob::processArguments());
}

std::unique_ptr<PLUMEX_CUPSPrintJob> PLUMEX_CUPSPrintJob::initWithArguments(const std::vector<std::string>& arguments) {
    tessaron::printjob::setProcessArguments(arguments);
    std::unique_ptr<PLUMEX_CUPSPrintJob> job(new PLUMEX_CUPSPrintJob());
    if (!job->setUp(arguments)) return nullptr;
    return job;
}

PLUMEX_CUPSPrintJob::~PLUMEX_CUPSPrintJob() {
    {
        // A cleanup in progress keeps using the context; it ends the process when done.
        auto hold = holdSignalCleanup();
        if (tessaron::printjob::sharedObject() == this) tessaron::printjob::setSharedObject(nullptr);
    }
    if (_raster) cupsRasterClose(_raster);
    if (_options) cupsFreeOptions(static_cast<int>(_num_options), _options);
    if (_ppd) ppdClose(_ppd);
}

PLUMEX_CUPSPrintJob* PLUMEX_CUPSPrintJob::sharedObject() { return tessaron::printjob::sharedObject(); }

void PLUMEX_CUPSPrintJob::printVersionInfo() { fprintf(stderr, "%s %s (v%d)\n", "rastertovantrel", "3.0.0", 1078); }

void PLUMEX_CUPSPrintJob::openJobData(const std::vector<std::string>& arguments) {
    switch (arguments.size()) {
    case 6:
        return;
    case 7: {
        const std::string& path = arguments[6];
        _ownedJobData.reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (_ownedJobData) {
            fd = _ownedJobData.get();
            return;
        }
        int error = errno;
        fputs("ERROR: Error opening the print spool file!\n", stderr);
        logLevelMessage(kLevelDebug, format("Unable to open the raster file \"%s\" \n", path.c_str()));
        errno = error;
        perror("DEBUG");
        sleep(10);
        exit(1);
    }
    case 2:
        if (arguments[1] == "--version") {
            printVersionInfo();
            exit(0);
        }
        [[fallthrough]];
    default:
        fprintf(stderr, "USAGE: %s job-id user title copies options [file]\n", processName(arguments).c_str());
        sleep(1);
        exit(1);
    }
}

bool PLUMEX_CUPSPrintJob::setUp(const std::vector<std::string>& arguments) {
    setShouldLogToStdErr(true);
    fd = 0;
    openJobData(arguments);
    setvbuf(stderr, nullptr, _IONBF, 0);
    tessaron::printjob::installSignalHandlers();

    _raster = nullptr;
    _haveReadHeaderForPixels = false;
    _header = cups_page_header2_t{};

    // Without a page count from the dialog the count comes from the raster itself.
    {
        cups_option_t* options = nullptr;
        int count = cupsParseOptions(arguments[5].c_str(), 0, &options);
        bool hasPageCount = cupsGetOption(tessaron::printjob::kTotalSidesImagedOption, count, options) != nullptr;
        cupsFreeOptions(count, options);
        if (!hasPageCount) countPagesIntoSpoolCopy();
    }

    if (!openRasterStream() || !readHeader()) {
        jobDebug("Failed to initialize CUPS");
        return false;
    }

    tessaron::printjob::setSharedObject(this);
    _delegate = nullptr;
    _pageData.reset();
    _pageDataLength = _pageDataCapacity = 0;
    _printerStates.clear();
    _deviceURIString.clear();
    _waitingForRecoverableError = false;
    _manualCollate = true;
    _printerSettings.clear();
    _page = 0;

    const char* uri = getenv("DEVICE_URI");
    if (uri && strstr(uri, "://")) {
        _deviceURIString = uri;
        jobDebug("found device URI \"%s\"", uri);
    } else {
        jobDebug("failed to set a device URI ...");
        jobDebug("exiting from %s line %d", "-[PLUMEX_CUPSPrintJob init]", __LINE__);
        exit(1);
    }

    _num_options = cupsParseOptions(arguments[5].c_str(), 0, &_options);
    _jobID = arguments[1];
    _user = arguments[2];
    _title = arguments[3];
    int64_t copies = tessaron::printjob::leadingInteger(arguments[4]);
    _numCopies = copies > 0 ? static_cast<uint64_t>(copies) : 0;
    _hostname = currentHostName();

    accountPagesAndCopies();

    if (const char* ppdPath = getenv("PPD")) {
        _ppd = ppdOpenFile(ppdPath);
        if (_ppd) ppdLocalize(_ppd);
    }
    _lang = cupsLangDefault();
    const char* lang = getenv("LANG");
    jobDebug("CUPS language variable is %s (LANG=%s)", _lang ? _lang->language : "(null)", lang ? lang : "(null)");
    return true;
}

void PLUMEX_CUPSPrintJob::accountPagesAndCopies() {
    auto number = [this](const char* name) {
        int64_t value = tessaron::printjob::leadingInteger(cupsOptionValueForKey(name));
        return value > 0 ? static_cast<uint64_t>(value) : uint64_t{0};
    };
    const uint64_t argumentCopies = _numCopies;
    const bool duplex = cupsDuplex();

    uint64_t begin = number(tessaron::printjob::kTotalBeginPagesOption);
    if (begin == 0) begin = 1;
    _numPages = number(tessaron::printjob::kTotalSidesImagedOption);
    if (_numPages == 0) _numPages = 1;
    std::optional<std::string> collate = cupsOptionValueForKey("collate");
    std::optional<std::string> pageSet = cupsOptionValueForKey("page-set");
    uint64_t nUp = number("number-up");
    if (nUp == 0) nUp = 1;

    const uint64_t sheets = nUp < 2 ? begin : (begin + nUp - 1) / nUp;
    uint64_t selected = 0;
    if (pageSet) {
        selected = sheets / 2;
        if (*pageSet == "odd" && (sheets % 2 == 1 || duplex)) ++selected;
        if (selected % 2 == 1 && duplex) ++selected;
    }
    if (!tessaron::printjob::equalsIgnoringCase(collate.value_or(""), "true")) {
        if (sheets < _numPages) _numPages = sheets;
    } else {
        selected *= _numCopies;
        if (sheets % 2 == 1 && duplex) _numPages = (sheets + 1) * _numCopies;
        _numCopies = 1;
    }
    if (pageSet) _numPages = selected;
    _maxCopies = _numCopies;
    // The raster's own page count is what the delegate will be handed, whatever the
    // dialog-based formula would have guessed.
    if (_countedPages) _numPages = *_countedPages;

    jobDebug("job-id=%s", _jobID.c_str());
    jobDebug("user=%s", _user.c_str());
    jobDebug("title=%s", _title.c_str());
    jobDebug("copies=%lu", static_cast<unsigned long>(_numCopies));
    jobDebug("number of job options=%ld", static_cast<long>(_num_options));
    jobDebug("number of job pages=%u (begin=%d; copies=%d; pages=%s; duplex=%s; collated=%s; nUp=%d)",
             static_cast<unsigned>(_numPages), static_cast<int>(begin), static_cast<int>(argumentCopies),
             pageSet ? pageSet->c_str() : "all", duplex ? "Y" : "N", collate ? collate->c_str() : "(null)",
             static_cast<int>(nUp));
}

// ---- Class-level texts from the process ------------------------------------------------

std::string PLUMEX_CUPSPrintJob::cupsUser() {
    const auto& arguments = tessaron::printjob::processArguments();
    return arguments.size() < 3 ? "unknown" : arguments[2];
}

std::string PLUMEX_CUPSPrintJob::cupsTitle() {
    const auto& arguments = tessaron::printjob::processArguments();
    return arguments.size() < 4 ? "unknown" : arguments[3];
}

std::string PLUMEX_CUPSPrintJob::cupsHost() {
    std::string host = currentHostName();
    return host.empty() ? "unknown" : host;
}

std::optional<std::string> PLUMEX_CUPSPrintJob::deviceURI() {
    const char* uri = getenv("DEVICE_URI");
    if (!uri) return std::nullopt;
    return std::string(uri);
}

std::optional<std::string> PLUMEX_CUPSPrintJob::deviceNameFromURI(const std::string& uri) {
    size_t scheme = uri.find("://");
    if (scheme == std::string::npos) return std::nullopt;
    size_t start = scheme + 3;
    size_t end = uri.find_first_of(":/?", start);
    return uri.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::optional<std::string> PLUMEX_CUPSPrintJob::deviceName() const { return deviceNameFromURI(_deviceURIString); }

std::string PLUMEX_CUPSPrintJob::MediaType() const {
    return std::string(_header.MediaType, strnlen(_header.MediaType, sizeof _header.MediaType));
}

// ---- Per-job logging and recovery --------------------------------------------------------

void PLUMEX_CUPSPrintJob::info(const char* fmt, ...) const {
    PLUMEX_FORMAT_ARGUMENTS(message, fmt);
    logLevelMessage(kLevelInfo, message);
}

void PLUMEX_CUPSPrintJob::jobDebug(const char* fmt, ...) const {
    PLUMEX_FORMAT_ARGUMENTS(message, fmt);
    logLevelMessage(kLevelDebug, message);
}

void PLUMEX_CUPSPrintJob::debug2(const char* fmt, ...) const {
    PLUMEX_FORMAT_ARGUMENTS(message, fmt);
    logLevelMessage(kLevelDebug2, message);
}

void PLUMEX_CUPSPrintJob::jobRecoverable(const char* fmt, ...) {
    PLUMEX_FORMAT_ARGUMENTS(message, fmt);
    recoverable("%s", message.c_str());
    if (platformFrameworkVersion() < 833.1) _waitingForRecoverableError = true;
}

void PLUMEX_CUPSPrintJob::jobRecovered() {
    recovered();
    _waitingForRecoverableError = false;
    stateClearAll();
}

void PLUMEX_CUPSPrintJob::recoverIfNeeded() {
    if (!_waitingForRecoverableError) return;
    recovered();
    _waitingForRecoverableError = false;
}

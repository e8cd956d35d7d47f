// The job context of a program that CUPS runs for one job: job arguments and options, the
// queue's PPD, page and copy accounting, printer-state reasons, "PPD:" updates and saved data,
// signals, safe temporary files, and the raster page input with its image pipeline.
// Class-level (static) operations work without a job context; there is at most one context
// per process.
#pragma once

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Filters.h"
#include "Image.h"
#include "PLUMEX_CUPSLog.h"
#include "PLUMEX_CUPSPrintJobDelegate.h"
#include "UniqueFd.h"

// The adjustment filters run over a page, in order.
using PLUMEX_ImageFilterList = std::vector<tessaron::image::Filter>;

// The page as a bitmap: a view onto the page buffer (not owned), RGB, 8 bits per sample.
using PLUMEX_BitmapImageRep = tessaron::image::BitmapView;

struct PLUMEX_Size {
    double width = 0;
    double height = 0;
};

class PLUMEX_CUPSPrintJob : public PLUMEX_CUPSLog {
public:
    // ---- Creation ----------------------------------------------------------------------
    // From the process arguments (program name first). Six arguments read the job from
    // standard input, seven from the named file; "--version" prints the version line and
    // exits 0; anything else prints the usage line and exits 1. Answers none when the raster
    // stream cannot be opened or its first header not read.
    static std::unique_ptr<PLUMEX_CUPSPrintJob> init();
    static std::unique_ptr<PLUMEX_CUPSPrintJob> initWithArguments(const std::vector<std::string>& arguments);
    ~PLUMEX_CUPSPrintJob();
    PLUMEX_CUPSPrintJob(const PLUMEX_CUPSPrintJob&) = delete;
    PLUMEX_CUPSPrintJob& operator=(const PLUMEX_CUPSPrintJob&) = delete;

    // The job context of the process, or nullptr.
    static PLUMEX_CUPSPrintJob* sharedObject();
    // "rastertovantrel 3.0.0 (v1078)" on standard error.
    static void printVersionInfo();

    // ---- Accessors ---------------------------------------------------------------------
    void setDelegate(PLUMEX_CUPSPrintJobDelegate* delegate) { _delegate = delegate; }
    PLUMEX_CUPSPrintJobDelegate* delegate() const { return _delegate; }
    void setManualCollate(bool on) { _manualCollate = on; }
    bool manualCollate() const { return _manualCollate; }
    std::map<std::string, std::string>& printerSettings() { return _printerSettings; }

    // Stored copies of arguments 3 and 2.
    const std::string& jobCupsTitle() const { return _title; }
    const std::string& jobCupsUser() const { return _user; }
    const std::string& jobID() const { return _jobID; }
    const std::string& hostname() const { return _hostname; }
    // Argument 3 / 2 of the process, "unknown" when missing; the host name, "unknown" if none.
    static std::string cupsTitle();
    static std::string cupsUser();
    static std::string cupsHost();
    // DEVICE_URI as the context kept it; the class-level form reads the environment.
    const std::string& jobDeviceURI() const { return _deviceURIString; }
    static std::optional<std::string> deviceURI();
    // Host part of the device URI: after "://" up to the first of ":/?".
    std::optional<std::string> deviceName() const;
    static std::optional<std::string> deviceNameFromURI(const std::string& uri);

    uint64_t copies() const { return _numCopies; }
    uint64_t maxCopies() const { return _maxCopies; }
    uint64_t pages() const { return _numPages; }
    int64_t page() const { return _page; }
    int64_t pagesRemaining() const { return static_cast<int64_t>(_numPages) - _page; }
    int fileDescriptor() const { return static_cast<int>(fd); }
    int numOptions() const { return static_cast<int>(_num_options); }
    cups_option_t* options() const { return _options; }
    ppd_file_t* ppd() const { return _ppd; }
    bool waitingForRecoverableError() const { return _waitingForRecoverableError; }

    // ---- Options and PPD ---------------------------------------------------------------
    // The job option, else the PPD's marked or default choice.
    std::optional<std::string> cupsOptionValueForKey(const std::string& name) const;
    // Looks every name up, stores found values in printerSettings, answers a copy of it.
    std::map<std::string, std::string> parsedOptions(const std::vector<std::string>& names);
    std::optional<std::string> ppdValueForAttribute(const std::string& name) const;
    // Class-level; none when the name is empty or ppd is nullptr.
    static std::optional<std::string> cupsValueForAttributeForPPD(const std::string& name, ppd_file_t* ppd);
    static std::optional<std::string> cupsChoiceForOptionForPPD(const std::string& name, ppd_file_t* ppd);
    static std::optional<std::string> cupsDefaultChoiceForOptionForPPD(const std::string& name, ppd_file_t* ppd);

    // ---- Printer-state reasons ---------------------------------------------------------
    // Class-level stateSet/stateClear come from PLUMEX_CUPSLog. The per-job forms remember
    // each comma-separated reason until it is cleared.
    void jobStateSet(const std::string& reasons);
    void jobStateClear(const std::string& reasons);
    void stateClearAll();
    const std::set<std::string>& printerStates() const { return _printerStates; }
    // The queue named by PRINTER as CUPS reports it.
    static std::optional<std::map<std::string, std::string>> cupsDeviceOptions();
    static std::optional<std::vector<std::string>> cupsDeviceState();
    static void cupsDeviceStateClearAll();
    bool deviceIsOffline() const;

    // ---- Recoverable errors ------------------------------------------------------------
    void jobRecoverable(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void jobRecovered();
    void recoverIfNeeded();

    // ---- Logging (per job) -------------------------------------------------------------
    void info(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));
    // Level 1 without the line splitting of the class-level debug.
    void jobDebug(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));
    void debug2(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));

    // ---- "PPD:" updates and saved data -------------------------------------------------
    // One "PPD:" line: " k=v" per pair of at most 255 characters...
    static void ppdUpdatePrinterState(const std::vector<std::string>& keyValuePairs);
    // ... or " key=\"value\"" per entry whose key has at most 40 characters, in list order...
    static void ppdUpdatePrinterState(const std::vector<std::pair<std::string, std::string>>& dictionary);
    static void ppdUpdatePrinterState(const std::map<std::string, std::string>& dictionary);
    // ... or the text itself. Fewer than 3 characters send nothing.
    static void ppdUpdatePrinterState(const std::string& text);
    void ppdUpdateWithString(const std::string& text) const;
    // Base64 in numbered chunk attributes <name>00000=..., ended by an empty chunk.
    static void ppdSaveDataForAttribute(const std::vector<uint8_t>& data, const std::string& name);
    // Reads them back; none when absent, empty, not Base64, or decoding to nothing.
    static std::optional<std::vector<uint8_t>> ppdSavedDataForAttributeForPPD(const std::string& name, ppd_file_t* ppd);

    // ---- Temporary files ---------------------------------------------------------------
    // A new 0600 file in $TMPDIR (or /tmp). With fd, the open descriptor is handed over
    // (empty on failure); without, it is closed.
    static std::optional<std::string> safeTempFile(tessaron::UniqueFd* fd = nullptr);

    // ---- Signals -----------------------------------------------------------------------
    // Forwards to the delegate, or logs the hint.
    void cleanupOnSignal(int signalNumber);
    static const char* strForSignal(int signalNumber);
    // SIGUSR1, SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGABRT, SIGTSTP, in that order.
    static const std::vector<int>& signalList();
    // While held, a termination signal's cleanup waits (a second signal still ends the
    // process at once). Take it around work the delegate's cleanup must not interleave with.
    static std::unique_lock<std::recursive_timed_mutex> holdSignalCleanup();

    // ---- Raster page header ------------------------------------------------------------
    const cups_page_header2_t& header() const { return _header; }
    uint32_t cupsWidth() const { return _header.cupsWidth; }
    uint32_t cupsHeight() const { return _header.cupsHeight; }
    uint32_t cupsBytesPerLine() const { return _header.cupsBytesPerLine; }
    uint32_t cupsXResolution() const { return _header.HWResolution[0]; }
    uint32_t cupsYResolution() const { return _header.HWResolution[1]; }
    uint32_t cupsPaperWidth() const { return _header.PageSize[0]; }
    uint32_t cupsPaperHeight() const { return _header.PageSize[1]; }
    PLUMEX_Size cupsPageSize() const { return {_header.cupsPageSize[0], _header.cupsPageSize[1]}; }
    bool cupsDuplex() const { return headerWord(_header.Duplex) != 0; }
    bool cupsTumble() const { return headerWord(_header.Tumble) != 0; }
    std::string MediaType() const;
    uint32_t cupsMediaType() const { return _header.cupsMediaType; }
    uint32_t cupsCutMedia() const { return headerWord(_header.CutMedia); }
    // A header field of an enumerated type as the 32-bit word the stream carried: the stream
    // may hold any value there, which the enumeration itself cannot.
    template <typename Field>
    static uint32_t headerWord(const Field& field) {
        static_assert(sizeof(Field) == sizeof(uint32_t));
        uint32_t word;
        std::memcpy(&word, &field, sizeof word);
        return word;
    }
    // Why a header cannot be read as a page, or none when it can (sizes bounded to 1 GiB).
    static std::optional<std::string> rasterHeaderProblem(const cups_page_header2_t& header);

    // ---- Raster page input -------------------------------------------------------------
    bool openRasterStream();
    bool readHeader();
    bool readPixels();
    // Ends the current page's pixels (no image until the next page is read); the buffer is kept.
    void freePixels();
    void startNextPage();
    // The page loop: every page to the delegate's outputPage. Answers the pages output.
    int64_t processPageData();
    // Fallback when the delegate has no outputPage: logs the hint.
    void outputPage();
    uint8_t* pageData() { return _pageData.get(); }
    size_t pageDataLength() const { return _pageDataLength; }

    // ---- Image pipeline ----------------------------------------------------------------
    std::optional<PLUMEX_BitmapImageRep> imageRepForCurrentPageWithData(uint8_t* data, size_t length);
    std::optional<PLUMEX_BitmapImageRep> imageRepForCurrentPage();
    std::optional<PLUMEX_BitmapImageRep> imageRepForCurrentPageApplyingCIFilters(const PLUMEX_ImageFilterList& filters);
    // Runs the filters, then margin management, and writes the result back into the page
    // buffer; on any failure answers image unchanged and leaves the buffer alone.
    std::optional<PLUMEX_BitmapImageRep> imageFromImageRepApplyingCIFilters(std::optional<PLUMEX_BitmapImageRep> image,
                                                                          const PLUMEX_ImageFilterList& filters);
    tessaron::image::Rect croppingRectForPage();
    bool needsMarginManagement();
    void applyImageFilters() {}
    // Where the raw and adjusted page images are written as TIFF ("/var/log/vantrel/").
    static void setRawImageFolder(const std::string& folder);
    static std::string rawImagePathForPage(int64_t page);

private:
    PLUMEX_CUPSPrintJob() = default;
    bool setUp(const std::vector<std::string>& arguments);
    void openJobData(const std::vector<std::string>& arguments);
    bool countPagesIntoSpoolCopy();
    void accountPagesAndCopies();
    void writeRawImage(const PLUMEX_BitmapImageRep& image) const;
    bool ensurePageBuffer(size_t size);

    // Fields of the job context, in their documented order.
    int64_t fd = 0;
    int64_t _page = 0;
    int64_t _num_options = 0;
    cups_option_t* _options = nullptr;
    ppd_file_t* _ppd = nullptr;
    cups_lang_t* _lang = nullptr;
    cups_raster_t* _raster = nullptr;
    cups_page_header2_t _header{};
    uint64_t _numPages = 0;
    uint64_t _numCopies = 0;
    uint64_t _maxCopies = 0;
    bool _manualCollate = true;
    std::set<std::string> _printerStates;
    PLUMEX_CUPSPrintJobDelegate* _delegate = nullptr;
    std::unique_ptr<uint8_t[]> _pageData;
    std::string _deviceURIString;
    std::string _jobID;
    std::string _user;
    std::string _title;
    std::string _hostname;
    std::map<std::string, std::string> _printerSettings;
    bool _waitingForRecoverableError = false;
    bool _haveReadHeaderForPixels = false;

    // Page buffer bookkeeping and the counted page total of a job without a page count.
    size_t _pageDataLength = 0;
    size_t _pageDataCapacity = 0;
    std::optional<uint64_t> _countedPages;
    // The job file, or the spool copy of a counted pipe, that fd names (standard input is not ours).
    tessaron::UniqueFd _ownedJobData;
};

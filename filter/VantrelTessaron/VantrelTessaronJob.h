// The Tessaron protocol client and print job of the backend: one object per CUPS job (or per
// query), created from the job's device URI. Its protocol half frames commands, runs
// synchronous and asynchronous transactions and reads the printer's information, status,
// errors and papers; its print-job half turns the raster job into an order.
#pragma once

#include <atomic>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "ImageAdjustments.h"
#include "JRXWire.h"
#include "KeyedArchive.h"
#include "OrderRecords.h"
#include "PLUMEX_CUPSPrintJob.h"
#include "PLUMEX_CUPSPrintJobDelegate.h"
#include "PLUMEX_PrintCoreNetwork.h"
#include "RunLoop.h"

// A paper of the catalogue ("paperNumber", "paperWidth", "paperResolution", "paperMagazine",
// "paperRemain", "paperSurface", "paperLMin", "paperLMax", and on extended printers
// "paperSource", "borderless", "paperTone", "trimTop", "trimBottom", "trimLeft",
// "trimRight", "paperName"), and the catalogue: paper key -> paper (each value a Dictionary).
using JRXPaperDictionary = tessaron::keyedarchive::Dictionary;
using JRXPaperCatalogue = tessaron::keyedarchive::Dictionary;
// The job options stored under "CUPS_PrintJobOptions".
using JRXJobOptions = std::map<std::string, std::string>;

// Keys of the property store (see PLUMEX_PrintCoreNetwork::valueForKey).
namespace tessaron::jrx::keys {
inline constexpr const char* kAsyncDataRunLoopTimer = "asyncDataRunLoopTimer";  // RunLoop::SourceId
inline constexpr const char* kMutableJRXResponseData = "mutableJRXResponseData";  // std::vector<uint8_t>
inline constexpr const char* kCUPSPrintJobOptions = "CUPS_PrintJobOptions";      // JRXJobOptions
inline constexpr const char* kMaxFramesPerJob = "maxFramesPerJob";                // std::int64_t
inline constexpr const char* kPrinterName = "printerName";                        // std::string
inline constexpr const char* kFastPrint = "fastPrint";                            // bool
inline constexpr const char* kCanDuplex = "canDuplex";                            // bool
inline constexpr const char* kExtraFeatures = "extraFeatures";                    // bool
inline constexpr const char* kAbleReceive = "ableReceive";                        // bool
inline constexpr const char* kExpectedResponseLength = "expectedResponseLength";  // std::int64_t
inline constexpr const char* kMutablePaperDict = "mutablePaperDict";              // JRXPaperCatalogue
inline constexpr const char* kCurrentPaperCount = "currentPaperCount";            // std::int64_t
}  // namespace tessaron::jrx::keys

inline constexpr const char* kJRXPrinterInfoDidUpdateNotification = "JRXPrinterInfoDidUpdateNotification";
inline constexpr const char* kJRXPrinterPaperDidUpdateNotification = "JRXPrinterPaperDidUpdateNotification";
inline constexpr const char* kTessaronPrinterAsyncOperationDidAbort = "TessaronPrinterAsyncOperationDidAbort";

class VantrelTessaronJob : public PLUMEX_PrintCoreNetwork, public PLUMEX_CUPSPrintJobDelegate {
public:
    // ==== Creation (protocol) ============================================================
    // For the current CUPS job's device URI (DEVICE_URI); none when it names no host.
    static std::unique_ptr<VantrelTessaronJob> init();
    static std::unique_ptr<VantrelTessaronJob> initForCUPSJob();
    static std::unique_ptr<VantrelTessaronJob> initWithDeviceURI(const std::string& uri);
    ~VantrelTessaronJob() override;

    // ==== Accessors and small queries (protocol) =========================================
    // The job context, created on first use with this object as its delegate; nullptr when
    // the process has no job to read.
    PLUMEX_CUPSPrintJob* printJob();
    void setPrinterAPIVersion(std::uint32_t version);
    std::string printerAPIVersion() const;
    std::uint32_t serverAPIVersion() const { return _serverAPIVersion; }
    // The version this client speaks (clamped), as written into the header.
    std::uint32_t headerAPIVersion() const { return _commandHeader.serverVersion; }
    void setPrinterIP4Address(const std::optional<std::string>& address) { _printerIP4Address = address; }
    const std::optional<std::string>& printerIP4Address() const { return _printerIP4Address; }
    void setDebugLogFolder(const std::optional<std::string>& folder) { _debugLogFolder = folder; }
    const std::optional<std::string>& debugLogFolder() const { return _debugLogFolder; }
    bool canDuplex() const { return _canDuplex; }
    bool extraFeatures() const { return _extraFeatures; }
    bool fastPrint() const { return _fastPrint; }
    std::int64_t maxFramesPerJob() const { return _maxFramesPerJob; }
    std::int64_t lastReplyCode() const { return _lastReplyCode; }
    tessaron::RunLoop* mainRunLoop() const { return _runloop; }
    void setMainRunLoop(tessaron::RunLoop* loop) { _runloop = loop; }
    std::optional<std::thread::id> detachedThread() const { return _detachedThread; }
    void setDetachedThread(std::optional<std::thread::id> thread) { _detachedThread = thread; }
    const jrx_command_header_s& commandHeader() const { return _commandHeader; }
    const _WSJRX_CLIENT_INFO& clientInfo() const { return _jrxClientInfo; }

    // "<name> (<IPv4>)", "..." for a missing address.
    std::string printerID() const;
    // "(ERROR <code>: <name>)".
    std::string lastErrorReply() const;
    static const char* strForJRXResultCode(std::uint32_t code);
    static const char* strForJRXCommand(std::uint32_t command);
    static const char* strForJRXState(std::uint32_t state);
    static std::string strForImageFormats(std::uint32_t formats);

    // ==== Framing (protocol) =============================================================
    // Header and data; the extra data is only counted in dataLength.
    std::vector<std::uint8_t> dataPayloadForCommandWithDataExtraData(std::uint8_t command,
                                                                      std::span<const std::uint8_t> data,
                                                                      std::span<const std::uint8_t> extra);
    std::vector<std::uint8_t> dataPayloadForCommandWithData(std::uint8_t command, std::span<const std::uint8_t> data);
    bool verifyJRXReplyHeaderLength(const std::uint8_t* bytes, std::size_t length) const;

    // ==== Synchronous transactions (protocol) ============================================
    // Drops the transaction connection and opens a fresh blocking one to the resolved
    // address; false when there is no address or no connection.
    bool openCommandSocket();
    // Each answers the reply payload (the record on success, the whole payload with its
    // result block otherwise), or none without a reply.
    std::optional<std::vector<std::uint8_t>> responseForCommandExtraData(const std::vector<std::uint8_t>& request,
                                                                         std::optional<std::span<const std::uint8_t>> extra);
    std::optional<std::vector<std::uint8_t>> responseForCommand(const std::vector<std::uint8_t>& request);
    std::optional<std::vector<std::uint8_t>> responseForCommandWithData(std::uint8_t command,
                                                                        std::span<const std::uint8_t> data);
    std::optional<std::vector<std::uint8_t>> responseForCommandWithDataExtraData(std::uint8_t command,
                                                                                 std::span<const std::uint8_t> data,
                                                                                 std::span<const std::uint8_t> extra);
    // One reply from the synchronous socket; the code goes to *outCode when given.
    std::optional<std::vector<std::uint8_t>> getVantrelReply(std::int64_t* outCode);
    static std::optional<JRXPaperCatalogue> getPapersForTessaronPrinterOnlyInstalledWithAD(const std::string& printer,
                                                                                          bool onlyInstalled, bool ad);

    // ==== Printer information, status and errors (protocol) ==============================
    bool getInfoAsync();
    bool getInfo();
    bool processInfoResponse(std::span<const std::uint8_t> record);
    bool getTessaronStatusAsync(bool async);
    bool getTessaronStatus() { return getTessaronStatusAsync(false); }
    bool processStatusResponse(std::optional<std::span<const std::uint8_t>> record);
    std::uint64_t getErrorStatus();
    std::string ppdJRXDuplex() const { return _canDuplex ? "True" : "False"; }
    std::string ppdJRXExtra() const { return _extraFeatures ? "True" : "False"; }
    static std::string ppdTimeStamp();

    // ==== Paper catalogue (protocol) =====================================================
    // The catalogue, fetched asynchronously on first use and kept.
    const std::optional<JRXPaperCatalogue>& registeredPapers();
    std::optional<JRXPaperCatalogue> getRegisteredPapersAsync();
    std::optional<JRXPaperCatalogue> getRegisteredPapers();
    JRXPaperDictionary paperDictForData(std::span<const std::uint8_t> record) const;
    // "<name>-r<res/10>" for a named paper, else "w<width>s<surface>r<res/10>".
    static std::string paperKeyForDictionary(const JRXPaperDictionary& paper);
    void processPaperForExistingDuplicateWithName(const JRXPaperDictionary& paper, JRXPaperDictionary& existing,
                                                  const std::string& key);
    std::uint64_t processGetPaperResponse(std::span<const std::uint8_t> record);
    std::uint64_t locateTessaronPaperMarkerOffsetInData(std::span<const std::uint8_t> record);
    // The catalogue of the printer at `uri` (none: the current job's device URI).
    static std::optional<JRXPaperCatalogue> papersForDeviceURIOnlyInstalled(const std::optional<std::string>& uri,
                                                                           bool onlyInstalled);

    // ==== Asynchronous operations (protocol) =============================================
    void sendAsyncDataCommand(std::vector<std::uint8_t> request);
    void firedTimer();
    void cleanupAfterAsync();
    void dataWaitingToBeReadOnSocket(int socket) override;
    void newDataAvailable(const tessaron::Notification& notification) override;
    void deviceOffline() override;
    void deviceOnline() override;
    bool locateTessaronResponseMarkerInDataUsingSocket(std::vector<std::uint8_t>& buffer, int socket);
    // Dispatches header + result block + record; answers how many bytes must be dropped and
    // read again to realign a paper record (0: nothing more to read).
    std::uint64_t processResponseData(std::vector<std::uint8_t>& buffer);
    // Asks the printer on a worker thread whether it prints both sides.
    static bool supportsDuplexAtDeviceURI(const std::string& uri);
    static void threadedGetInfo(VantrelTessaronJob* job);

    // Test seam: the length of one attempt of the synchronous reply wait (100 ms).
    static void setReplyPollInterval(std::chrono::milliseconds interval);

    // ==== Print-job production ===========================================================
    // Prepares the whole job before the first page; answers the job context, or nullptr when
    // there is none. Every other failure ends the process through fatal.
    PLUMEX_CUPSPrintJob* prepareForPrintJob();
    // Roll paper matching: the exact key, else the smallest key sharing its "w..s.." prefix.
    std::optional<JRXPaperDictionary> matchPaperFromDictForKey(const JRXPaperCatalogue& papers, const std::string& key);
    void updatePrinterState();
    // Exact printed width of a nominal catalogue width (0.1 mm), 0 for an unknown width.
    static std::uint16_t vantrelPaperWidthLookup(std::uint16_t nominal);

    // Page output: the current page becomes one frame of the order.
    bool respondsToOutputPage() const override { return true; }
    void outputPage() override;
    bool sendImageData(std::span<const std::uint8_t> image);
    // Spools the order once; later calls answer true at once.
    bool spoolOrder();
    void cancelFastPrintJob();
    bool respondsToCleanupOnSignal() const override { return true; }
    void cleanupOnSignal(int signalNumber) override;
    bool didSpool() const { return _didSpool; }
    // Ends the job when fewer frames reached the minilab than the order announces: a spooled
    // fast-print order is cancelled, a normal one is never spooled.
    void ensureAllFramesSent();
    std::uint16_t framesSent() const { return _framesSent; }

    // Adjustments and binding margin.
    void addImageFilter(const tessaron::image::Filter& filter);
    const PLUMEX_ImageFilterList& imageFilters() const { return _imageFilters; }
    bool respondsToCroppingRectForPage() const override { return true; }
    tessaron::image::Rect croppingRectForPage() override;
    bool respondsToNeedsMarginManagement() const override { return true; }
    bool needsMarginManagement() override;

    // Records as filled for this job.
    const jrx_order_param_ad_s& orderParam() const { return _jrxOrderParam2; }
    const std::vector<std::uint8_t>& frameParam() const { return _jrxFrameParam2; }
    bool debugLog() const { return _debugLog; }

protected:
    VantrelTessaronJob();

private:
    // ==== Print-job production (private) =================================================
    void openDebugLog();
    void waitForPrinterInfo();
    std::optional<JRXPaperDictionary> matchSelectedPaper(const JRXJobOptions& options, std::uint32_t resolution);
    void fillBackPrintLines(const JRXJobOptions& options);
    void chooseAdjustmentsAndMargins(const JRXJobOptions& options);
    void fillClientInfo();
    void fillOrderAndFrameRecords(const JRXJobOptions& options, const JRXPaperDictionary& paper);
    void fillSheetPaperLength(const JRXPaperDictionary& paper);
    void fillRollPaperLength();
    void waitUntilAbleToReceive();
    // One frame or spool transaction; a transaction without any reply is repeated once on a
    // fresh connection, and none comes back when the second attempt has no reply either.
    std::optional<std::vector<std::uint8_t>> orderTransaction(std::uint8_t command, std::span<const std::uint8_t> data,
                                                              std::span<const std::uint8_t> extra);
    // One attempt on a new connection; a failed send answers none instead of ending the job.
    std::optional<std::vector<std::uint8_t>> orderRequestOnce(std::uint8_t command, std::span<const std::uint8_t> data,
                                                              std::span<const std::uint8_t> extra);
    // Ends the job; a spooled fast-print order is cancelled first so that it never stays
    // on the minilab with frames missing.
    [[noreturn]] void failOrder(const std::string& message);
    // Encodes the page into _pageFile and writes it to a temporary file: the file's path.
    std::string encodedPageFile(const PLUMEX_BitmapImageRep& bitmap, std::string& extension);

    tessaron::jrx_frame_param_ad_s _frameParam;  // encoded into _jrxFrameParam2 per frame
    std::uint16_t _framesSent = 0;              // frames the minilab accepted
    // The current page's image file as it is sent; its memory is reused from page to page.
    std::vector<std::uint8_t> _pageFile;
    // The fast-print spool command went out (the signal cleanup reads it beside the main thread).
    std::atomic<bool> _spoolSent{false};
    // The header version, for a cancel built beside a transaction that rewrites _commandHeader.
    std::atomic<std::uint32_t> _cancelHeaderVersion{tessaron::jrx::kMinAPIVersion};
    // The cancel command on a connection of its own, within a few seconds in all; the result
    // code, or none without a reply.
    std::optional<std::uint32_t> cancelOnFreshConnection() const;

    // ==== Protocol (private) =============================================================
    bool parseDeviceURI(const std::string& uri);
    // False when the printer stopped taking bytes; ends the job on a connection error.
    bool sendAllOrFail(std::span<const std::uint8_t> bytes, std::size_t& sent);
    void storeCapabilities();
    void writePrinterDescription();
    void finishPaperList(const JRXPaperCatalogue& catalogue);
    std::uint32_t apiOverride() const;
    bool receiveInto(int fd, std::vector<std::uint8_t>& buffer, std::size_t offset, std::size_t count);

    // Fields, in their documented order.
    std::unique_ptr<PLUMEX_CUPSPrintJob> _printJob;
    jrx_command_header_s _commandHeader;
    tessaron::RunLoop* _runloop = nullptr;
    std::optional<std::thread::id> _detachedThread;
    PLUMEX_ImageFilterList _imageFilters;
    std::optional<JRXPaperCatalogue> _registeredPapers;
    std::uint32_t _serverAPIVersion = 0;
    std::int64_t _maxFramesPerJob = 999;
    std::optional<std::string> _printerIP4Address;
    std::optional<std::string> _printerAPIVersionString;
    std::optional<std::string> _debugLogFolder;
    std::vector<std::uint8_t> _jrxFrameParam2;  // the 480-byte frame parameter block
    jrx_order_param_ad_s _jrxOrderParam2;
    _WSJRX_CLIENT_INFO _jrxClientInfo;
    bool _fastPrint = false;
    bool _extraFeatures = false;
    bool _canDuplex = false;
    bool _debugLog = false;
    bool _didSpool = false;
    std::int64_t _overspill = 0;
    std::int64_t _lastReplyCode = 0;
    bool _adjustmentsEnabled = false;
    bool _sharpnessEnabled = false;
    std::uint64_t _paperWidthActual = 0;
    std::uint16_t _paperLMin = 0;
    std::uint16_t _paperLMax = 0;
};

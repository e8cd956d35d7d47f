// Creation of the protocol client from a device URI, its accessors and the code tables.
#include "VantrelTessaronJob.h"

#include <algorithm>


#include "LocalizedFormat.h"

VantrelTessaronJob::VantrelTessaronJob() : _jrxFrameParam2(tessaron::jrx::kFrameParamADSize, 0) {
    _commandHeader = jrx_command_header_s{};
    _commandHeader.serverVersion = tessaron::jrx::kMinAPIVersion;
    _jrxClientInfo = _WSJRX_CLIENT_INFO{};
    _jrxClientInfo.Version = tessaron::jrx::kMinAPIVersion;
}

VantrelTessaronJob::~VantrelTessaronJob() {
    PLUMEX_CUPSLog::debug("deallocating (retain count is %lu) ...", 1ul);
    cleanupAfterAsync();
    if (_printJob && _printJob->delegate() == this) _printJob->setDelegate(nullptr);
}

std::unique_ptr<VantrelTessaronJob> VantrelTessaronJob::init() { return initForCUPSJob(); }

std::unique_ptr<VantrelTessaronJob> VantrelTessaronJob::initForCUPSJob() {
    return initWithDeviceURI(PLUMEX_CUPSPrintJob::deviceURI().value_or(""));
}

std::unique_ptr<VantrelTessaronJob> VantrelTessaronJob::initWithDeviceURI(const std::string& uri) {
    std::unique_ptr<VantrelTessaronJob> job(new VantrelTessaronJob());
    if (!job->parseDeviceURI(uri)) return nullptr;
    return job;
}

bool VantrelTessaronJob::parseDeviceURI(const std::string& uri) {
    static const std::string scheme = "vantrelps://";
    const auto at = uri.find(scheme);
    if (at == std::string::npos) return false;
    const std::string rest = uri.substr(at + scheme.size());
    const std::string host = rest.substr(0, rest.find_first_of(":/?"));
    if (host.empty()) return false;

    PLUMEX_CUPSLog::debug("Connecting to printer \"%s\" using device URI \"%s\"", host.c_str(), uri.c_str());
    const auto dict = primaryInterface();
    std::string primary = dict ? "{" : "(null)";
    if (dict) {
        for (const auto& [k, v] : *dict) {
            primary += "\n    ";
            primary += k;
            primary += " = \"";
            primary += v;
            primary += "\";";
        }
        primary += "\n}";
    }
    PLUMEX_CUPSLog::debug("... from the primary network interface: %s", primary.c_str());

    setDelegate(nullptr);
    setReuseSocketIfPossible(false);
    setHostName(host);
    connectToPort(tessaron::jrx::kTessaronPort);  // the port of the URI is never used
    setPrinterName(host);
    setPrinterIP4Address(stringForCurrentIP4Address());
    return true;
}

PLUMEX_CUPSPrintJob* VantrelTessaronJob::printJob() {
    if (!_printJob) {
        _printJob = PLUMEX_CUPSPrintJob::init();
        if (_printJob) _printJob->setDelegate(this);
    }
    return _printJob.get();
}

void VantrelTessaronJob::setPrinterAPIVersion(std::uint32_t version) {
    _serverAPIVersion = version;
    _printerAPIVersionString = dottedQuadString(version);
    const std::uint32_t spoken = std::clamp(version, tessaron::jrx::kMinAPIVersion, tessaron::jrx::kMaxAPIVersion);
    _commandHeader.serverVersion = spoken;
    _cancelHeaderVersion = spoken;
    _jrxClientInfo.Version = spoken;
}

std::string VantrelTessaronJob::printerAPIVersion() const { return _printerAPIVersionString.value_or(dottedQuadString(0)); }

std::string VantrelTessaronJob::printerID() const {
    return printerName().value_or("(null)") + " (" + _printerIP4Address.value_or("...") + ")";
}

std::string VantrelTessaronJob::lastErrorReply() const {
    const char* name = _lastReplyCode == 0 ? "unknown" : strForJRXResultCode(static_cast<std::uint32_t>(_lastReplyCode));
    return "(ERROR " + std::to_string(_lastReplyCode) + ": " + name + ")";
}

const char* VantrelTessaronJob::strForJRXResultCode(std::uint32_t code) {
    static const char* const names[] = {
        "JRX_SUCCESS", "JRX_FAIL", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        "JRX_INVALID_ORDERNO", "JRX_INVALID_FRAMENO", "JRX_NOT_SUPPORT_FORMAT", "JRX_INVALID_REPEATNUM",
        "JRX_DISKFULL_SPOOL", "JRX_INVALID_FRAMENUM", "JRX_INVALID_PAPER", "JRX_INVALID_WBSIZE", "JRX_INVALID_INDEXSIZE",
        "JRX_INVALID_PAPERFITTING", "JRX_INVALID_ID_AUTHORITY", "JRX_NO_SUCH_ORDER", "JRX_NOT_CONNECTED_PU",
        "JRX_REMAINING_DATA", "JRX_DISABLE_MODE", "JRX_INVALID_PAPERLENGTH", "JRX_RECEIVE_ABORT", "JRX_NOTEXIST_PROFILE",
        "JRX_INVALID_SIZE", "JRX_INVALID_FORMAT", "JRX_IMPERFECT_SETUP", "JRX_REMAIN_ORDER", "JRX_INVALID_HOST",
        "JRX_INVALID_USER", "JRX_INVALID_PARAMETER", "JRX_INVALID_REFID", "JRX_NOT_CONNECTED",
        "JRX_DISABLE_MAGAZINE_SUPPLY", "JRX_DISABLE_SETUP_MODE", "JRX_REMAIN_OTHER_SETUP", "JRX_NOREGISTERD_HOST",
        "JRX_FILE_EXISTS", "JRX_ILLEGAL_IMAGE_DATA", "JRX_INVALID_IMAGE_SIZE", "JRX_ACCESS_DENIED", "JRX_CALIBRAT_MODE",
        "JRX_NOT_CALIBRAT_MODE", "JRX_NOT_CHANGE_CALIBRAT", "JRX_INVALID_OUTMEDIA_PARAM", "JRX_BUSY", "JRX_NO_SUPPORT",
    };
    if (code >= std::size(names) || !names[code]) return "JRX_unknown_code";
    return names[code];
}

const char* VantrelTessaronJob::strForJRXCommand(std::uint32_t command) {
    switch (command) {
        case 0x01: return "JRX_GET_PRINTER_INFO";
        case 0x02: return "JRX_SEND_PRINT_DATA";
        case 0x03: return "JRX_SPOOL_ORDER";
        case 0x06: return "JRX_GET_PAPER";
        case 0x07: return "JRX_GET_ERRORS";
        case 0x09: return "JRX_GET_STATUS";
        case 0x0D: return "JRX_CANCEL_FASTPRINT_ORDER";
        case 0x12: return "JRX_SEND_FAST_PRINT_DATA";
        case 0x13: return "JRX_SPOOL_FAST_PRINT_ORDER";
        case 0x21: return "JRX_GET_PAPER_AD";
        case 0x22: return "JRX_TRANSMIT_FILE_AD";
        case 0x23: return "JRX_SET_ORDER_AD";
        default: return "JRX_COMMAND_UNKNOWN";
    }
}

const char* VantrelTessaronJob::strForJRXState(std::uint32_t state) {
    static const char* const names[] = {"JRX_STATE_IDLE", "JRX_STATE_PRINT", "JRX_STATE_SETUP", "JRX_STATE_ALERT"};
    return state < std::size(names) ? names[state] : "JRX_STATE_UNKNOWN";
}

std::string VantrelTessaronJob::strForImageFormats(std::uint32_t formats) {
    static const char* const names[] = {"JPEG", "BMP", "RGB8", "RGB16", "GIF", "TIFF", "Amiga IFF", "EPS", "Filmstrip",
                                        "FlashPix", "PCX", "PICT", "Pixar", "PNG", "Scitex CT", "Targa", "PhotoCD", "PSD"};
    std::string list;
    for (std::size_t bit = 0; bit < std::size(names); ++bit)
        if (formats & (1u << bit)) list += std::string(names[bit]) + ", ";
    if (!list.empty()) list.resize(list.size() - 2);
    return "(" + list + ")";
}

std::optional<JRXPaperCatalogue> VantrelTessaronJob::getPapersForTessaronPrinterOnlyInstalledWithAD(const std::string&, bool,
                                                                                                    bool) {
    return std::nullopt;
}

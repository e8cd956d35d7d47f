// Job preparation: options, debug log, printer information, paper matching and the size check,
// client information and the order and frame records, before the first page.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "BackPrintText.h"
#include "DebugImages.h"
#include "JobOptions.h"
#include "JobPreparationSupport.h"
#include "LocalizedFormat.h"
#include "PLUMEX_TextUtilities.h"
#include "PaperLength.h"
#include "PaperMatching.h"
#include "ProtocolSupport.h"
#include "TextFields.h"
#include "VantrelTessaronJob.h"

using tessaron::optionChoiceIs;
using tessaron::optionFlag;
using tessaron::optionForLog;
using tessaron::optionText;

namespace {

struct LogLocation {
    const char* file;
    const char* folder;
};

constexpr LogLocation kLogLocations[] = {
    {"/Library/Logs/Vantrel/Tessaron_v3.log", "/Library/Logs/Vantrel/"},
    {"/var/log/vantrel/Tessaron_v3.log", "/var/log/vantrel/"},
    {"/var/tmp/Tessaron_v3.log", "/var/tmp/"},
};

constexpr const char* kAPIOverrideKey = "TessaronAPI";

bool isSheetPaper(const JRXJobOptions& options) { return optionText(options, "PaperFeed").value_or("") == "Sheet"; }

std::string paperText(const JRXPaperDictionary& paper, const char* key) {
    const auto it = paper.find(key);
    return it != paper.end() && it->second.string() ? *it->second.string() : std::string();
}

}  // namespace

std::uint16_t VantrelTessaronJob::vantrelPaperWidthLookup(std::uint16_t nominal) { return tessaron::exactPaperWidth(nominal); }

std::optional<JRXPaperDictionary> VantrelTessaronJob::matchPaperFromDictForKey(const JRXPaperCatalogue& papers,
                                                                               const std::string& key) {
    return tessaron::matchRollPaper(papers, key);
}

PLUMEX_CUPSPrintJob* VantrelTessaronJob::prepareForPrintJob() {
    setShouldStartRunLoop(true);
    PLUMEX_CUPSPrintJob* context = printJob();
    JRXJobOptions options;
    if (context) {
        std::vector<std::string> keys(std::begin(tessaron::kJobOptionKeys), std::end(tessaron::kJobOptionKeys));
        keys.push_back(kAPIOverrideKey);  // a queue or job may lower the protocol version
        options = context->parsedOptions(keys);
        setValueForKey(tessaron::jrx::keys::kCUPSPrintJobOptions, options);
    }
    if (!context || optionFlag(options, "DebugLog")) openDebugLog();
    if (!context) return nullptr;

    waitForPrinterInfo();
    _overspill = tessaron::overspillForOption(tessaron::optionNumber(options, "Overspill"));
    const std::uint32_t resolution = context->cupsXResolution();
    PLUMEX_CUPSLog::debug("Detected PPD User selected options:");
    PLUMEX_CUPSLog::debug("Color Matching: %s", optionForLog(options, "AP_ColorMatchingMode").c_str());
    PLUMEX_CUPSLog::debug("PaperFeed:%s", optionForLog(options, "PaperFeed").c_str());
    PLUMEX_CUPSLog::debug("PaperName:%s", optionForLog(options, "PaperName").c_str());
    PLUMEX_CUPSLog::debug("PaperWidth:%s", optionForLog(options, "PaperWidth").c_str());
    PLUMEX_CUPSLog::debug("PaperSurface:%s", optionForLog(options, "PaperSurface").c_str());
    PLUMEX_CUPSLog::debug("Overspill = %ld (raw = %s)", static_cast<long>(_overspill), optionForLog(options, "Overspill").c_str());
    PLUMEX_CUPSLog::debug("PaperTone: %s", optionForLog(options, "PaperTone").c_str());
    PLUMEX_CUPSLog::debug("PPD resolution key: %s (actual is %lu)", optionForLog(options, "Resolution").c_str(),
                          static_cast<unsigned long>(resolution));
    PLUMEX_CUPSLog::debug("BindingMargin:%s", optionForLog(options, "BindingMargin").c_str());
    PLUMEX_CUPSLog::debug("BindingWidth:%s", optionForLog(options, "BindingWidth").c_str());

    const JRXPaperDictionary paper = matchSelectedPaper(options, resolution).value_or(JRXPaperDictionary{});
    fillBackPrintLines(options);
    chooseAdjustmentsAndMargins(options);
    PLUMEX_CUPSLog::debug("printing %d images x %lu copies", static_cast<int>(context->pages()),
                          static_cast<unsigned long>(context->copies()));
    fillClientInfo();
    fillOrderAndFrameRecords(options, paper);
    if (isSheetPaper(options)) fillSheetPaperLength(paper);
    else fillRollPaperLength();
    const auto block = tessaron::encodeFrameBlock(_frameParam);
    _jrxFrameParam2.assign(block.begin(), block.end());

    waitUntilAbleToReceive();
    if (_fastPrint) {
        context->info("%s", localizedFormat("Spooling the FAST PRINT order ...").c_str());
        spoolOrder();
    }
    if (_debugLog && _debugLogFolder) {
        PLUMEX_CUPSLog::debug("Removing any previous images from log folder");
        tessaron::removeDebugImages(*_debugLogFolder);
    }
    return context;
}

void VantrelTessaronJob::openDebugLog() {
    _debugLog = true;
    for (const LogLocation& location : kLogLocations) {
        if (PLUMEX_CUPSLog::setLogFile(location.file)) {
            _debugLogFolder = location.folder;
            return;
        }
    }
    _debugLog = false;
}

void VantrelTessaronJob::waitForPrinterInfo() {
    PLUMEX_CUPSPrintJob* context = printJob();
    while (!getInfoAsync()) context->jobRecoverable("%s", localizedFormat("The printer is not responding!").c_str());
    context->recoverIfNeeded();
}

void VantrelTessaronJob::updatePrinterState() {
    setShouldStartRunLoop(true);
    if (printJob()) waitForPrinterInfo();
}

std::optional<JRXPaperDictionary> VantrelTessaronJob::matchSelectedPaper(const JRXJobOptions& options,
                                                                         std::uint32_t resolution) {
    const bool sheet = isSheetPaper(options);
    if (sheet && !_extraFeatures) PLUMEX_CUPSLog::fatal("%s", localizedFormat("This printer does not support sheet paper!").c_str());
    // Appended piece by piece: g++ 12 at -O3 reports a false -Wrestrict overlap in `"w" + std::string`.
    std::string key;
    if (sheet) {
        key = optionText(options, "PaperName").value_or("(null)");
        key += "-r";
    } else {
        key = "w";
        key += optionText(options, "PaperWidth").value_or("(null)");
        key += "s";
        key += optionText(options, "PaperSurface").value_or("(null)");
        key += "r";
    }
    key += std::to_string(resolution);
    const JRXPaperCatalogue papers = registeredPapers().value_or(JRXPaperCatalogue{});
    std::optional<JRXPaperDictionary> paper = tessaron::exactPaper(papers, key);
    if (!paper && !sheet) paper = matchPaperFromDictForKey(papers, key);
    if (!paper) {
        PLUMEX_CUPSLog::debug("Failed to match paper %s : %s", key.c_str(), tessaron::describeKeys(papers).c_str());
        PLUMEX_CUPSLog::fatal("%s", localizedFormat("Selected paper width, surface, and resolution are not available!").c_str());
    }
    PLUMEX_CUPSLog::debug("Matched paper %s : %s", key.c_str(), describeValue(tessaron::keyedarchive::Value(*paper)).c_str());
    return paper;
}

void VantrelTessaronJob::fillBackPrintLines(const JRXJobOptions& options) {
    tessaron::BackPrintTokens tokens;
    tokens.title = PLUMEX_CUPSPrintJob::cupsTitle();
    tokens.host = PLUMEX_CUPSPrintJob::cupsHost();
    tokens.user = PLUMEX_CUPSPrintJob::cupsUser();
    const auto now = std::chrono::system_clock::now();
    tokens.formatDate = [now](std::string_view pattern) { return stringWithUTSFormat(now, pattern).value_or(""); };
    const auto fill = [&](const char* enable, const char* key, std::array<std::uint8_t, 120>& field) {
        field.fill(0);
        if (!optionFlag(options, enable)) {
            PLUMEX_CUPSLog::debug("%s disabled", key);
            return;
        }
        const std::string raw = optionText(options, key).value_or("");
        tessaron::convertBackPrintLine(raw, tokens, field.data(), field.size());
        PLUMEX_CUPSLog::debug("raw %s: %s", key, optionForLog(options, key).c_str());
        PLUMEX_CUPSLog::debug("%s: %s", key, tessaron::readTextField(field).c_str());
    };
    fill("EnableCVP1", "CVP1", _frameParam.CVP1);
    fill("EnableCVP2", "CVP2", _frameParam.CVP2);
}

void VantrelTessaronJob::fillClientInfo() {
    // 19 characters at most, then fewer while the UTF-8 form is longer than 19 bytes.
    const auto fillName = [](std::array<std::uint8_t, 20>& field, const std::string& name) {
        tessaron::writeTextField(field, tessaron::utf8Prefix(name, 19, 19));
    };
    fillName(_jrxClientInfo.User, PLUMEX_CUPSPrintJob::cupsUser());
    fillName(_jrxClientInfo.Host, PLUMEX_CUPSPrintJob::cupsHost());
    if (const auto mac = primaryHardwareAddress())
        if (const auto bytes = networkOrderDataForMacAddress(*mac)) _jrxClientInfo.Address = *bytes;
    if (const auto ip = primaryIPAddress())
        if (const auto bytes = networkOrderDataForIP4Address(*ip)) _jrxClientInfo.IPAddress = *bytes;
    _jrxClientInfo.Port = tessaron::jrx::kClientInfoPort;
    const auto encoded = _jrxClientInfo.encode();
    PLUMEX_CUPSLog::debug("JRX client info:");
    PLUMEX_CUPSLog::logData(encoded.data(), encoded.size());
}

void VantrelTessaronJob::fillOrderAndFrameRecords(const JRXJobOptions& options, const JRXPaperDictionary& paper) {
    PLUMEX_CUPSPrintJob* context = printJob();
    auto& order = _jrxOrderParam2;
    auto& frame = _frameParam;
    const auto pages = static_cast<std::uint16_t>(std::min<std::uint64_t>(context->pages(), 0xFFFF));
    const auto copies = static_cast<std::uint16_t>(std::min<std::uint64_t>(context->copies(), 0xFFFF));
    frame.ImageFormat = tessaron::kImageFormatBMP;
    frame.FixedFF = tessaron::kFixedFF;
    order.FrameNum = frame.FrameNum = pages;
    frame.Copies = copies;
    order.PaperFittingFlg = frame.PaperFittingFlg = tessaron::kPaperFittingFlg;
    order.OrderNo = frame.OrderNo = tessaron::kOrderNoUnassigned;
    order.RefId = frame.RefId = tessaron::newOrderReference(std::chrono::system_clock::now(), tessaron::orderReferenceRandomByte());
    if (!optionChoiceIs(options, "AP_ColorMatchingMode", "AP_VendorColorMatching")) order.CmsFlg = 1;
    order.Surface = frame.Surface = tessaron::paperU16(paper, "paperSurface");
    order.PaperWidth = frame.PaperWidth = tessaron::paperU16(paper, "paperWidth");
    _paperLMax = tessaron::paperU16(paper, "paperLMax");
    _paperLMin = tessaron::paperU16(paper, "paperLMin");
    if (_extraFeatures) {
        order.Copies = copies;
        if (_fastPrint) order.FastPrintFlg = 1;
        order.Resolut = frame.Resolut = tessaron::paperU16(paper, "paperResolution");
        order.PaperTone = frame.PaperTone = static_cast<std::uint16_t>(tessaron::optionInteger(options, "PaperTone"));
    }
}

void VantrelTessaronJob::fillSheetPaperLength(const JRXPaperDictionary& paper) {
    auto& order = _jrxOrderParam2;
    const std::string name = paperText(paper, "paperName");
    tessaron::writeTextField(order.PaperName, name);
    tessaron::writeTextField(_frameParam.PaperName, name);
    order.PaperLengthMin = order.PaperLengthMax = order.PaperLengthC = order.PaperLengthP = order.PaperLengthH = _paperLMin;
    _frameParam.PaperLength = _paperLMin;
    if (_canDuplex && printJob()->cupsDuplex()) order.BothSidePrint = 1;
    _paperWidthActual = 0;
}

void VantrelTessaronJob::fillRollPaperLength() {
    PLUMEX_CUPSPrintJob* context = printJob();
    auto& order = _jrxOrderParam2;
    if (_extraFeatures) {
        order.PaperLengthMin = _paperLMin;
        order.PaperLengthMax = _paperLMax;
    }
    const std::int64_t actual = _overspill + vantrelPaperWidthLookup(order.PaperWidth);
    _paperWidthActual = actual > 0 ? static_cast<std::uint64_t>(actual) : 0;
    PLUMEX_CUPSLog::debug("selected paper width is %u (actual width %lu)", order.PaperWidth,
                          static_cast<unsigned long>(_paperWidthActual));
    const PLUMEX_Size size = context->cupsPageSize();
    PLUMEX_CUPSLog::debug("cups page size [%f, %f]", size.width, size.height);
    const tessaron::PrintLength l = tessaron::printLengthForPage(size.width, size.height, _paperWidthActual);
    if (l.mismatch)
        PLUMEX_CUPSLog::debug("Paper size mismatch (w=%u;h=%u) with selected paper width of %lu (overspill %ld)", l.width,
                              l.height, static_cast<unsigned long>(_paperWidthActual), static_cast<long>(_overspill));
    PLUMEX_CUPSLog::debug("Rescaling paper sizes: paper width = %lu; paper length = %u",
                          static_cast<unsigned long>(_paperWidthActual), l.length);
    // The limits judge the real cut length: a value wrapped into u16 could pass them.
    const std::int64_t cut = static_cast<std::int64_t>(l.length) - _overspill;
    const auto cutLength = static_cast<std::uint16_t>(std::clamp<std::int64_t>(cut, 0, 0xFFFF));
    order.PaperLengthC = order.PaperLengthH = order.PaperLengthP = cutLength;
    _frameParam.PaperLength = cutLength;
    const unsigned long bytesPerLine = context->cupsBytesPerLine();
    PLUMEX_CUPSLog::debug("image pixels width = %lu; pixels height = %lu; bytes per line = %lu; size = %lu",
                          static_cast<unsigned long>(context->cupsWidth()), static_cast<unsigned long>(context->cupsHeight()),
                          bytesPerLine, bytesPerLine * context->cupsHeight());
    PLUMEX_CUPSLog::debug("paper width = %lu pts;paper height = %lu pts", static_cast<unsigned long>(context->cupsPaperWidth()),
                          static_cast<unsigned long>(context->cupsPaperHeight()));
    PLUMEX_CUPSLog::debug("paper width = %.2f cm;paper height = %.2f cm", l.width * 0.01, l.height * 0.01);
    if (cut > _paperLMax) {
        PLUMEX_CUPSLog::debug("%u (max) < %ld (acutal (overspill = %ld))", _paperLMax, static_cast<long>(cut),
                              static_cast<long>(_overspill));
        PLUMEX_CUPSLog::fatal("%s", localizedFormat("Paper length exceeds maximum length: %.2f cm", _paperLMax * 0.01).c_str());
    }
    if (cut < _paperLMin) {
        PLUMEX_CUPSLog::debug("%u (min) > %ld (acutal (overspill = %ld))", _paperLMin, static_cast<long>(cut),
                              static_cast<long>(_overspill));
        PLUMEX_CUPSLog::fatal("%s",
                              localizedFormat("Paper length too short; minimum length: %.2f cm", _paperLMin * 0.01).c_str());
    }
    PLUMEX_CUPSLog::debug("Selected paper width = %d; cut length = %d", order.PaperWidth, cutLength);
}

void VantrelTessaronJob::waitUntilAbleToReceive() {
    PLUMEX_CUPSPrintJob* context = printJob();
    while (!getTessaronStatusAsync(true))
        context->jobRecoverable("%s", localizedFormat("The printer is not accepting Tessaron jobs!").c_str());
    context->recoverIfNeeded();
    while (!hasValueForKey(tessaron::jrx::keys::kAbleReceive)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PLUMEX_CUPSLog::debug("Waiting for printer status reply");
    }
}

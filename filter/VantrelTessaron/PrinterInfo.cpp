// Printer information, status and the error list.
#include <chrono>
#include <cstdlib>

#include "Localize.h"
#include "LocalizedFormat.h"
#include "PLUMEX_CUPSJobReport.h"
#include "PLUMEX_TextUtilities.h"
#include "ProtocolSupport.h"
#include "VantrelTessaronJob.h"

using tessaron::keyedarchive::Dictionary;

// ---- Information -----------------------------------------------------------------------

bool VantrelTessaronJob::getInfoAsync() {
    PLUMEX_CUPSLog::debug("getting JRX PRINTER INFO asynchronously");
    sendAsyncDataCommand(dataPayloadForCommandWithData(tessaron::jrx::JRX_GET_PRINTER_INFO, {}));
    return hasValueForKey(tessaron::jrx::keys::kFastPrint);
}

bool VantrelTessaronJob::getInfo() {
    PLUMEX_CUPSLog::debug("getting JRX PRINTER INFO");
    const auto reply = responseForCommandWithData(tessaron::jrx::JRX_GET_PRINTER_INFO, {});
    return processInfoResponse(reply ? std::span<const std::uint8_t>(*reply) : std::span<const std::uint8_t>());
}

std::uint32_t VantrelTessaronJob::apiOverride() const {
    const auto* options = valueForKey<JRXJobOptions>(tessaron::jrx::keys::kCUPSPrintJobOptions);
    if (!options) return 0;
    auto it = options->find("TessaronAPI");
    if (it == options->end()) return 0;
    return static_cast<std::uint32_t>(std::strtoul(it->second.c_str(), nullptr, 0));
}

bool VantrelTessaronJob::processInfoResponse(std::span<const std::uint8_t> record) {
    PLUMEX_CUPSLog::logData(record.data(), record.size());
    if (record.size() != tessaron::jrx::kPrinterInfoSize) {
        PLUMEX_CUPSLog::debug("Bad response for Get_Printer_Info (length = %lu  != %u)", static_cast<unsigned long>(record.size()),
                              static_cast<unsigned>(tessaron::jrx::kPrinterInfoSize));
        return false;
    }
    const std::string name = tessaron::jrx::fixedText(record.data(), 20);
    const std::string address = dottedQuadString(tessaron::jrx::getU32(&record[24]));
    setPrinterName(name);
    setPrinterIP4Address(address);
    PLUMEX_CUPSLog::debug("Printer name is \"%s\"", name.c_str());
    PLUMEX_CUPSLog::debug("Printer notion of IP address is %s", address.c_str());

    std::uint32_t version = tessaron::jrx::getU32(&record[20]);
    if (version != _serverAPIVersion) {
        setPrinterAPIVersion(version);
        PLUMEX_CUPSLog::debug("JRX PRINTER API version is %s", printerAPIVersion().c_str());
        // A lab may lower the version per queue or job, never raise it.
        const std::uint32_t lowered = apiOverride();
        if (lowered != 0 && lowered < version) {
            version = lowered;
            setPrinterAPIVersion(lowered);
            PLUMEX_CUPSLog::debug("User selected to override the API version to %s", printerAPIVersion().c_str());
        }
        if (version >= 0x02000000) {
            _maxFramesPerJob = 9999;
            if (version >= 0x02020000) _fastPrint = true;
        }
    }
    const std::string shown = printerAPIVersion();
    if (version < 0x03000000) {
        PLUMEX_CUPSLog::debug("Printer version %s does not support duplex printing or extended features.", shown.c_str());
        _extraFeatures = false;
        _canDuplex = false;
    } else {
        if (tessaron::jrx::getU16(&record[30]) == 1) {
            PLUMEX_CUPSLog::debug("Printer version %s supports extended features.", shown.c_str());
            _extraFeatures = true;
        }
        if (tessaron::jrx::getU16(&record[32]) == 1) {
            PLUMEX_CUPSLog::debug("Printer version %s supports duplex printing.", shown.c_str());
            _canDuplex = true;
        }
    }
    storeCapabilities();
    writePrinterDescription();

    std::string states = "(null)";
    if (auto reasons = PLUMEX_CUPSPrintJob::cupsDeviceState()) {
        states.assign(1, '(');
        for (std::size_t i = 0; i < reasons->size(); ++i) {
            if (i) states.append(", ");
            states.append((*reasons)[i]);
        }
        states.push_back(')');
    }
    PLUMEX_CUPSLog::debug("CUPS device state: %s", states.c_str());
    PLUMEX_CUPSLog::debug("Printer version %s WILL%s do FAST PRINT", shown.c_str(), _fastPrint ? "" : " NOT");
    cleanupAfterAsync();
    postJRXNotification(kJRXPrinterInfoDidUpdateNotification);
    return true;
}

void VantrelTessaronJob::storeCapabilities() {
    setValueForKey(tessaron::jrx::keys::kMaxFramesPerJob, _maxFramesPerJob);
    setValueForKey(tessaron::jrx::keys::kPrinterName, printerName().value_or(""));
    setValueForKey(tessaron::jrx::keys::kFastPrint, _fastPrint);
    setValueForKey(tessaron::jrx::keys::kCanDuplex, _canDuplex);
    setValueForKey(tessaron::jrx::keys::kExtraFeatures, _extraFeatures);
}

void VantrelTessaronJob::writePrinterDescription() {
    PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::pair<std::string, std::string>>{
        {"JRXExtraFeatures", ppdJRXExtra()},
        {"JRXDuplex", ppdJRXDuplex()},
        {"JRXAPIVersion", printerAPIVersion()},
        {"JRXDeviceName", printerName().value_or("")},
        {"JRXDeviceIP4Addr", printerIP4Address().value_or("")},
        {"JRXTimeStamp", ppdTimeStamp()},
    });
}

std::string VantrelTessaronJob::ppdTimeStamp() {
    constexpr double kReferenceDate = 978307200.0;  // 2001-01-01 00:00:00 UTC
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", now - kReferenceDate);
    return text;
}

// ---- Status ----------------------------------------------------------------------------

bool VantrelTessaronJob::getTessaronStatusAsync(bool async) {
    PLUMEX_CUPSLog::debug("getting JRX STATUS %s", async ? "asynchronously" : "");
    const std::vector<std::uint8_t> data(34, 0);
    if (async) {
        sendAsyncDataCommand(dataPayloadForCommandWithData(tessaron::jrx::JRX_GET_STATUS, data));
    } else {
        const auto reply = responseForCommandWithData(tessaron::jrx::JRX_GET_STATUS, data);
        processStatusResponse(reply ? std::optional<std::span<const std::uint8_t>>(*reply) : std::nullopt);
    }
    return boolValueForKey(tessaron::jrx::keys::kAbleReceive);
}

bool VantrelTessaronJob::processStatusResponse(std::optional<std::span<const std::uint8_t>> record) {
    if (!record || record->size() != tessaron::jrx::kStatusSize) return false;
    const std::uint8_t* r = record->data();
    const bool ableReceive = tessaron::jrx::getU16(r + 2) == 0;
    if (!hasValueForKey(tessaron::jrx::keys::kAbleReceive)) {
        PLUMEX_CUPSLog::logData(r, record->size());
        PLUMEX_CUPSLog::debug("JRX state: %s", strForJRXState(tessaron::jrx::getU16(r)));
        PLUMEX_CUPSLog::debug("JRX able to receive: %s", ableReceive ? "YES" : "NO");
        PLUMEX_CUPSLog::debug("JRX able PU: %s", tessaron::jrx::getU16(r + 4) == 0 ? "YES" : "NO");
        PLUMEX_CUPSLog::debug("JRX supported image formats: %s", strForImageFormats(tessaron::jrx::getU32(r + 134)).c_str());
        PLUMEX_CUPSLog::debug("JRX Print count: %llu", static_cast<unsigned long long>(tessaron::jrx::getU64(r + 138)));
        PLUMEX_CUPSLog::debug("JRX Temp: CD=%u, BF=%u, STB=%u", tessaron::jrx::getU16(r + 146), tessaron::jrx::getU16(r + 148), tessaron::jrx::getU16(r + 150));
        PLUMEX_CUPSLog::debug("JRX Remain: CD=%u, BF=%u, STB=%u", tessaron::jrx::getU16(r + 152), tessaron::jrx::getU16(r + 154),
                              tessaron::jrx::getU16(r + 156));
        PLUMEX_CUPSLog::debug("JRX Spooler space: %llu", static_cast<unsigned long long>(tessaron::jrx::getU64(r + 158)));
    }
    setValueForKey(tessaron::jrx::keys::kAbleReceive, ableReceive);
    return ableReceive;
}

// ---- Errors ----------------------------------------------------------------------------

namespace {

Dictionary errorDictionary(const std::uint8_t* r) {
    Dictionary error;
    error["mainError"] = tessaron::jrx::getU16(r + 8);
    error["subError"] = tessaron::jrx::getU16(r + 10);
    error["level"] = tessaron::jrx::getU16(r + 12);
    const std::string text = stringWithCStringMaxLengthEncoding(r + 14, 512, PLUMEX_TextEncoding::UTF16BE).value_or("");
    error["message"] = stringByDeletingCharactersInSet(text, [](char32_t c) { return c < 0x20 || c > 0x7D; });
    return error;
}

}  // namespace

std::uint64_t VantrelTessaronJob::getErrorStatus() {
    PLUMEX_CUPSLog::debug("getting (any) server error messages");
    const std::uint8_t data[2] = {0, 2};
    auto reply = responseForCommandWithData(tessaron::jrx::JRX_GET_ERRORS, data);
    const std::size_t length = reply ? reply->size() : 0;
    if (length != tessaron::jrx::kErrorRecordSize) {
        PLUMEX_CUPSLog::debug("bad response size for GET_ERRORS %lu != %d", static_cast<unsigned long>(length),
                              static_cast<int>(tessaron::jrx::kErrorRecordSize));
        return 0;
    }
    const std::uint64_t count = tessaron::jrx::getU32(reply->data());
    if (count == 0) return 0;
    PLUMEX_CUPSLog::debug("getting %lu errors ...", static_cast<unsigned long>(count));
    tessaron::printjob::reportInfo(localizedFormat("Getting %d errors ...", static_cast<int>(count)));

    std::uint64_t handled = 0;
    for (;;) {
        ++handled;
        const Dictionary error = errorDictionary(reply->data());
        PLUMEX_CUPSLog::debug("Error %lu: %s", static_cast<unsigned long>(tessaron::jrx::getU32(reply->data() + 4)),
                              describeValue(error).c_str());
        const unsigned mainError = tessaron::jrx::getU16(reply->data() + 8);
        const std::string word = tessaron::localizedString(mainError > 4999 ? "Error" : "Attention");
        tessaron::printjob::reportRecoverable(localizedFormat("Printer reported %s %u", word.c_str(), mainError));
        if (handled >= count) break;
        std::int64_t code = 0;
        reply = getVantrelReply(&code);
        if (!reply || code != 0 || reply->size() != tessaron::jrx::kErrorRecordSize) break;
    }
    if (handled != count)
        PLUMEX_CUPSLog::debug("ERROR! expected %lu errors but received %lu", static_cast<unsigned long>(count),
                              static_cast<unsigned long>(handled));
    PLUMEX_CUPSLog::debug("Received %lu error%s from host %s", static_cast<unsigned long>(handled), handled > 1 ? "s" : "",
                          printerName().value_or("(null)").c_str());
    return handled;
}

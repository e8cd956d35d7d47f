// The lab query of the printer application: one connection's worth of information, status,
// error list and paper catalogue, written to standard output as tab-separated records.
//
//   lab     name=.. api=3.0.0.0 address=.. extended=0|1 duplex=0|1
//   status  state=0..3 state-name=JRX_STATE_IDLE receive=0|1 printing-unit=0|1
//   paper   key=.. source=.. name=.. width=.. surface=.. resolution=.. lmin=.. lmax=.. magazine=.. remain=.. tone=..
//   error   number=.. main=.. sub=.. level=.. message=..
//   end                                   (or "offline" alone when the lab cannot be reached)
//
// Every value is one line-safe word run without tabs; the lists are bounded by the catalogue's
// own limit and kMaxErrors, so the reader's buffer is bounded too.
#include <cstdio>
#include <string>
#include <vector>

#include "JobDrivers.h"
#include "PLUMEX_CUPSMessageLine.h"
#include "PLUMEX_TextUtilities.h"
#include "ProtocolSupport.h"
#include "VantrelTessaronJob.h"

namespace {

constexpr std::size_t kMaxErrors = 64;
constexpr std::size_t kMaxValueBytes = 200;

std::string field(const char* key, std::string value) {
    value = tessaron::printjob::lineSafeText(value);
    for (char& c : value)
        if (c == '\t') c = ' ';
    if (value.size() > kMaxValueBytes) value.resize(kMaxValueBytes);
    return std::string("\t") + key + "=" + value;
}

std::string field(const char* key, long long value) { return field(key, std::to_string(value)); }

void emit(const std::string& record) {
    std::fputs((record + "\n").c_str(), stdout);
}

long long paperNumber(const JRXPaperDictionary& paper, const char* key) {
    const auto it = paper.find(key);
    return it == paper.end() ? 0 : it->second.integer().value_or(0);
}

std::string paperName(const JRXPaperDictionary& paper) {
    const auto it = paper.find("paperName");
    return it != paper.end() && it->second.string() ? *it->second.string() : std::string();
}

void emitStatus(VantrelTessaronJob& job) {
    const auto reply = job.responseForCommandWithData(tessaron::jrx::JRX_GET_STATUS, std::vector<std::uint8_t>(34, 0));
    if (!reply || reply->size() != tessaron::jrx::kStatusSize) return;
    const std::uint8_t* r = reply->data();
    const unsigned state = tessaron::jrx::getU16(r);
    emit("status" + field("state", state) + field("state-name", VantrelTessaronJob::strForJRXState(state)) +
         field("receive", tessaron::jrx::getU16(r + 2) == 0) + field("printing-unit", tessaron::jrx::getU16(r + 4) == 0));
}

std::string errorRecord(const std::vector<std::uint8_t>& r) {
    const std::string message =
        stringWithCStringMaxLengthEncoding(r.data() + 14, 512, PLUMEX_TextEncoding::UTF16BE).value_or("");
    return "error" + field("number", tessaron::jrx::getU32(r.data() + 4)) + field("main", tessaron::jrx::getU16(r.data() + 8)) +
           field("sub", tessaron::jrx::getU16(r.data() + 10)) + field("level", tessaron::jrx::getU16(r.data() + 12)) +
           field("message", message);
}

// The error list as the print job reads it, without its pauses: the lab hands each error
// over once, so the application shows what this query took.
void emitErrors(VantrelTessaronJob& job) {
    const std::uint8_t data[2] = {0, 2};
    auto reply = job.responseForCommandWithData(tessaron::jrx::JRX_GET_ERRORS, data);
    if (!reply || reply->size() != tessaron::jrx::kErrorRecordSize) return;
    const std::size_t count = tessaron::jrx::getU32(reply->data());
    for (std::size_t handled = 0; handled < count && handled < kMaxErrors;) {
        emit(errorRecord(*reply));
        if (++handled >= count) break;
        std::int64_t code = 0;
        reply = job.getVantrelReply(&code);
        if (!reply || code != 0 || reply->size() != tessaron::jrx::kErrorRecordSize) break;
    }
}

void emitPapers(VantrelTessaronJob& job) {
    const auto catalogue = job.getRegisteredPapers();
    if (!catalogue) return;
    for (const auto& [key, value] : *catalogue) {
        const JRXPaperDictionary* paper = value.dictionary();
        if (!paper) continue;
        emit("paper" + field("key", key) + field("source", paperNumber(*paper, "paperSource")) +
             field("name", paperName(*paper)) + field("width", paperNumber(*paper, "paperWidth")) +
             field("surface", paperNumber(*paper, "paperSurface")) +
             field("resolution", paperNumber(*paper, "paperResolution")) + field("lmin", paperNumber(*paper, "paperLMin")) +
             field("lmax", paperNumber(*paper, "paperLMax")) + field("magazine", paperNumber(*paper, "paperMagazine")) +
             field("remain", paperNumber(*paper, "paperRemain")) + field("tone", paperNumber(*paper, "paperTone")));
    }
}

// The synchronous transaction waits for a lab that is away; one bounded connect first keeps
// the query short when it is.
bool labAnswers(const VantrelTessaronJob& job) {
    return job.addressData() && connectToAddressData(*job.addressData());
}

}  // namespace

int labQueryDriver(const char* uri) {
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    auto job = uri ? VantrelTessaronJob::initWithDeviceURI(uri) : nullptr;
    if (!job) {
        tessaron::printjob::writeMessageLine("ERROR", "the device URI names no printer");
        return 1;
    }
    if (!labAnswers(*job) || !job->getInfo()) {
        emit("offline");
        std::fflush(stdout);
        return 0;
    }
    emit("lab" + field("name", job->printerName().value_or("")) + field("api", job->printerAPIVersion()) +
         field("address", job->printerIP4Address().value_or("")) + field("extended", job->extraFeatures()) +
         field("duplex", job->canDuplex()));
    emitStatus(*job);
    emitErrors(*job);
    emitPapers(*job);
    emit("end");
    std::fflush(stdout);
    return 0;
}

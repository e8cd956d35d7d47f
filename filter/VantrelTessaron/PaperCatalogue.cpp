// The registered-paper catalogue: records to paper dictionaries, paper keys, duplicate
// folding, and the saved catalogue in the PPD.
#include <atomic>

#include "LocalizedFormat.h"
#include "PLUMEX_CUPSJobReport.h"
#include "ProtocolSupport.h"
#include "MarkerLevels.h"
#include "VantrelTessaronJob.h"

using tessaron::keyedarchive::Dictionary;
using tessaron::keyedarchive::Value;

namespace {

// Duplicates met while a list is received asynchronously; reset when the list completes.
std::atomic<long> gDuplicateCount{0};

unsigned u(const Dictionary& d, const char* key) {
    auto it = d.find(key);
    return it == d.end() ? 0u : static_cast<unsigned>(it->second.integer().value_or(0));
}

std::string text(const Dictionary& d, const char* key) {
    auto it = d.find(key);
    return it == d.end() || !it->second.string() ? std::string() : *it->second.string();
}

// A list longer than the driver keeps is cut, and the lab's administrator is told so: a paper
// beyond the cut cannot be chosen in the dialog nor found for a job.
void reportPapersBeyondTheLimit(std::uint32_t count) {
    PLUMEX_CUPSLog::logLevelMessage(
        PLUMEX_CUPSLog::kLevelWarning,
        localizedFormat("The printer lists %u papers; only the first %u are kept.", static_cast<unsigned>(count),
                        static_cast<unsigned>(tessaron::jrx::kMaxRegisteredPapers)));
}

// Files one paper record under its key; a paper already there is merged into the entry instead.
// Answers whether it was such a duplicate.
bool addPaperToCatalogue(VantrelTessaronJob& job, JRXPaperCatalogue& catalogue, std::span<const std::uint8_t> record) {
    const JRXPaperDictionary paper = job.paperDictForData(record);
    const std::string key = VantrelTessaronJob::paperKeyForDictionary(paper);
    auto it = catalogue.find(key);
    if (it == catalogue.end()) {
        catalogue.emplace(key, Value(paper));
        return false;
    }
    job.processPaperForExistingDuplicateWithName(paper, *it->second.dictionary(), key);
    return true;
}

}  // namespace

JRXPaperDictionary VantrelTessaronJob::paperDictForData(std::span<const std::uint8_t> record) const {
    Dictionary paper;
    if (record.size() < 24) return paper;
    const std::uint8_t* r = record.data();
    const std::uint32_t number = tessaron::jrx::getU32(r + 4);
    paper["paperNumber"] = number;
    paper["paperWidth"] = tessaron::jrx::getU16(r + 8);
    paper["paperResolution"] = tessaron::jrx::getU16(r + 10);
    paper["paperMagazine"] = tessaron::jrx::getU16(r + 12);
    paper["paperRemain"] = tessaron::jrx::getU32(r + 14);
    paper["paperSurface"] = tessaron::jrx::getU16(r + 18);
    paper["paperLMin"] = tessaron::jrx::getU16(r + 20);
    paper["paperLMax"] = tessaron::jrx::getU16(r + 22);
    const unsigned width = tessaron::jrx::getU16(r + 8), rez = tessaron::jrx::getU16(r + 10), mag = tessaron::jrx::getU16(r + 12);
    const unsigned surf = tessaron::jrx::getU16(r + 18), lmin = tessaron::jrx::getU16(r + 20), lmax = tessaron::jrx::getU16(r + 22);

    if (_extraFeatures && record.size() >= tessaron::jrx::kPaperRecordADSize) {
        const unsigned source = tessaron::jrx::getU16(r + 24), borderless = tessaron::jrx::getU16(r + 58), tone = tessaron::jrx::getU16(r + 68);
        const int trimT = tessaron::jrx::getS16(r + 60), trimB = tessaron::jrx::getS16(r + 62), trimL = tessaron::jrx::getS16(r + 64), trimR = tessaron::jrx::getS16(r + 66);
        paper["paperSource"] = source;
        paper["borderless"] = borderless;
        paper["paperTone"] = tone;
        paper["trimTop"] = trimT;
        paper["trimBottom"] = trimB;
        paper["trimLeft"] = trimL;
        paper["trimRight"] = trimR;
        if (source != 0) {
            // The name goes into the paper key, the saved catalogue and the dialog's menu, and
            // comes back as the job's option: all of them must read it as the same text.
            const std::string name = tessaron::keyedarchive::archiveText(tessaron::jrx::fixedText(r + 26, 32));
            paper["paperName"] = name;
            PLUMEX_CUPSLog::debug(
                "Paper=%lu;name=%s;width=%d;height=%u;surf=%u;rez=%u;mag=%u;borderless=%s;tone=%u;trimT=%d;trimB=%d;trimL=%d;"
                "trimR=%d;",
                static_cast<unsigned long>(number), name.c_str(), static_cast<int>(width), lmin, surf, rez, mag,
                borderless ? "Y" : "N", tone, trimT, trimB, trimL, trimR);
        } else {
            PLUMEX_CUPSLog::debug(
                "Paper %lu;width=%u;surf=%u;rez=%u;tone=%u;LMin=%u;LMax=%u;mag=%u;borderless=%s;trimT=%d;trimB=%d;trimL=%d;"
                "trimR=%d;",
                static_cast<unsigned long>(number), width, surf, rez, tone, lmin, lmax, mag, borderless ? "Y" : "N", trimT,
                trimB, trimL, trimR);
        }
    } else {
        PLUMEX_CUPSLog::debug("Paper %lu;width=%u;surf=%u;rez=%u;mag=%u;LMin=%u;LMax=%u;remain=%lu",
                              static_cast<unsigned long>(number), width, surf, rez, mag, lmin, lmax,
                              static_cast<unsigned long>(tessaron::jrx::getU32(r + 14)));
    }
    return paper;
}

std::string VantrelTessaronJob::paperKeyForDictionary(const JRXPaperDictionary& paper) {
    const std::string name = text(paper, "paperName");
    const unsigned rez = u(paper, "paperResolution") / 10;
    if (!name.empty()) return name + "-r" + std::to_string(rez);
    // Appended piece by piece: g++ 12 at -O3 reports a false -Wrestrict overlap in `"w" + std::string`.
    std::string key = "w";
    key += std::to_string(u(paper, "paperWidth"));
    key += "s";
    key += std::to_string(u(paper, "paperSurface"));
    key += "r";
    key += std::to_string(rez);
    return key;
}

void VantrelTessaronJob::processPaperForExistingDuplicateWithName(const JRXPaperDictionary& paper,
                                                                  JRXPaperDictionary& existing, const std::string& key) {
    if (u(paper, "paperSource") != 0) return;  // the first sheet paper of a key stays as it is
    const unsigned oldMin = u(existing, "paperLMin"), oldMax = u(existing, "paperLMax");
    const unsigned newMin = u(paper, "paperLMin"), newMax = u(paper, "paperLMax");
    const unsigned existingNumber = u(existing, "paperNumber"), number = u(paper, "paperNumber");
    PLUMEX_CUPSLog::debug("paper %d is a duplicate of paper %u (%s) ... \n\t-> checking (LMin, LMax): p%u(%u, %u) p%d(%u, %u)",
                          static_cast<int>(number), existingNumber, key.c_str(), existingNumber, oldMin, oldMax,
                          static_cast<int>(number), newMin, newMax);
    bool changed = false;
    if (oldMax < newMax && newMin <= oldMax + 1) {
        PLUMEX_CUPSLog::debug("\t--> increasing LMax from %u to %u", oldMax, newMax);
        existing["paperLMax"] = newMax;
        changed = true;
    }
    if (oldMin > newMin && oldMin <= newMax + 1) {
        PLUMEX_CUPSLog::debug("\t--> reducing LMin from %u to %u", oldMin, newMin);
        existing["paperLMin"] = newMin;
        changed = true;
    }
    if (!changed)
        PLUMEX_CUPSLog::debug("paper %d is a useless duplicate of paper %u", static_cast<int>(number), existingNumber);
}

// ---- Asynchronous list -----------------------------------------------------------------

const std::optional<JRXPaperCatalogue>& VantrelTessaronJob::registeredPapers() {
    if (!_registeredPapers) _registeredPapers = getRegisteredPapersAsync();
    return _registeredPapers;
}

std::optional<JRXPaperCatalogue> VantrelTessaronJob::getRegisteredPapersAsync() {
    PLUMEX_CUPSLog::debug("getting registered paper asynchronously");
    setValueForKey(tessaron::jrx::keys::kExpectedResponseLength,
                   static_cast<std::int64_t>(_extraFeatures ? tessaron::jrx::kPaperRecordADSize : tessaron::jrx::kPaperRecordSize));
    const std::uint8_t data[2] = {0, 1};
    sendAsyncDataCommand(dataPayloadForCommandWithData(_extraFeatures ? tessaron::jrx::JRX_GET_PAPER_AD : tessaron::jrx::JRX_GET_PAPER, data));
    auto* received = valueForKey<JRXPaperCatalogue>(tessaron::jrx::keys::kMutablePaperDict);
    if (!received) return std::nullopt;
    JRXPaperCatalogue copy = *received;
    removeValueForKey(tessaron::jrx::keys::kMutablePaperDict);
    return copy;
}

std::uint64_t VantrelTessaronJob::processGetPaperResponse(std::span<const std::uint8_t> record) {
    if (record.size() < 24) return 0;
    const std::uint32_t count = tessaron::jrx::getU32(record.data());
    if (count == 0) {
        PLUMEX_CUPSLog::debug("bad response for GetPaper:");
        PLUMEX_CUPSLog::logData(record.data(), record.size());
        return locateTessaronPaperMarkerOffsetInData(record);
    }
    const std::uint32_t number = tessaron::jrx::getU32(record.data() + 4);
    if (!hasValueForKey(tessaron::jrx::keys::kCurrentPaperCount)) setValueForKey(tessaron::jrx::keys::kCurrentPaperCount, std::int64_t{count});
    if (!hasValueForKey(tessaron::jrx::keys::kMutablePaperDict)) setValueForKey(tessaron::jrx::keys::kMutablePaperDict, JRXPaperCatalogue{});
    if (addPaperToCatalogue(*this, *valueForKey<JRXPaperCatalogue>(tessaron::jrx::keys::kMutablePaperDict), record))
        ++gDuplicateCount;
    if (number < count && number >= tessaron::jrx::kMaxRegisteredPapers) {
        reportPapersBeyondTheLimit(count);
        auto* catalogue = valueForKey<JRXPaperCatalogue>(tessaron::jrx::keys::kMutablePaperDict);
        if (catalogue) finishPaperList(*catalogue);
    } else if (number < count && shouldStartRunLoop()) {
        dataWaitingToBeReadOnSocket(-1);  // the next paper of the list, from the same connection
    } else if (number == count) {
        auto* catalogue = valueForKey<JRXPaperCatalogue>(tessaron::jrx::keys::kMutablePaperDict);
        if (catalogue) finishPaperList(*catalogue);
    }
    return 0;
}

void VantrelTessaronJob::finishPaperList(const JRXPaperCatalogue& catalogue) {
    PLUMEX_CUPSLog::debug("Received %lu papers (%lu duplicates)", static_cast<unsigned long>(catalogue.size()),
                          static_cast<unsigned long>(gDuplicateCount.load()));
    gDuplicateCount = 0;
    removeValueForKey(tessaron::jrx::keys::kCurrentPaperCount);
    PLUMEX_CUPSLog::debug("posting tessaronPaperDidUpdate notification");
    cleanupAfterAsync();
    if (auto archive = tessaron::keyedarchive::encode(Value(catalogue)))
        PLUMEX_CUPSPrintJob::ppdSaveDataForAttribute(*archive, "JRXPapersKnown");
    else
        PLUMEX_CUPSLog::debug("could not archive the paper catalogue");
    postJRXNotification(kJRXPrinterPaperDidUpdateNotification);
    tessaron::writeMarkerLines(catalogue);  // paper remaining for the queue's supply levels
}

std::uint64_t VantrelTessaronJob::locateTessaronPaperMarkerOffsetInData(std::span<const std::uint8_t> record) {
    const auto* stored = valueForKey<std::int64_t>(tessaron::jrx::keys::kCurrentPaperCount);
    const std::uint64_t expected = stored ? static_cast<std::uint64_t>(*stored) : 0;
    PLUMEX_CUPSLog::debug("searching for missing papercount of %lu", static_cast<unsigned long>(expected));
    if (expected == 0 || record.size() < 4) return 0;
    for (std::size_t i = 0; i < record.size() - 3; ++i) {
        if (tessaron::jrx::getU32(record.data() + i) == expected) {
            PLUMEX_CUPSLog::debug("found a potential paper response at offset %lu", static_cast<unsigned long>(i));
            return i;
        }
        if (record[i] != 0) return 0;
    }
    return record.size() - 3;
}

// ---- Synchronous list ------------------------------------------------------------------

std::optional<JRXPaperCatalogue> VantrelTessaronJob::getRegisteredPapers() {
    PLUMEX_CUPSLog::debug("getting registered paper");
    const std::size_t expected = _extraFeatures ? tessaron::jrx::kPaperRecordADSize : tessaron::jrx::kPaperRecordSize;
    const std::uint8_t data[2] = {0, 1};
    auto reply = responseForCommandWithData(_extraFeatures ? tessaron::jrx::JRX_GET_PAPER_AD : tessaron::jrx::JRX_GET_PAPER, data);
    if (!reply || reply->size() != expected) {
        PLUMEX_CUPSLog::debug("Unexpected size response for GET_PAPER %lu ", static_cast<unsigned long>(reply ? reply->size() : 0));
        if (reply) PLUMEX_CUPSLog::logData(*reply);
        return std::nullopt;
    }
    const std::uint32_t count = tessaron::jrx::getU32(reply->data());
    tessaron::printjob::reportInfo(localizedFormat("Getting %d registered papers ...", static_cast<int>(count)));

    JRXPaperCatalogue catalogue;
    long duplicates = 0;
    std::uint32_t c = 0;
    for (;;) {
        ++c;
        if (addPaperToCatalogue(*this, catalogue, *reply)) ++duplicates;
        if (c >= count) break;
        if (c >= tessaron::jrx::kMaxRegisteredPapers) {
            reportPapersBeyondTheLimit(count);
            break;
        }
        std::int64_t code = 0;
        reply = getVantrelReply(&code);
        if (!reply || code != 0 || reply->size() != expected) break;
    }
    if (c != count && c < tessaron::jrx::kMaxRegisteredPapers)
        PLUMEX_CUPSLog::debug("ERROR! expected %lu registered papers but received %lu", static_cast<unsigned long>(count),
                              static_cast<unsigned long>(c));
    std::string dupText;
    if (duplicates) {
        dupText = "(";
        dupText += std::to_string(duplicates);
        dupText += " duplicates) ";
    }
    PLUMEX_CUPSLog::debug("Received %lu unique registered papers %sfrom %s", static_cast<unsigned long>(catalogue.size()),
                          dupText.c_str(), printerID().c_str());
    return catalogue;
}

std::optional<JRXPaperCatalogue> VantrelTessaronJob::papersForDeviceURIOnlyInstalled(const std::optional<std::string>& uri,
                                                                                    bool) {
    const auto target = uri ? uri : PLUMEX_CUPSPrintJob::deviceURI();
    if (!target) return std::nullopt;
    auto job = initWithDeviceURI(*target);
    if (!job) return std::nullopt;
    job->setShouldStartRunLoop(true);
    job->getInfoAsync();
    return job->registeredPapers();
}

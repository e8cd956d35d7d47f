// "PPD:" update lines, and binary data kept in the queue's PPD as numbered Base64 chunks.
#include "PLUMEX_CUPSPrintJob.h"

#include <algorithm>

#include "PLUMEX_CUPSMessageLine.h"
#include "PLUMEX_CUPSPrintJobInternal.h"

using tessaron::printjob::format;

namespace {

// A chunk's key=value text is at most this long, prefix included.
constexpr size_t kChunkLineLength = 252;
// Saved data comes from the network; far above any catalogue, far below trouble.
constexpr size_t kMaxSavedDataBytes = size_t{16} << 20;
constexpr size_t kMaxPairLength = 255;

void sendUpdate(const std::string& text, const std::string& objectDescription) {
    if (text.size() < 3) {
        PLUMEX_CUPSPrintJob::debug("bad \"PPD:key=value\" update object:%s", objectDescription.c_str());
        return;
    }
    PLUMEX_CUPSLog::logLevelMessage(PLUMEX_CUPSLog::kLevelPPD, text);
}

template <typename Range, typename Describe>
std::string describeList(const Range& range, Describe describe, const char* open, const char* close) {
    std::string text = open;
    bool first = true;
    for (const auto& element : range) {
        if (!first) text += ", ";
        first = false;
        text += describe(element);
    }
    return text + close;
}

std::string chunkPrefix(const std::string& name, size_t index) { return name + format("%05zx=", index); }

bool isBase64Character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// Standard Base64; '=' only at the very end, no more than the last group needs.
bool isBase64(const std::string& text) {
    size_t end = text.size();
    size_t padding = 0;
    while (end > 0 && text[end - 1] == '=' && padding < 2) {
        --end;
        ++padding;
    }
    for (size_t i = 0; i < end; ++i)
        if (!isBase64Character(text[i])) return false;
    if (end % 4 == 1) return false;
    // Earlier writers stored the last group with its padding missing wholly or in part ("QQ=").
    return padding <= (4 - end % 4) % 4;
}

}  // namespace

void PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(const std::vector<std::string>& keyValuePairs) {
    std::string text;
    for (const std::string& pair : keyValuePairs) {
        if (tessaron::printjob::codePointCount(pair) <= kMaxPairLength)
            text += " " + pair;
        else
            debug("bad \"PPD:key=value\" pair: keyValue=%s", pair.c_str());
    }
    sendUpdate(text, describeList(keyValuePairs, [](const std::string& s) { return s; }, "(", ")"));
}

void PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(const std::vector<std::pair<std::string, std::string>>& dictionary) {
    // Values come from the minilab: quoted and escaped, they cannot add a keyword of their own.
    std::vector<std::string> refused;
    const std::string text = tessaron::printjob::ppdUpdateText(dictionary, &refused);
    for (const std::string& key : refused) {
        auto entry = std::find_if(dictionary.begin(), dictionary.end(), [&key](const auto& e) { return e.first == key; });
        debug("bad \"PPD:key=value\" pair: key=%s,value=%s", key.c_str(), entry->second.c_str());
    }
    sendUpdate(text, describeList(
                         dictionary, [](const auto& entry) { return entry.first + " = " + entry.second; }, "{", "}"));
}

void PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(const std::map<std::string, std::string>& dictionary) {
    ppdUpdatePrinterState(std::vector<std::pair<std::string, std::string>>(dictionary.begin(), dictionary.end()));
}

void PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(const std::string& text) { sendUpdate(text, text); }

void PLUMEX_CUPSPrintJob::ppdUpdateWithString(const std::string& text) const { logLevelMessage(kLevelPPD, text); }

void PLUMEX_CUPSPrintJob::ppdSaveDataForAttribute(const std::vector<uint8_t>& data, const std::string& name) {
    if (data.empty() || name.empty()) return;
    if (data.size() > kMaxSavedDataBytes) {
        debug("not saving %zu bytes for %s: more than %zu", data.size(), name.c_str(), kMaxSavedDataBytes);
        return;
    }
    // Chunk indices stay within five hex digits for any name that leaves room for data.
    if (chunkPrefix(name, 0).size() >= kChunkLineLength) {
        debug("not saving data for %s: the attribute name leaves no room for data", name.c_str());
        return;
    }
    const size_t encodedLength = 4 * ((data.size() + 2) / 3);
    std::string encoded(encodedLength + 1, '\0');
    httpEncode64_2(encoded.data(), static_cast<int>(encoded.size()), reinterpret_cast<const char*>(data.data()),
                   static_cast<int>(data.size()));
    encoded.resize(encodedLength);
    debug("encoded data actual length: %lu", static_cast<unsigned long>(encoded.size()));

    size_t index = 0;
    for (size_t offset = 0; offset < encoded.size(); ++index) {
        std::string prefix = chunkPrefix(name, index);
        size_t take = std::min(kChunkLineLength - prefix.size(), encoded.size() - offset);
        logLevelMessage(kLevelPPD, prefix + encoded.substr(offset, take));
        offset += take;
    }
    logLevelMessage(kLevelPPD, chunkPrefix(name, index) + "\"\"");
}

std::optional<std::vector<uint8_t>> PLUMEX_CUPSPrintJob::ppdSavedDataForAttributeForPPD(const std::string& name,
                                                                                       ppd_file_t* ppd) {
    if (!ppd || name.empty()) return std::nullopt;
    std::string collected;
    for (size_t index = 0; index <= 0xFFFFF; ++index) {
        std::optional<std::string> chunk = cupsValueForAttributeForPPD(name + format("%05zx", index), ppd);
        if (!chunk || chunk->empty()) break;  // the empty terminator ends the text
        collected += *chunk;
        if (collected.size() > 2 * kMaxSavedDataBytes) return std::nullopt;
    }
    if (collected.empty() || !isBase64(collected)) return std::nullopt;
    std::vector<uint8_t> decoded(collected.size() + 1);
    int length = static_cast<int>(decoded.size());
    httpDecode64_2(reinterpret_cast<char*>(decoded.data()), &length, collected.c_str());
    if (length <= 0) return std::nullopt;
    decoded.resize(static_cast<size_t>(length));
    return decoded;
}

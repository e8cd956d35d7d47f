#include "PaperMatching.h"

#include <vector>

#include "PLUMEX_CUPSLog.h"
#include "PaperLength.h"

namespace tessaron {

std::optional<PaperEntry> exactPaper(const PaperCatalogueEntries& papers, const std::string& key) {
    const auto it = papers.find(key);
    if (it == papers.end() || !it->second.dictionary()) return std::nullopt;
    return *it->second.dictionary();
}

std::optional<PaperEntry> matchRollPaper(const PaperCatalogueEntries& papers, const std::string& key) {
    if (auto hit = exactPaper(papers, key)) return hit;
    const std::optional<std::string> prefix = paperKeyPrefix(key);
    if (!prefix) return std::nullopt;
    std::vector<std::string> keys;
    keys.reserve(papers.size());
    for (const auto& [k, v] : papers) keys.push_back(k);
    const std::vector<std::string> sorted = sortedPaperKeys(keys);
    std::optional<PaperEntry> match;
    // Walk from the largest key down: the last hit, the smallest matching key, wins.
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        if (it->compare(0, prefix->size(), *prefix) != 0) continue;
        PLUMEX_CUPSLog::debug("found a partial match with paper %s", it->c_str());
        if (auto entry = exactPaper(papers, *it)) match = entry;
    }
    return match;
}

uint16_t paperU16(const PaperEntry& paper, const std::string& name) {
    const auto it = paper.find(name);
    if (it == paper.end()) return 0;
    const std::optional<int64_t> value = it->second.integer();
    if (!value || *value < 0 || *value > 0xFFFF) return 0;
    return static_cast<uint16_t>(*value);
}

std::string describeKeys(const PaperCatalogueEntries& papers) {
    std::string text = "(";
    for (const auto& [k, v] : papers) text += (text.size() > 1 ? ", " : "") + k;
    return text + ")";
}

}  // namespace tessaron

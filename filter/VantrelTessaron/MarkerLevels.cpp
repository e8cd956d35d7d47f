#include "MarkerLevels.h"

#include <algorithm>
#include <map>

#include "PLUMEX_CUPSMessageLine.h"

namespace tessaron {
namespace {

std::int64_t number(const keyedarchive::Dictionary& paper, const char* key) {
    const auto it = paper.find(key);
    return it == paper.end() ? 0 : it->second.integer().value_or(0);
}

// Commas separate the values of a marker attribute and quotes delimit them: neither may
// appear inside a name.
std::string markerSafe(std::string text) {
    std::replace_if(text.begin(), text.end(), [](char c) { return c == ',' || c == '"' || c == '\'' || c == '\\'; }, ' ');
    return text;
}

std::string paperLabel(const keyedarchive::Dictionary& paper) {
    const auto name = paper.find("paperName");
    if (number(paper, "paperSource") != 0 && name != paper.end() && name->second.string() && !name->second.string()->empty())
        return *name->second.string();
    return std::to_string(number(paper, "paperWidth") / 10) + " mm surface " + std::to_string(number(paper, "paperSurface"));
}

std::string joined(const std::vector<MagazineSupply>& supplies, std::string (*field)(const MagazineSupply&)) {
    std::string text;
    // Appended piece by piece: g++ 12 at -O3 reports a false -Wrestrict for "," + piece.
    for (const MagazineSupply& supply : supplies) {
        if (!text.empty()) text += ',';
        text += field(supply);
    }
    return text;
}

}  // namespace

std::vector<MagazineSupply> magazineSupplies(const keyedarchive::Dictionary& catalogue) {
    std::map<std::uint32_t, MagazineSupply> byMagazine;
    for (const auto& [key, value] : catalogue) {
        const keyedarchive::Dictionary* paper = value.dictionary();
        if (!paper) continue;
        const auto magazine = static_cast<std::uint32_t>(number(*paper, "paperMagazine"));
        auto [it, added] = byMagazine.try_emplace(magazine);
        MagazineSupply& supply = it->second;
        if (added) {
            supply.magazine = magazine;
            supply.name = markerSafe(paperLabel(*paper)) + " (magazine " + std::to_string(magazine) + ")";
        }
        supply.remain = std::max(supply.remain, number(*paper, "paperRemain"));
    }
    std::vector<MagazineSupply> supplies;
    for (auto& [magazine, supply] : byMagazine) supplies.push_back(std::move(supply));
    return supplies;
}

std::vector<std::pair<std::string, std::string>> markerAttributes(const std::vector<MagazineSupply>& supplies) {
    if (supplies.empty()) return {};
    return {
        {"marker-colors", joined(supplies, [](const MagazineSupply&) { return std::string("none"); })},
        {"marker-names", joined(supplies, [](const MagazineSupply& s) {
             return "\"" + s.name + ": " + std::to_string(s.remain) + " left\"";
         })},
        {"marker-types", joined(supplies, [](const MagazineSupply&) { return std::string("other"); })},
        {"marker-levels", joined(supplies, [](const MagazineSupply& s) { return std::string(s.remain > 0 ? "-3" : "0"); })},
        {"marker-low-levels", joined(supplies, [](const MagazineSupply&) { return std::string("1"); })},
        {"marker-high-levels", joined(supplies, [](const MagazineSupply&) { return std::string("100"); })},
    };
}

void writeMarkerLines(const keyedarchive::Dictionary& catalogue) {
    const auto attributes = markerAttributes(magazineSupplies(catalogue));
    if (attributes.empty()) return;
    const std::string text = printjob::ppdUpdateText(attributes);
    printjob::writeMessageLine("ATTR", text.substr(text.find_first_not_of(' ')));
}

}  // namespace tessaron

#include "Capabilities.h"

#include <cups/cups.h>

#include <algorithm>
#include <set>
#include <string_view>

#include "PaperLength.h"

namespace tessaron::printerapp {
namespace {

constexpr const char* kSurfaceTypePrefix = "jrx-surface-";
// Print lengths tried along a roll, as multiples of its width, the usual photo first: 6x4,
// 7x5, 5x4, square, 2:1.
constexpr double kPhotoProportions[] = {1.5, 1.4, 1.25, 1.0, 2.0};
constexpr int kLowPercent = 10;

MediaSize namedSize(int width, int length) {
    MediaSize size{"", width, length};
    // libcups answers every size; the ones it makes up are named "custom_...".
    pwg_media_t* standard = pwgMediaForSize(width, length);
    if (standard && standard->pwg && std::string_view(standard->pwg).substr(0, 7) != "custom_") {
        size.name = standard->pwg;
    } else {
        // "custom_<name>_<dimensions>": the name part allows letters, digits and '-' only.
        char name[128];
        pwgFormatSizeName(name, sizeof name, "custom", nullptr, width, length, nullptr);
        const std::string generated = name;
        size.name = "custom_jrx-" + std::to_string(width / 10) + "x" + std::to_string(length / 10) +
                    generated.substr(generated.rfind('_'));
    }
    return size;
}

template <typename T>
void addOnce(std::vector<T>& list, const T& item, std::size_t limit) {
    if (list.size() < limit && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

std::string sourceFor(const LabPaper& paper) {
    const unsigned limit = paper.sheet ? 20 : 10;  // the media-source keywords that exist
    if (paper.magazine >= 1 && paper.magazine <= limit)
        return (paper.sheet ? "tray-" : "roll-") + std::to_string(paper.magazine);
    return paper.sheet ? "main" : "main-roll";
}

std::string paperLabel(const LabPaper& paper) {
    if (paper.sheet && !paper.name.empty()) return paper.name;
    std::string label = std::to_string(paper.width / 10);
    if (paper.width % 10) label += "." + std::to_string(paper.width % 10);
    return label + " mm surface " + std::to_string(paper.surface);
}

void addSupplies(const LabReport& report, HighWaterMarks& marks, Capabilities& caps) {
    std::map<unsigned, const LabPaper*> firstOfMagazine;
    std::map<unsigned, long long> remaining;
    for (const LabPaper& paper : report.papers) {
        firstOfMagazine.try_emplace(paper.magazine, &paper);
        remaining[paper.magazine] = std::max(remaining[paper.magazine], paper.remain);
    }
    bool anyPaper = false, low = false;
    for (const auto& [magazine, remain] : remaining) {
        long long& mark = marks[magazine];
        mark = std::max(mark, remain);
        const int level = mark > 0 ? static_cast<int>(std::clamp(remain * 100 / mark, 0LL, 100LL)) : 0;
        anyPaper = anyPaper || remain > 0;
        low = low || level < kLowPercent;
        if (caps.supplies.size() < 32)
            caps.supplies.push_back(Supply{static_cast<int>(magazine),
                                           paperLabel(*firstOfMagazine[magazine]) + " (magazine " +
                                               std::to_string(magazine) + "): " + std::to_string(remain) + " left",
                                           level});
    }
    if (!remaining.empty() && !anyPaper) caps.reasons.push_back("media-empty");
    else if (low) caps.reasons.push_back("media-low");
}

std::string errorText(const LabError& error) {
    return (error.main > 4999 ? "Error " : "Attention ") + std::to_string(error.main) + "/" + std::to_string(error.sub) +
           (error.message.empty() ? "" : ": " + error.message);
}

void addState(const LabReport& report, Capabilities& caps) {
    if (!report.reached) {
        caps.reasons.push_back("offline");
        caps.message = "The minilab does not answer.";
        caps.alerts.push_back(Alert{"critical", caps.message});
        return;
    }
    if (!report.errors.empty()) {
        caps.reasons.push_back("other");
        caps.message = errorText(report.errors.back());
        const std::size_t first = report.errors.size() > kMaxAlerts ? report.errors.size() - kMaxAlerts : 0;
        for (std::size_t i = first; i < report.errors.size(); ++i) caps.alerts.push_back(alertFor(report.errors[i]));
    } else if (report.state >= 0 && !report.ableReceive) {
        caps.message = "The minilab is busy (" + report.stateName + ").";
    } else {
        caps.message = "Ready: " + report.name;
    }
}

}  // namespace

Alert alertFor(const LabError& error) { return Alert{error.main > 4999 ? "critical" : "warning", errorText(error)}; }

std::string mediaTypeForSurface(unsigned surface) { return kSurfaceTypePrefix + std::to_string(surface); }

int surfaceForMediaType(const std::string& type) {
    const std::string prefix = kSurfaceTypePrefix;
    if (type.compare(0, prefix.size(), prefix) != 0 || type.size() == prefix.size() || type.size() > prefix.size() + 5)
        return -1;
    const std::string digits = type.substr(prefix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(digits);
}

std::vector<MediaSize> rollSizes(const LabPaper& paper) {
    const unsigned width = tessaron::exactPaperWidth(static_cast<std::uint16_t>(std::min(paper.width, 0xFFFFu)));
    if (width == 0 || paper.lmax < paper.lmin) return {};
    std::vector<MediaSize> sizes;
    for (double proportion : kPhotoProportions) {
        const auto length = static_cast<unsigned>(width * proportion + 0.5);
        if (length >= paper.lmin && length <= paper.lmax) addOnce(sizes, namedSize(int(width) * 10, int(length) * 10), 8);
    }
    if (sizes.empty() && paper.lmin > 0) sizes.push_back(namedSize(int(width) * 10, int(paper.lmin) * 10));
    return sizes;
}

MediaSize sheetSize(const LabPaper& paper) { return namedSize(int(paper.width) * 10, int(paper.lmin) * 10); }

Capabilities capabilitiesFor(const LabReport& report, HighWaterMarks& marks) {
    Capabilities caps;
    caps.duplex = report.duplex;
    std::set<int> resolutions;
    std::set<std::string> sources;
    std::vector<const LabPaper*> byMagazine;
    for (const LabPaper& paper : report.papers) byMagazine.push_back(&paper);
    std::stable_sort(byMagazine.begin(), byMagazine.end(),
                     [](const LabPaper* a, const LabPaper* b) { return a->magazine < b->magazine; });
    for (const LabPaper* entry : byMagazine) {
        const LabPaper& paper = *entry;
        const std::vector<MediaSize> sizes = paper.sheet ? std::vector<MediaSize>{sheetSize(paper)} : rollSizes(paper);
        if (sizes.empty() || sizes.front().width == 0 || sizes.front().length == 0) continue;
        for (const MediaSize& size : sizes) addOnce(caps.sizes, size, kMaxSizes);
        const std::string type = mediaTypeForSurface(paper.surface);
        addOnce(caps.types, type, kMaxTypes);
        if (paper.dpi() > 0 && resolutions.size() < kMaxResolutions) resolutions.insert(int(paper.dpi()));
        const std::string source = sourceFor(paper);
        if (sources.size() < kMaxSources && sources.insert(source).second)
            caps.ready.push_back(ReadyMedia{source, sizes.front(), type});
    }
    caps.resolutions.assign(resolutions.begin(), resolutions.end());
    addSupplies(report, marks, caps);
    addState(report, caps);
    return caps;
}

}  // namespace tessaron::printerapp

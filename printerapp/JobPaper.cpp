#include "JobPaper.h"

#include <cstdlib>

#include "Capabilities.h"
#include "PaperLength.h"

namespace tessaron::printerapp {
namespace {

bool near(int a, int b) { return std::abs(a - b) <= kSizeTolerance; }

bool surfaceFits(const LabPaper& paper, const JobMedia& media) {
    const int surface = surfaceForMediaType(media.type);
    return surface < 0 || static_cast<unsigned>(surface) == paper.surface;
}

bool sheetFits(const LabPaper& paper, const JobMedia& media) {
    const MediaSize size = sheetSize(paper);
    return (near(size.width, media.width) && near(size.length, media.length)) ||
           (near(size.width, media.length) && near(size.length, media.width));
}

// The roll prints the media when one side is its printed width and the other lies within
// its length range.
bool rollFits(const LabPaper& paper, const JobMedia& media) {
    const int across = int(tessaron::exactPaperWidth(static_cast<std::uint16_t>(std::min(paper.width, 0xFFFFu)))) * 10;
    if (across == 0) return false;
    const auto lengthFits = [&](int length) { return length >= int(paper.lmin) * 10 - kSizeTolerance && length <= int(paper.lmax) * 10 + kSizeTolerance; };
    return (near(across, media.width) && lengthFits(media.length)) || (near(across, media.length) && lengthFits(media.width));
}

std::string quoted(const std::string& value) {
    std::string text = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') text += '\\';
        text += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    return text + "\"";
}

}  // namespace

std::optional<PaperChoice> paperForMedia(const LabReport& report, const JobMedia& media) {
    // The backend matches the resolution exactly for sheets and prefers it for rolls.
    const LabPaper* roll = nullptr;
    for (const LabPaper& paper : report.papers) {
        if (!surfaceFits(paper, media)) continue;
        if (paper.sheet && report.extended && !paper.name.empty() && sheetFits(paper, media) && int(paper.dpi()) == media.dpi)
            return PaperChoice{true, paper.name, paper.width, paper.surface};
        if (!paper.sheet && rollFits(paper, media) && (!roll || (int(paper.dpi()) == media.dpi && int(roll->dpi()) != media.dpi)))
            roll = &paper;
    }
    if (!roll) return std::nullopt;
    return PaperChoice{false, "", roll->width, roll->surface};
}

std::string backendOptions(const PaperChoice& paper, const std::vector<std::pair<std::string, std::string>>& vendor) {
    std::vector<std::pair<std::string, std::string>> options = {{"PaperFeed", paper.sheet ? "Sheet" : "Roll"}};
    if (paper.sheet) options.emplace_back("PaperName", paper.name);
    options.emplace_back("PaperWidth", std::to_string(paper.width));
    options.emplace_back("PaperSurface", std::to_string(paper.surface));
    options.emplace_back("DebugLog", "False");
    options.emplace_back("BindingMargin", "None");
    options.insert(options.end(), vendor.begin(), vendor.end());
    std::string text;
    for (const auto& [name, value] : options) text += (text.empty() ? "" : " ") + name + "=" + quoted(value);
    return text;
}

}  // namespace tessaron::printerapp

// The lab's report as printer capabilities: media sizes from the roll widths (within their
// length ranges) and the sheet papers, surfaces as media types, resolutions, two-sided
// printing, paper remaining per magazine, and the state the lab is in.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "LabReport.h"

namespace tessaron::printerapp {

struct MediaSize {
    std::string name;  // PWG self-describing name
    int width = 0;     // hundredths of a millimetre
    int length = 0;
    bool operator==(const MediaSize&) const = default;
};

struct ReadyMedia {
    std::string source;  // "roll-<magazine>" or "tray-<magazine>"
    MediaSize size;
    std::string type;
};

struct Supply {
    int magazine = 0;
    std::string description;
    int level = -1;  // percent of the most this magazine has held since the server started
};

// One thing a person at the lab should see to: printer-alert's severity and its text.
struct Alert {
    std::string severity;  // "critical" or "warning"
    std::string description;
    bool operator==(const Alert&) const = default;
};

struct Capabilities {
    std::vector<MediaSize> sizes;
    std::vector<std::string> types;
    std::vector<ReadyMedia> ready;  // one per magazine
    std::vector<int> resolutions;   // dots per inch, ascending
    bool duplex = false;
    std::vector<Supply> supplies;
    std::vector<std::string> reasons;  // printer-state-reasons keywords, none when all is well
    std::string message;               // the state in words
    std::vector<Alert> alerts;         // the lab not answering, or the errors it handed over
};

// Remaining quantity per magazine: the most seen, the base of the supply levels.
using HighWaterMarks = std::map<unsigned, long long>;

inline constexpr std::size_t kMaxSizes = 200;
inline constexpr std::size_t kMaxSources = 16;
inline constexpr std::size_t kMaxTypes = 32;
inline constexpr std::size_t kMaxResolutions = 4;
inline constexpr std::size_t kMaxAlerts = 10;

// The media-type keyword of a surface, and back (-1 for a type of no surface).
std::string mediaTypeForSurface(unsigned surface);
int surfaceForMediaType(const std::string& type);

// The sizes a roll paper prints: its exact width across, photo proportions along the roll
// where they fit its length range, else its shortest length.
std::vector<MediaSize> rollSizes(const LabPaper& paper);
MediaSize sheetSize(const LabPaper& paper);

// The alert of one error the lab handed over.
Alert alertFor(const LabError& error);

// Updates `marks` with the report's remaining quantities, then maps the report.
Capabilities capabilitiesFor(const LabReport& report, HighWaterMarks& marks);

}  // namespace tessaron::printerapp

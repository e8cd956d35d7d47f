// Which of the lab's papers prints a job's media, and the backend's option text for it: a
// sheet paper of that size, else a roll whose printed width is one side of the media and
// whose length range holds the other, on the surface the media type asks for.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "LabReport.h"

namespace tessaron::printerapp {

struct JobMedia {
    int width = 0;   // hundredths of a millimetre
    int length = 0;
    std::string type;  // media-type keyword, may be empty
    int dpi = 0;
};

struct PaperChoice {
    bool sheet = false;
    std::string name;          // sheet papers
    unsigned width = 0;        // nominal, 0.1 mm
    unsigned surface = 0;
};

// Sides may differ from the paper by this much (hundredths of a millimetre): PWG sizes and
// the catalogue round differently.
inline constexpr int kSizeTolerance = 100;

std::optional<PaperChoice> paperForMedia(const LabReport& report, const JobMedia& media);

// The options a job passes to the backend: the paper, then the panels' values, with the
// debug log off. One "name=value" word each, values quoted as the scheduler quotes them.
std::string backendOptions(const PaperChoice& paper, const std::vector<std::pair<std::string, std::string>>& vendor);

}  // namespace tessaron::printerapp

// Paper remaining per magazine, as the scheduler's marker attributes ("ATTR:" lines), so that
// printer panels and lpoptions show what is left in the lab.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "KeyedArchive.h"

namespace tessaron {

struct MagazineSupply {
    std::uint32_t magazine = 0;
    std::string name;          // e.g. "102 mm surface 1 (magazine 2)"; never holds a comma or quote
    std::int64_t remain = 0;   // the largest remaining quantity any paper of the magazine reports
};

// One entry per magazine, in magazine order, from a paper catalogue.
std::vector<MagazineSupply> magazineSupplies(const keyedarchive::Dictionary& catalogue);

// marker-names, marker-types, marker-colors, marker-levels, marker-low-levels and
// marker-high-levels for the supplies. The remaining quantity has no known capacity, so a
// magazine with paper reads -3 ("some remains") and an empty one 0; the count itself is in
// the name. Nothing for an empty list.
std::vector<std::pair<std::string, std::string>> markerAttributes(const std::vector<MagazineSupply>& supplies);

// Writes the marker attributes as one "ATTR:" line to standard error.
void writeMarkerLines(const keyedarchive::Dictionary& catalogue);

}  // namespace tessaron

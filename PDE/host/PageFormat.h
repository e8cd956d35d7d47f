// The page format the panels read: orientation from "orientation-requested", the paper
// rectangle from the marked page size of the PPD, turned with the orientation.
#pragma once

#include "PDEInterfaces.h"

#include <cups/ppd.h>

#include <optional>
#include <string>

namespace tessaron::print {

// The IPP value (3 portrait, 4 landscape, 5 reverse landscape, 6 reverse portrait).
std::optional<pde::PageOrientation> orientationFromIPP(const std::optional<std::string>& value);
std::string ippValueForOrientation(pde::PageOrientation orientation);
bool isLandscape(pde::PageOrientation orientation);

// A PPD paper size in points as the page is seen in the given orientation: the paper and the
// margins of its imageable area on each side of the page.
struct OrientedPaper {
    double width = 0, height = 0;
    double left = 0, top = 0, right = 0, bottom = 0;
};
OrientedPaper orientedPaper(const ppd_size_t& size, pde::PageOrientation orientation);

// The paper of `pageSize` (the marked size when empty) in points, relative to the origin of
// its imageable area, as the page is seen in the given orientation; none when the PPD has
// no such size.
std::optional<pde::PaperRect> unadjustedPaperRect(ppd_file_t* ppd, const std::string& pageSize,
                                                  pde::PageOrientation orientation);

}  // namespace tessaron::print

#include "PageFormat.h"

#include <charconv>

namespace tessaron::print {

std::optional<pde::PageOrientation> orientationFromIPP(const std::optional<std::string>& value) {
    if (!value) return pde::PageOrientation::Portrait;
    int number = 0;
    const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), number);
    if (ec != std::errc() || end != value->data() + value->size()) return std::nullopt;
    switch (number) {
    case 3: return pde::PageOrientation::Portrait;
    case 4: return pde::PageOrientation::Landscape;
    case 5: return pde::PageOrientation::ReverseLandscape;
    case 6: return pde::PageOrientation::ReversePortrait;
    default: return std::nullopt;
    }
}

std::string ippValueForOrientation(pde::PageOrientation orientation) {
    switch (orientation) {
    case pde::PageOrientation::Portrait: return "3";
    case pde::PageOrientation::Landscape: return "4";
    case pde::PageOrientation::ReverseLandscape: return "5";
    case pde::PageOrientation::ReversePortrait: return "6";
    }
    return "3";
}

bool isLandscape(pde::PageOrientation orientation) {
    return orientation == pde::PageOrientation::Landscape || orientation == pde::PageOrientation::ReverseLandscape;
}

OrientedPaper orientedPaper(const ppd_size_t& size, pde::PageOrientation orientation) {
    // PPD margins: left and bottom from the lower left corner, right and top as coordinates.
    OrientedPaper paper{size.width, size.length, size.left, size.length - size.top, size.width - size.right, size.bottom};
    if (isLandscape(orientation)) {
        // Turned a quarter anticlockwise: the paper's right edge becomes the page's top.
        paper = {paper.height, paper.width, paper.bottom, paper.right, paper.top, paper.left};
    }
    return paper;
}

std::optional<pde::PaperRect> unadjustedPaperRect(ppd_file_t* ppd, const std::string& pageSize,
                                                  pde::PageOrientation orientation) {
    if (!ppd) return std::nullopt;
    ppd_size_t* size = ppdPageSize(ppd, pageSize.empty() ? nullptr : pageSize.c_str());
    if (!size || size->width <= 0 || size->length <= 0) return std::nullopt;
    const OrientedPaper paper = orientedPaper(*size, orientation);
    pde::PaperRect rect;
    rect.left = -paper.left;
    rect.top = -paper.top;
    rect.right = paper.width - paper.left;
    rect.bottom = paper.height - paper.top;
    return rect;
}

}  // namespace tessaron::print

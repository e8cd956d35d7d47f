// Documents and printer descriptions for the host's tests.
#pragma once

#include <string>
#include <vector>

namespace tessaron::pdetest {

// A small PPD: PageSize Small/Large with their sizes, InputSlot Roll/Tray, PaperTone
// Glossy/Matte/Luster, and the constraint "Large paper is not fed from the roll".
std::string constrainedPPD();

// A PDF with `pages` page objects, a page tree node, and, when asked, an incremental update
// that writes the first page again.
std::string pdfDocument(int pages, bool incrementalUpdate = false);
// A CUPS raster stream of `pages` small RGB pages; `cutLastPage` drops the last page's
// final line.
std::string rasterDocument(int pages, bool cutLastPage = false);
// An image in the given Qt format ("PNG", "JPEG").
std::string imageDocument(const char* format);

}  // namespace tessaron::pdetest

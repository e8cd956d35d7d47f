// A print job of one file: the dialog's settings as job options, plus the document's page
// count in the two options the driver reads it from.
#pragma once

#include "PrintSettings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tessaron::print {

// The job options for a document of `pageCount` pages (none: leave the count to the driver).
// Settings that print another number of sides than the document has pages (a page range,
// several pages per side, odd or even pages only) leave the count to the driver as well.
bool changesPrintedPageCount(const PrintSettings& settings);
void assembleJobOptions(const PrintSettings& settings, std::optional<uint32_t> pageCount, CupsOptions& into);

struct SubmittedJob {
    int id = 0;
    std::optional<uint32_t> pages;
};

// Submits `path` to `queue` (cupsPrintFile2); none with `error` set when CUPS refuses it.
std::optional<SubmittedJob> printFile(const std::string& queue, const std::string& path,
                                      const PrintSettings& settings, std::string& error);

}  // namespace tessaron::print

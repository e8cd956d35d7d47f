// How many pages a document will print as, found before the job is sent, so the job can
// announce the real count ("...PMTotalSidesImaged..n."). None when the kind of document
// gives no reliable count; the driver then counts the raster pages itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaron::print {

enum class DocumentKind { Unknown, Image, PDF, PostScript, CupsRaster };

DocumentKind documentKind(const std::string& path);
std::optional<uint32_t> documentPageCount(const std::string& path);

// The page-count options of a job, both carrying the count as the platform's dialog did.
inline constexpr const char* kTotalSidesImagedOption = "com.apple.print.PrintSettings.PMTotalSidesImaged..n.";
inline constexpr const char* kTotalBeginPagesOption = "com.apple.print.PrintSettings.PMTotalBeginPages..n.";

}  // namespace tessaron::print

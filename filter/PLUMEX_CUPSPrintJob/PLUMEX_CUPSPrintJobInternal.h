// Helpers shared by the job context's source files; not part of its public interface.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PLUMEX_CUPSFormat.h"

namespace tessaron::printjob {

// The process arguments (program name first): the ones creation was given, else the kernel's.
const std::vector<std::string>& processArguments();
void setProcessArguments(const std::vector<std::string>& arguments);

// Leading decimal integer of a text, as C's strtoll reads it; 0 when there is none.
int64_t leadingInteger(const std::optional<std::string>& text);

// Splits at every separator; empty pieces are kept.
std::vector<std::string> split(std::string_view text, char separator);

// Unicode code points in a UTF-8 text (bytes that do not start a sequence are not counted).
size_t codePointCount(std::string_view text);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Watches the raster input for the libcups reader across each page-header read. libcups
// answers a failed header read both at the clean end of the stream and when the stream ends
// inside a header; input bytes that arrived during a header read that then failed tell the
// second case, a stream cut inside that header, from the end of the job. (A compressed
// stream may have read the cut header's first bytes ahead with the pixels of the page before.)
struct RasterHeaderWatch {
    // Called around each header read.
    void begin() { reading_ = true; bytesInHeaderRead_ = 0; }
    void end() { reading_ = false; }
    // Every read of the input passes its result through here.
    void noteRead(long n) { if (reading_ && n > 0) bytesInHeaderRead_ += static_cast<std::size_t>(n); }
    // After a failed header read: whether the stream ended inside the header.
    bool cutInsideHeader() const { return bytesInHeaderRead_ > 0; }

private:
    bool reading_ = false;
    std::size_t bytesInHeaderRead_ = 0;
};

}  // namespace tessaron::printjob

class PLUMEX_CUPSPrintJob;

namespace tessaron::printjob {

// Installs the handler for every signal of the signal list and starts the thread that acts
// on them; safe to call more than once.
void installSignalHandlers();
// The context the signal thread hands cleanups to (nullptr for none).
void setSharedObject(PLUMEX_CUPSPrintJob* job);
PLUMEX_CUPSPrintJob* sharedObject();

// The option that carries the job's page count when the print dialog set it.
inline constexpr const char* kTotalSidesImagedOption = "com.apple.print.PrintSettings.PMTotalSidesImaged..n.";
inline constexpr const char* kTotalBeginPagesOption = "com.apple.print.PrintSettings.PMTotalBeginPages..n.";

}  // namespace tessaron::printjob

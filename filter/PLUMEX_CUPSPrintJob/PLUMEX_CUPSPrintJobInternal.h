// Helpers shared by the job context's source files; not part of its public interface.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plumex_job {

std::string vformat(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

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

// Raster input for the libcups reader, followed at its end, while a page header is read, by
// one byte less than a header of zeros. A stream that ends cleanly after a page then still
// has no room for another header, while a stream cut inside a header completes one with the
// padding: a header read that used padding (`padding` > 0 afterwards) is a cut stream, not
// the end of the job. Pixel reads never get padding.
struct RasterPadding {
    bool readingHeader = false;  // set by the caller around each header read
    std::size_t padding = 0;     // padding bytes handed out so far

    // `n` is what the input gave for `buffer` of `length`; answers what libcups gets.
    long afterRead(unsigned char* buffer, std::size_t length, long n);
    bool atEnd() const { return atEnd_; }

private:
    bool atEnd_ = false;
    std::size_t headerSize_ = 0;
    unsigned char sync_[4] = {};
    std::size_t syncBytes_ = 0;
};

}  // namespace plumex_job

class PLUMEX_CUPSPrintJob;

namespace plumex_job {

// Installs the handler for every signal of the signal list and starts the thread that acts
// on them; safe to call more than once.
void installSignalHandlers();
// The context the signal thread hands cleanups to (nullptr for none).
void setSharedObject(PLUMEX_CUPSPrintJob* job);
PLUMEX_CUPSPrintJob* sharedObject();

// The option that carries the job's page count when the print dialog set it.
inline constexpr const char* kTotalSidesImagedOption = "com.apple.print.PrintSettings.PMTotalSidesImaged..n.";
inline constexpr const char* kTotalBeginPagesOption = "com.apple.print.PrintSettings.PMTotalBeginPages..n.";

}  // namespace plumex_job

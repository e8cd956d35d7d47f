// Shared pieces of the fuzz harnesses: a way through the job's fatal end, the CUPS line
// oracle over everything written to standard error, hostile bytes behind a socket or in a
// file, and a bounds-checked reader that splits one input into the parts a harness needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaron::fuzz {

// Thrown by the fatal handler the harnesses install: the job would have ended here, which is
// an accepted outcome for hostile input, never a finding.
struct JobEnded {};

// Logging to standard error without pauses, fatal errors thrown as JobEnded, standard error
// captured. Idempotent; every harness calls it first.
void setUpHarness();

// Reports a finding: the message on the real standard error, then abort().
[[noreturn]] void finding(const std::string& what);
inline void require(bool condition, const char* what) {
    if (!condition) finding(what);
}

// What the code under test wrote to standard error since the last call.
std::string takeStandardError();

// Every line a CUPS filter or backend writes to standard error must be one message line: a
// level word and a colon, no control character, valid UTF-8, and in "PPD:" and "ATTR:" lines
// balanced double quotes (a backslash escapes the next character). Answers the first problem, empty when none.
std::string cupsLineProblem(std::string_view line);
// Checks everything captured since the last call; a bad line is a finding.
void requireCupsLines();

// The problem of one device line printed by discovery, empty when none.
std::string deviceLineProblem(std::string_view line);

// A connected stream socket that holds `bytes` and then the end of the stream; the peer is
// closed. -1 when the bytes do not fit the socket buffer.
int socketHolding(std::span<const uint8_t> bytes);

// A private folder of this process, and a file in it written with `bytes`.
const std::string& scratchFolder();
std::string writeScratchFile(const std::string& name, std::span<const uint8_t> bytes);

// Reads an input front to back; past the end every read answers zero or empty.
class InputReader {
public:
    explicit InputReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint8_t byte();
    uint16_t u16();
    uint32_t u32();
    // Up to `count` bytes.
    std::span<const uint8_t> take(size_t count);
    // Bytes up to the next `separator` (dropped) or the end.
    std::span<const uint8_t> until(uint8_t separator);
    std::span<const uint8_t> rest();
    bool empty() const { return at_ >= bytes_.size(); }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

std::string text(std::span<const uint8_t> bytes);
std::vector<uint8_t> bytesOf(std::string_view text);

}  // namespace tessaron::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

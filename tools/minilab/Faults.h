// Fault injection: switches that make the minilab misbehave in the ways a client must
// survive. Each switch may be narrowed to one command code and to the n-th such request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaron::minilab {

// Which requests a switch applies to: `command` (absent: any), and `at`, the n-th request
// matching `command` counted from 1 over the emulator's life (absent: every one).
struct Trigger {
    std::optional<uint8_t> command;
    std::optional<uint32_t> at;
    bool matches(uint8_t requestCommand, uint32_t matchingCount) const;
};

struct DelayFault {
    Trigger when;
    uint32_t ms = 0;
};

struct NoiseFault {
    Trigger when;
    std::vector<uint8_t> bytes;  // sent before the reply header
};

struct SplitFault {
    Trigger when;
    uint32_t segment = 1;   // bytes per TCP segment
    uint32_t gapMs = 5;     // pause between segments so they are not coalesced
};

struct LengthFault {
    Trigger when;
    int64_t delta = 0;                  // wrongLength: dataLength off by delta
    std::optional<uint32_t> value;      // oversizedDataLength: dataLength replaced by value
};

struct SpoolRefusal {
    Trigger when;       // command defaults to every spool command
    uint32_t code = 17;
};

struct Faults {
    std::vector<DelayFault> replyDelay;
    std::vector<Trigger> closeWithoutReply;
    std::optional<uint32_t> resetAtFrame;  // the k-th image transfer request, counted from 1
    std::vector<NoiseFault> noise;
    std::vector<SplitFault> split;
    std::vector<LengthFault> wrongLength;
    std::vector<LengthFault> oversizedDataLength;
    std::vector<SpoolRefusal> spoolRefused;
    std::vector<Trigger> stopReading;  // after the request's header, never read the connection again
};

}  // namespace tessaron::minilab

namespace tessaron::minilab {

// What the switches do to one request.
struct FaultPlan {
    bool closeWithoutReply = false;
    bool reset = false;              // reset the connection before the image is read
    uint32_t delayMs = 0;
    std::vector<uint8_t> noise;
    uint32_t segment = 0;            // 0: the reply goes in one write
    uint32_t gapMs = 0;
    std::optional<int64_t> lengthDelta;
    std::optional<uint32_t> dataLength;
    uint32_t spoolRefusal = 0;
    bool stopReading = false;
};

// Counts requests (over the emulator's life) and decides which switches fire.
class FaultCounter {
public:
    FaultPlan plan(const Faults& faults, uint8_t command);

private:
    uint32_t count(const Trigger& t, uint8_t command) const;
    uint32_t total_ = 0;
    uint32_t perCommand_[256] = {};
    uint32_t frames_ = 0;
    uint32_t spools_ = 0;
};

// The bytes to send for a request's replies, in the segments the plan asks for.
struct Segment {
    std::vector<uint8_t> bytes;
    uint32_t delayMs = 0;   // after the previous segment (the first: after the request)
};
std::vector<Segment> shapeReply(const std::vector<std::vector<uint8_t>>& replies, const FaultPlan& plan);

}  // namespace tessaron::minilab

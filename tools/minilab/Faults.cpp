#include "Faults.h"

#include <algorithm>

#include "Codes.h"

namespace tessaron::minilab {

uint32_t FaultCounter::count(const Trigger& t, uint8_t command) const {
    (void)command;
    return t.command ? perCommand_[*t.command] : total_;
}

FaultPlan FaultCounter::plan(const Faults& faults, uint8_t command) {
    ++total_;
    ++perCommand_[command];
    if (isImageCommand(command)) ++frames_;
    if (isSpoolCommand(command)) ++spools_;
    FaultPlan p;
    for (const auto& t : faults.closeWithoutReply)
        if (t.matches(command, count(t, command))) p.closeWithoutReply = true;
    for (const auto& t : faults.stopReading)
        if (t.matches(command, count(t, command))) p.stopReading = true;
    if (faults.resetAtFrame && isImageCommand(command) && *faults.resetAtFrame == frames_) p.reset = true;
    for (const auto& d : faults.replyDelay)
        if (d.when.matches(command, count(d.when, command))) p.delayMs = std::max(p.delayMs, d.ms);
    for (const auto& n : faults.noise)
        if (n.when.matches(command, count(n.when, command))) p.noise = n.bytes;
    for (const auto& s : faults.split)
        if (s.when.matches(command, count(s.when, command))) {
            p.segment = s.segment;
            p.gapMs = s.gapMs;
        }
    for (const auto& l : faults.wrongLength)
        if (l.when.matches(command, count(l.when, command))) p.lengthDelta = l.delta;
    for (const auto& l : faults.oversizedDataLength)
        if (l.when.matches(command, count(l.when, command))) p.dataLength = l.value;
    if (isSpoolCommand(command)) {
        for (const auto& r : faults.spoolRefused) {
            const uint32_t n = r.when.command ? count(r.when, command) : spools_;
            if (r.when.matches(command, n)) p.spoolRefusal = r.code;
        }
    }
    return p;
}

std::vector<Segment> shapeReply(const std::vector<std::vector<uint8_t>>& replies, const FaultPlan& plan) {
    std::vector<uint8_t> all = plan.noise;
    for (size_t i = 0; i < replies.size(); ++i) {
        std::vector<uint8_t> r = replies[i];
        if (i == 0 && r.size() >= 16 && (plan.lengthDelta || plan.dataLength)) {
            int64_t actual = static_cast<int64_t>(r.size() - 16);
            int64_t value = plan.dataLength ? int64_t{*plan.dataLength} : actual + *plan.lengthDelta;
            value = std::clamp<int64_t>(value, 0, UINT32_MAX);
            for (int k = 0; k < 4; ++k) r[8 + static_cast<size_t>(k)] = static_cast<uint8_t>(value >> (24 - 8 * k));
        }
        all.insert(all.end(), r.begin(), r.end());
    }
    std::vector<Segment> out;
    if (plan.segment == 0 || all.size() <= plan.segment) {
        out.push_back(Segment{std::move(all), plan.delayMs});
        return out;
    }
    for (size_t off = 0; off < all.size(); off += plan.segment) {
        size_t n = std::min<size_t>(plan.segment, all.size() - off);
        out.push_back(Segment{std::vector<uint8_t>(all.begin() + static_cast<long>(off), all.begin() + static_cast<long>(off + n)),
                              off == 0 ? plan.delayMs : plan.gapMs});
    }
    return out;
}

}  // namespace tessaron::minilab

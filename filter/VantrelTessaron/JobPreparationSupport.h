// Small pieces of job preparation that stand on their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "Filters.h"
#include "ImageAdjustments.h"

namespace tessaron {

// The order reference: the local time as the 19 digits "YYYYMMddHHmmssSSSSS" read as a
// number, its low byte ORed with `randomValue`'s.
uint64_t newOrderReference(std::chrono::system_clock::time_point now, long randomValue);

// The random byte of an order reference, from the kernel's random source: two queues that
// start a job in the same millisecond still get different references.
long orderReferenceRandomByte();

// The engine filter carrying one step of the adjustment plan; none when the engine lacks it.
std::optional<image::Filter> engineFilterFor(const AdjustmentFilter& step);

}  // namespace tessaron

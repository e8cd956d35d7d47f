#include "JobPreparationSupport.h"

#include <sys/random.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include "PLUMEX_TextUtilities.h"

namespace tessaron {

uint64_t newOrderReference(std::chrono::system_clock::time_point now, long randomValue) {
    const std::string digits = stringWithUTSFormat(now, "YYYYMMddHHmmssSSSSS").value_or("");
    errno = 0;
    const unsigned long long stamp = digits.empty() ? 0 : std::strtoull(digits.c_str(), nullptr, 10);
    const uint64_t value = errno == ERANGE ? 0 : stamp;
    return value | static_cast<uint64_t>(static_cast<unsigned long>(randomValue) & 0xFFu);
}

long orderReferenceRandomByte() {
    uint8_t byte = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (::getrandom(&byte, 1, GRND_NONBLOCK) == 1) return byte;
        if (errno != EINTR && errno != EAGAIN) break;
    }
    // No kernel randomness this early after boot: the clock's nanoseconds still differ per job.
    const auto ns = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<long>((ns ^ (ns >> 8) ^ (ns >> 16)) & 0xFF);
}

std::optional<image::Filter> engineFilterFor(const AdjustmentFilter& step) {
    std::optional<image::Filter> filter = image::Filter::filterWithName(filterNameFor(step.kind));
    if (!filter) return std::nullopt;
    switch (step.kind) {
        case AdjustmentFilterKind::ColorControls:
            filter->setValueForKey(step.saturation, "inputSaturation");
            filter->setValueForKey(step.brightness, "inputBrightness");
            filter->setValueForKey(step.contrast, "inputContrast");
            break;
        case AdjustmentFilterKind::GammaAdjust:
            filter->setValueForKey(step.power, "inputPower");
            break;
        case AdjustmentFilterKind::ColorMatrix:
            filter->setValueForKey(image::Vector4{step.red, 0, 0, 0}, "inputRVector");
            filter->setValueForKey(image::Vector4{0, step.green, 0, 0}, "inputGVector");
            filter->setValueForKey(image::Vector4{0, 0, step.blue, 0}, "inputBVector");
            break;
        case AdjustmentFilterKind::UnsharpMask:
            filter->setValueForKey(step.radius, "inputRadius");
            filter->setValueForKey(step.intensity, "inputIntensity");
            break;
    }
    return filter;
}

}  // namespace tessaron

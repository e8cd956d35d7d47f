// The job's colour, gamma and sharpness options as an ordered list of image filters, and the
// binding margin of a two-sided job as cropping rectangles for odd and even pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "JobOptions.h"

namespace tessaron {

// correctedValue:forType:
double correctedValueForType(std::string_view value, int type);

enum class AdjustmentFilterKind { ColorControls, GammaAdjust, ColorMatrix, UnsharpMask };

// One filter of the chain with the inputs it is given; inputs of other kinds keep identity.
struct AdjustmentFilter {
    AdjustmentFilterKind kind;
    double saturation = 1, brightness = 0, contrast = 1;  // ColorControls
    double power = 1;                                      // GammaAdjust
    float red = 1, green = 1, blue = 1;                    // ColorMatrix
    double radius = 0, intensity = 0;                      // UnsharpMask
};

// The platform filter name of a kind ("CIColorControls", ...).
const char* filterNameFor(AdjustmentFilterKind kind);

struct AdjustmentPlan {
    bool adjustmentsEnabled = false;
    bool sharpnessEnabled = false;
    std::vector<AdjustmentFilter> filters;  // in the order they apply
};

// Sharpening radii beyond this are taken as this: the blur's kernel grows with the radius.
inline constexpr double kMaxSharpnessRadius = 100;
// Intensities beyond this are taken as this: the dialog offers up to 10, and a larger factor
// only drives every edge to black or white (and a huge one overflows the samples' floats).
inline constexpr double kMaxSharpnessIntensity = 10;

AdjustmentPlan adjustmentPlanForOptions(const JobOptionValues& options);

struct CroppingRect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const CroppingRect&) const = default;
};

struct RasterGeometry {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t xResolution = 0;
    bool duplex = false;
    bool tumble = false;
};

struct CroppingRects {
    std::optional<CroppingRect> odd;
    std::optional<CroppingRect> even;
};

// The rectangles of the binding margin; none unless the job is two-sided with a side other than
// "None" and a non-zero width.
CroppingRects croppingRectsForBindingMargin(const JobOptionValues& options, const RasterGeometry& raster);

// croppingRectForPage for page number `page` (from 1).
CroppingRect croppingRectForPage(const CroppingRects& rects, int64_t page, const RasterGeometry& raster);

}  // namespace tessaron

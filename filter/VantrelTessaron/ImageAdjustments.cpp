#include "ImageAdjustments.h"

#include <algorithm>

#include "PLUMEX_CUPSLog.h"

namespace tessaron {

namespace {

double numberOf(const JobOptionValues& options, const char* key, int type) {
    auto value = optionText(options, key);
    return correctedValueForType(value.value_or(""), type);
}

void logCorrection(const JobOptionValues& options, const char* key, double corrected) {
    PLUMEX_CUPSLog::debug("%s: %s ->(%g)", key, optionForLog(options, key).c_str(), corrected);
}

void addColourAdjustments(const JobOptionValues& options, AdjustmentPlan& plan) {
    plan.adjustmentsEnabled = true;
    const double red = numberOf(options, "Red", 33);
    const double green = numberOf(options, "Green", 33);
    const double blue = numberOf(options, "Blue", 33);
    const double gamma = numberOf(options, "Gamma", 33);
    const double saturation = numberOf(options, "Saturation", 33);
    const double brightness = numberOf(options, "Brightness", 35);
    const double contrast = numberOf(options, "Contrast", 34);
    PLUMEX_CUPSLog::debug("AdjustmentsEnabled: %s", optionForLog(options, "AdjustmentsEnabled").c_str());
    logCorrection(options, "Red", red);
    logCorrection(options, "Green", green);
    logCorrection(options, "Blue", blue);
    logCorrection(options, "Saturation", saturation);
    logCorrection(options, "Contrast", contrast);
    logCorrection(options, "Gamma", gamma);
    logCorrection(options, "Brightness", brightness);

    if (saturation != 1 || brightness != 0 || contrast != 1) {
        AdjustmentFilter f{AdjustmentFilterKind::ColorControls};
        f.saturation = saturation;
        f.brightness = brightness;
        f.contrast = contrast;
        plan.filters.push_back(f);
    }
    if (gamma != 1) {
        AdjustmentFilter f{AdjustmentFilterKind::GammaAdjust};
        f.power = gamma;
        plan.filters.push_back(f);
    }
    if (red != 1 || green != 1 || blue != 1) {
        AdjustmentFilter f{AdjustmentFilterKind::ColorMatrix};
        f.red = static_cast<float>(red);
        f.green = static_cast<float>(green);
        f.blue = static_cast<float>(blue);
        plan.filters.push_back(f);
    }
}

void addSharpening(const JobOptionValues& options, AdjustmentPlan& plan) {
    plan.sharpnessEnabled = true;
    const double radius = numberOf(options, "SharpnessRadius", 0);
    const double intensity = numberOf(options, "SharpnessIntensity", 0);
    PLUMEX_CUPSLog::debug("SharpnessEnabled: %s", optionForLog(options, "SharpnessEnabled").c_str());
    logCorrection(options, "SharpnessRadius", radius);
    logCorrection(options, "SharpnessIntensity", intensity);
    if (radius != 0 && intensity != 0) {
        AdjustmentFilter f{AdjustmentFilterKind::UnsharpMask};
        f.radius = std::clamp(radius, -kMaxSharpnessRadius, kMaxSharpnessRadius);
        f.intensity = std::clamp(intensity, -kMaxSharpnessIntensity, kMaxSharpnessIntensity);
        plan.filters.push_back(f);
    }
}

}  // namespace

double correctedValueForType(std::string_view value, int type) {
    switch (type) {
        case 1: return static_cast<double>(leadingInteger(value));
        case 33: return std::clamp(1 + leadingNumber(value) / 100, 0.7, 1.3);
        case 34: return std::clamp(1 + leadingNumber(value) / 100, 0.9, 1.1);
        case 35: return std::clamp(leadingNumber(value) / 100, -0.1, 0.1);
        default: return leadingNumber(value);
    }
}

const char* filterNameFor(AdjustmentFilterKind kind) {
    switch (kind) {
        case AdjustmentFilterKind::ColorControls: return "CIColorControls";
        case AdjustmentFilterKind::GammaAdjust: return "CIGammaAdjust";
        case AdjustmentFilterKind::ColorMatrix: return "CIColorMatrix";
        case AdjustmentFilterKind::UnsharpMask: break;
    }
    return "CIUnsharpMask";
}

AdjustmentPlan adjustmentPlanForOptions(const JobOptionValues& options) {
    AdjustmentPlan plan;
    if (optionFlag(options, "AdjustmentsEnabled")) addColourAdjustments(options, plan);
    if (optionFlag(options, "SharpnessEnabled")) addSharpening(options, plan);
    return plan;
}

CroppingRects croppingRectsForBindingMargin(const JobOptionValues& options, const RasterGeometry& raster) {
    CroppingRects rects;
    const double width = optionNumber(options, "BindingWidth");
    if (!raster.duplex || optionChoiceIs(options, "BindingMargin", "None") || width == 0) return rects;

    const std::string side = optionText(options, "BindingMargin").value_or("");
    const double W = raster.width, H = raster.height;
    double m = width * 0.03937 * raster.xResolution;
    PLUMEX_CUPSLog::debug("BindingMargin: %s (%f)", side.c_str(), width);
    PLUMEX_CUPSLog::debug("BindingWidth: %s ->(%.f pixels)", optionForLog(options, "BindingWidth").c_str(), m);
    // A margin wider than the page, or a negative one, would leave no page to place.
    const bool horizontal = side == "Left" || side == "Right";
    m = std::clamp(m, 0.0, horizontal ? W : H);

    CroppingRect odd{0, 0, W, H};
    CroppingRect even{0, 0, W, H};
    if (side == "Left" || side == "Right") {
        odd.width = even.width = W - m;
        odd.x = side == "Left" ? m : 0;
        even.x = side == "Right" ? m : 0;
    } else if (side == "Top" || side == "Bottom") {
        odd.height = even.height = H - m;
        odd.y = side == "Bottom" ? m : 0;
        even.y = side == "Top" ? m : 0;
    }
    rects.odd = odd;
    rects.even = raster.tumble ? even : odd;
    return rects;
}

CroppingRect croppingRectForPage(const CroppingRects& rects, int64_t page, const RasterGeometry& raster) {
    const bool odd = page % 2 != 0;
    if (odd && rects.odd) return *rects.odd;
    if (!odd && rects.even) return *rects.even;
    if (!odd && rects.odd) return *rects.odd;
    return CroppingRect{0, 0, static_cast<double>(raster.width), static_cast<double>(raster.height)};
}

}  // namespace tessaron

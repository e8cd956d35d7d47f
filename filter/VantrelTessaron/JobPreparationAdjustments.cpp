// The job's adjustment options as the page filters, and its binding margin as the odd and
// even cropping rectangles the page pipeline places each page in.
#include "ImageAdjustments.h"
#include "JobPreparationSupport.h"
#include "VantrelTessaronJob.h"

namespace {

constexpr const char* kCroppingRectOdd = "croppingRectOdd";
constexpr const char* kCroppingRectEven = "croppingRectEven";

tessaron::RasterGeometry rasterGeometryOf(const PLUMEX_CUPSPrintJob& context) {
    return {context.cupsWidth(), context.cupsHeight(), context.cupsXResolution(), context.cupsDuplex(), context.cupsTumble()};
}

}  // namespace

void VantrelTessaronJob::addImageFilter(const tessaron::image::Filter& filter) {
    _imageFilters.push_back(filter);
    PLUMEX_CUPSLog::debug("will adjust images by applying %s ", tessaron::image::shortDescription(filter).c_str());
}

void VantrelTessaronJob::chooseAdjustmentsAndMargins(const JRXJobOptions& options) {
    const tessaron::AdjustmentPlan plan = tessaron::adjustmentPlanForOptions(options);
    _adjustmentsEnabled = plan.adjustmentsEnabled;
    _sharpnessEnabled = plan.sharpnessEnabled;
    for (const tessaron::AdjustmentFilter& step : plan.filters)
        if (auto filter = tessaron::engineFilterFor(step)) addImageFilter(*filter);

    removeValueForKey(kCroppingRectOdd);
    removeValueForKey(kCroppingRectEven);
    PLUMEX_CUPSPrintJob* context = printJob();
    if (!context) return;
    const tessaron::CroppingRects rects = tessaron::croppingRectsForBindingMargin(options, rasterGeometryOf(*context));
    if (rects.odd) setValueForKey(kCroppingRectOdd, *rects.odd);
    if (rects.even) setValueForKey(kCroppingRectEven, *rects.even);
}

tessaron::image::Rect VantrelTessaronJob::croppingRectForPage() {
    PLUMEX_CUPSPrintJob* context = printJob();
    if (!context) return {};
    tessaron::CroppingRects rects;
    if (const auto* odd = valueForKey<tessaron::CroppingRect>(kCroppingRectOdd)) rects.odd = *odd;
    if (const auto* even = valueForKey<tessaron::CroppingRect>(kCroppingRectEven)) rects.even = *even;
    const tessaron::CroppingRect r = tessaron::croppingRectForPage(rects, context->page(), rasterGeometryOf(*context));
    return {r.x, r.y, r.width, r.height};
}

bool VantrelTessaronJob::needsMarginManagement() { return hasValueForKey(kCroppingRectOdd); }

// Job options as the scheduler passes them (one option string, parsed by libcups) and as job
// preparation reads them: flags, numbers, the adjustment chain and the binding margin for a
// page of any geometry. Numbers stay finite and rectangles stay on the page.
#include <cups/cups.h>

#include <cmath>

#include "FuzzSupport.h"
#include "ImageAdjustments.h"
#include "JobOptions.h"

using namespace tessaron::fuzz;

namespace {

tessaron::JobOptionValues parse(const std::string& text) {
    cups_option_t* options = nullptr;
    const int count = cupsParseOptions(text.c_str(), 0, &options);
    tessaron::JobOptionValues values;
    for (int i = 0; i < count; ++i) values[options[i].name] = options[i].value ? options[i].value : "";
    cupsFreeOptions(count, options);
    return values;
}

void requireOnPage(const tessaron::CroppingRect& r, const tessaron::RasterGeometry& g) {
    const bool finite = std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
    require(finite, "cropping rectangle is not finite");
    require(r.x >= 0 && r.y >= 0 && r.width >= 0 && r.height >= 0, "cropping rectangle is negative");
    require(r.x + r.width <= g.width + 1e-6 && r.y + r.height <= g.height + 1e-6, "cropping rectangle leaves the page");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    InputReader input({data, size});
    tessaron::RasterGeometry geometry;
    geometry.width = input.u16();
    geometry.height = input.u16();
    geometry.xResolution = input.u16();
    const uint8_t flags = input.byte();
    geometry.duplex = flags & 1;
    geometry.tumble = flags & 2;
    const auto options = parse(text(input.rest()));

    for (const char* key : tessaron::kJobOptionKeys) {
        (void)tessaron::optionFlag(options, key);
        (void)tessaron::optionForLog(options, key);
        (void)tessaron::optionInteger(options, key);
        const double number = tessaron::optionNumber(options, key);
        require(!std::isnan(number), "an option read as not-a-number");
    }
    const auto plan = tessaron::adjustmentPlanForOptions(options);
    for (const auto& filter : plan.filters) {
        const bool finite = std::isfinite(filter.saturation) && std::isfinite(filter.brightness) &&
                            std::isfinite(filter.contrast) && std::isfinite(filter.power) && std::isfinite(filter.red) &&
                            std::isfinite(filter.green) && std::isfinite(filter.blue) && std::isfinite(filter.radius) &&
                            std::isfinite(filter.intensity);
        require(finite, "an adjustment filter input is not finite");
        require(filter.radius <= tessaron::kMaxSharpnessRadius, "sharpening radius above its bound");
    }
    const auto rects = tessaron::croppingRectsForBindingMargin(options, geometry);
    for (int64_t page = 1; page <= 2; ++page) requireOnPage(tessaron::croppingRectForPage(rects, page, geometry), geometry);
    requireCupsLines();
    return 0;
}

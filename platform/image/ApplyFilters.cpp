// Running a filter chain: point filters fused per run of consecutive ones, unsharp masks on
// their own; every work buffer is allocated before the first pixel changes.
#include "Filters.h"
#include "Parallel.h"
#include "PointProgram.h"
#include "UnsharpMask.h"

#include <cmath>
#include <memory>
#include <variant>

namespace tessaron::image {

namespace {

bool isFinite(const ParameterValue& value)
{
    if (const double* d = std::get_if<double>(&value))
        return std::isfinite(*d);
    if (const Vector4* v = std::get_if<Vector4>(&value))
        return std::isfinite((*v)[0]) && std::isfinite((*v)[1]) && std::isfinite((*v)[2]) && std::isfinite((*v)[3]);
    return true;
}

bool acceptable(const Filter& f)
{
    if (!f.isPixelFilter())
        return false;
    for (const FilterParameter& p : f.parameters())
        if (!isFinite(*f.valueForKey(p.key)))
            return false;
    return true;
}

using Step = std::variant<detail::PointProgram, std::unique_ptr<detail::UnsharpMask>>;

void runPoints(const detail::PointProgram& program, BitmapView bitmap, unsigned threads)
{
    const unsigned bands = detail::bandCount(bitmap.height, bitmap.width, threads);
    detail::runBands(bitmap.height, bands, [&](unsigned, int first, int end) {
        for (int r = first; r < end; ++r)
            program.runRow(bitmap.row(r), bitmap.width);
    });
}

}  // namespace

bool applyFilters(BitmapView bitmap, std::span<const Filter> filters, unsigned threads)
{
    if (!bitmap.isValid())
        return false;
    for (const Filter& f : filters)
        if (!acceptable(f))
            return false;
    if (bitmap.width == 0 || bitmap.height == 0)
        return true;
    threads = resolveThreadCount(threads);

    std::vector<Step> steps;
    size_t i = 0;
    while (i < filters.size()) {
        if (filters[i].isPointOperation()) {
            size_t j = i;
            while (j < filters.size() && filters[j].isPointOperation())
                ++j;
            detail::PointProgram program = detail::PointProgram::compile(filters.subspan(i, j - i), bitmap.format);
            if (!program.empty())
                steps.emplace_back(std::move(program));
            i = j;
            continue;
        }
        const Filter& f = filters[i++];
        if (f.isIdentity() || f.numberForKey("inputRadius") < 0)
            continue;
        auto unsharp = detail::UnsharpMask::prepare(bitmap, f.numberForKey("inputRadius"), f.numberForKey("inputIntensity"), threads);
        if (!unsharp)
            return false;
        steps.emplace_back(std::move(unsharp));
    }
    for (Step& step : steps) {
        if (auto* program = std::get_if<detail::PointProgram>(&step))
            runPoints(*program, bitmap, threads);
        else
            std::get<std::unique_ptr<detail::UnsharpMask>>(step)->run();
    }
    return true;
}

}  // namespace tessaron::image

#include "Parallel.h"

#include <system_error>
#include <thread>
#include <vector>

namespace tessaron::image::detail {

unsigned bandCount(int rows, int width, unsigned threads)
{
    if (rows <= 0 || width <= 0 || threads <= 1)
        return 1;
    constexpr long long kMinPixelsPerBand = 32 * 1024;
    constexpr int kMinRowsPerBand = 8;
    unsigned bands = threads;
    const long long pixels = static_cast<long long>(rows) * width;
    while (bands > 1 && (pixels / bands < kMinPixelsPerBand || rows / static_cast<int>(bands) < kMinRowsPerBand))
        --bands;
    return bands;
}

void runBands(int rows, unsigned bands, const std::function<void(unsigned, int, int)>& work)
{
    if (bands <= 1 || rows <= 1) {
        work(0, 0, rows);
        return;
    }
    std::vector<std::thread> workers;
    workers.reserve(bands - 1);
    std::vector<unsigned> notStarted;
    for (unsigned b = 1; b < bands; ++b) {
        try {
            workers.emplace_back(work, b, bandStart(rows, bands, b), bandStart(rows, bands, b + 1));
        } catch (const std::system_error&) {
            notStarted.push_back(b);
        }
    }
    work(0, 0, bandStart(rows, bands, 1));
    for (unsigned b : notStarted)
        work(b, bandStart(rows, bands, b), bandStart(rows, bands, b + 1));
    for (std::thread& t : workers)
        t.join();
}

}  // namespace tessaron::image::detail

// Splitting a row range over threads (internal).
#pragma once

#include <functional>

namespace tessaron::image::detail {

// Calls work(band, firstRow, endRow) for `bands` contiguous bands covering [0, rows), each on
// its own thread except band 0, which runs on the caller's. Falls back to the caller's
// thread when a thread cannot be started. Returns when every band is done.
void runBands(int rows, unsigned bands, const std::function<void(unsigned band, int firstRow, int endRow)>& work);

// The number of bands worth using: at most `threads`, at least one, and none thinner than
// a few rows or smaller than a few tens of thousands of samples.
unsigned bandCount(int rows, int width, unsigned threads);

// Bounds of band b of `bands` over `rows` rows.
inline int bandStart(int rows, unsigned bands, unsigned b) { return static_cast<int>(static_cast<long long>(rows) * b / bands); }

}  // namespace tessaron::image::detail

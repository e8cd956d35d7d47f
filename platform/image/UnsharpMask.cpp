#include "UnsharpMask.h"

#include "Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace tessaron::image::detail {

// Rows of one band keep their original values in `ring` once overwritten; the original
// rows just outside the band, which neighbouring bands overwrite, are copied beforehand.
struct UnsharpMask::Band {
    int first = 0, end = 0;
    int haloBeforeFirst = 0;                  // first row held in haloBefore
    std::unique_ptr<uint8_t[]> haloBefore;    // rows [haloBeforeFirst, first)
    std::unique_ptr<uint8_t[]> haloAfter;     // rows [end, end + count)
    std::unique_ptr<uint8_t[]> ring;          // radius + 1 rows
    std::unique_ptr<float[]> vertical;        // one row plus the clamped edge pixels either side
    std::unique_ptr<float[]> blurred;         // one row
    std::unique_ptr<uint8_t[]> output;        // one row
};

UnsharpMask::~UnsharpMask() = default;

std::vector<float> gaussianKernel(double sigma)
{
    const int taps = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<double> w(static_cast<size_t>(taps) + 1);
    double sum = 0;
    for (int k = 0; k <= taps; ++k) {
        w[static_cast<size_t>(k)] = std::exp(-0.5 * k * k / (sigma * sigma));
        sum += k == 0 ? w[0] : 2 * w[static_cast<size_t>(k)];
    }
    std::vector<float> out;
    out.reserve(w.size());
    for (double v : w)
        out.push_back(static_cast<float>(v / sum));
    return out;
}

namespace {
template <typename T>
std::unique_ptr<T[]> allocate(size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count == 0 ? 1 : count]);
}
}  // namespace

std::unique_ptr<UnsharpMask> UnsharpMask::prepare(BitmapView bitmap, double radius, double intensity, unsigned threads)
{
    if (!bitmap.isValid() || !(radius > 0) || !(radius <= kMaxUnsharpRadius) || !std::isfinite(intensity))
        return nullptr;
    std::unique_ptr<UnsharpMask> u(new (std::nothrow) UnsharpMask);
    if (!u)
        return nullptr;
    u->_bitmap = bitmap;
    u->_intensity = static_cast<float>(intensity);
    u->_kernel = gaussianKernel(radius);
    const int taps = static_cast<int>(u->_kernel.size()) - 1;
    const size_t rowBytes = static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.bytesPerPixel());
    const size_t paddedSamples = (static_cast<size_t>(bitmap.width) + 2 * static_cast<size_t>(taps)) *
                                 static_cast<size_t>(bitmap.bytesPerPixel());
    const unsigned bands = bandCount(bitmap.height, bitmap.width, threads);
    // Work memory: per band 3 * taps + 2 rows; bounded like any bitmap.
    if ((3 * static_cast<size_t>(taps) + 2) * rowBytes * bands > kMaxBitmapBytes)
        return nullptr;
    u->_bands.resize(bands);
    for (unsigned b = 0; b < bands; ++b) {
        Band& band = u->_bands[b];
        band.first = bandStart(bitmap.height, bands, b);
        band.end = bandStart(bitmap.height, bands, b + 1);
        band.haloBeforeFirst = std::max(0, band.first - taps);
        const int afterCount = std::min(bitmap.height, band.end + taps) - band.end;
        band.haloBefore = allocate<uint8_t>(static_cast<size_t>(band.first - band.haloBeforeFirst) * rowBytes);
        band.haloAfter = allocate<uint8_t>(static_cast<size_t>(afterCount) * rowBytes);
        band.ring = allocate<uint8_t>(static_cast<size_t>(taps + 1) * rowBytes);
        band.vertical = allocate<float>(paddedSamples);
        band.blurred = allocate<float>(rowBytes);
        band.output = allocate<uint8_t>(rowBytes);
        if (!band.haloBefore || !band.haloAfter || !band.ring || !band.vertical || !band.blurred || !band.output)
            return nullptr;
    }
    return u;
}

void UnsharpMask::run()
{
    const size_t rowBytes = static_cast<size_t>(_bitmap.width) * static_cast<size_t>(_bitmap.bytesPerPixel());
    // Halos first, before any band writes.
    for (Band& band : _bands) {
        for (int r = band.haloBeforeFirst; r < band.first; ++r)
            std::memcpy(band.haloBefore.get() + static_cast<size_t>(r - band.haloBeforeFirst) * rowBytes, _bitmap.row(r), rowBytes);
        const int taps = static_cast<int>(_kernel.size()) - 1;
        const int afterEnd = std::min(_bitmap.height, band.end + taps);
        for (int r = band.end; r < afterEnd; ++r)
            std::memcpy(band.haloAfter.get() + static_cast<size_t>(r - band.end) * rowBytes, _bitmap.row(r), rowBytes);
    }
    runBands(_bitmap.height, static_cast<unsigned>(_bands.size()),
             [this](unsigned b, int, int) { runBand(_bands[b]); });
}

void UnsharpMask::runBand(Band& band)
{
    const int taps = static_cast<int>(_kernel.size()) - 1;
    const int bpp = _bitmap.bytesPerPixel();
    const int samples = _bitmap.width * bpp;
    const size_t rowBytes = static_cast<size_t>(samples);
    const int height = _bitmap.height;
    const float* w = _kernel.data();
    // The original row j (clamped to the bitmap) while row y is being written.
    auto original = [&](int j, int y) -> const uint8_t* {
        j = std::clamp(j, 0, height - 1);
        if (j < band.first)
            return band.haloBefore.get() + static_cast<size_t>(j - band.haloBeforeFirst) * rowBytes;
        if (j >= band.end)
            return band.haloAfter.get() + static_cast<size_t>(j - band.end) * rowBytes;
        if (j <= y)
            return band.ring.get() + static_cast<size_t>(j % (taps + 1)) * rowBytes;
        return _bitmap.row(j);
    };
    const int alphaOffset = _bitmap.format == PixelFormat::RGBA8 ? 3 : (_bitmap.format == PixelFormat::ARGB8 ? 0 : -1);
    float* vPadded = band.vertical.get();
    float* v = vPadded + static_cast<size_t>(taps) * static_cast<size_t>(bpp);
    const int stride = bpp;  // one pixel, in samples
    const float intensity = _intensity;
    for (int y = band.first; y < band.end; ++y) {
        std::memcpy(band.ring.get() + static_cast<size_t>(y % (taps + 1)) * rowBytes, _bitmap.row(y), rowBytes);
        // Vertical pass, symmetric taps paired.
        const uint8_t* centre = original(y, y);
        for (int i = 0; i < samples; ++i)
            v[i] = w[0] * static_cast<float>(centre[i]);
        for (int k = 1; k <= taps; ++k) {
            const uint8_t* up = original(y - k, y);
            const uint8_t* down = original(y + k, y);
            const float wk = w[k];
            for (int i = 0; i < samples; ++i)
                v[i] += wk * static_cast<float>(static_cast<int>(up[i]) + static_cast<int>(down[i]));
        }
        // Edge pixels continue beyond the row's ends.
        for (int k = 1; k <= taps; ++k)
            for (int c = 0; c < bpp; ++c) {
                v[-k * bpp + c] = v[c];
                v[samples - bpp + k * bpp + c] = v[samples - bpp + c];
            }
        // Horizontal pass, tap by tap so that the inner loops run over contiguous samples.
        float* blur = band.blurred.get();
        for (int i = 0; i < samples; ++i)
            blur[i] = w[0] * v[i];
        for (int k = 1; k <= taps; ++k) {
            const float wk = w[k];
            const float* left = v - k * stride;
            const float* right = v + k * stride;
            for (int i = 0; i < samples; ++i)
                blur[i] += wk * (left[i] + right[i]);
        }
        // The sharpening, one output row.
        uint8_t* out = band.output.get();
        for (int i = 0; i < samples; ++i) {
            const float c = static_cast<float>(centre[i]);
            const float s = c + intensity * (c - blur[i]) + 0.5f;
            out[i] = static_cast<uint8_t>(s <= 0.0f ? 0.0f : (s >= 255.0f ? 255.0f : s));
        }
        if (alphaOffset >= 0)
            for (int x = 0; x < _bitmap.width; ++x)
                out[x * bpp + alphaOffset] = centre[x * bpp + alphaOffset];
        std::memcpy(_bitmap.row(y), out, rowBytes);
    }
}

}  // namespace tessaron::image::detail

// The blur is separable: a vertical pass over float copies of the original rows, then a
// horizontal pass over the vertical sums, fused with the sharpening of the output row. The
// inner loops work on eight samples at a time with the compiler's vector types, so they use
// whatever SIMD width the target has without intrinsics.
#include "UnsharpMask.h"

#include "Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace tessaron::image::detail {

// The vector helpers are internal to this file; no ABI crosses it.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

constexpr int kLanes = 8;
using Floats = float __attribute__((vector_size(kLanes * sizeof(float))));
using Ints = int32_t __attribute__((vector_size(kLanes * sizeof(int32_t))));
using Bytes = uint8_t __attribute__((vector_size(kLanes)));

// Always inlined: called out of line, a vector return would cross between the builds'
// calling conventions (which is what -Wpsabi warns of), e.g. in an unoptimised build.
#define TESSARON_VECTOR_HELPER inline __attribute__((always_inline))

TESSARON_VECTOR_HELPER Floats load(const float* p)
{
    Floats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
TESSARON_VECTOR_HELPER void store(float* p, Floats v) { std::memcpy(p, &v, sizeof v); }
TESSARON_VECTOR_HELPER Floats splat(float f) { return Floats{} + f; }

template <typename T>
std::unique_ptr<T[]> allocate(size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count == 0 ? 1 : count]);
}

// The hot loops, built for AVX2 as well where the processor has it. Without fused
// multiply-add both builds compute the same operations in the same order, bit for bit.
#define TESSARON_SIMD_CLONES __attribute__((target_clones("avx2", "default")))

TESSARON_SIMD_CLONES void toFloats(const uint8_t* src, float* dst, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = static_cast<float>(src[i]);
}

// v = w0 centre + sum over k of wk (up_k + down_k).
TESSARON_SIMD_CLONES void verticalPass(const float* const* up, const float* const* down, const float* centre,
                                       const float* w, int taps, float* v, int n)
{
    const int vectorEnd = n - n % kLanes;
    const Floats w0 = splat(w[0]);
    for (int i = 0; i < vectorEnd; i += kLanes)
        store(v + i, w0 * load(centre + i));
    for (int i = vectorEnd; i < n; ++i)
        v[i] = w[0] * centre[i];
    for (int k = 1; k <= taps; ++k) {
        const float* a = up[k];
        const float* b = down[k];
        const Floats wk = splat(w[k]);
        for (int i = 0; i < vectorEnd; i += kLanes)
            store(v + i, load(v + i) + wk * (load(a + i) + load(b + i)));
        for (int i = vectorEnd; i < n; ++i)
            v[i] += w[k] * (a[i] + b[i]);
    }
}

// Samples c + intensity * (c - blur), rounded half up and clamped to 0...255.
inline uint8_t sharpen(float c, float blur, float intensity)
{
    const float s = c + intensity * (c - blur) + 0.5f;
    return static_cast<uint8_t>(s <= 0.0f ? 0.0f : (s >= 255.0f ? 255.0f : s));
}

// The horizontal blur of v (whose edge pixels continue `taps` pixels beyond either end),
// with the sharpening of centre into out.
TESSARON_SIMD_CLONES void horizontalSharpen(const float* v, const float* centre, const float* w, int taps, int step,
                                            float intensity, uint8_t* out, int n)
{
    const int vectorEnd = n - n % kLanes;
    const Floats w0 = splat(w[0]);
    const Floats gain = splat(intensity);
    const Floats half = splat(0.5f), lo = splat(0.0f), hi = splat(255.0f);
    for (int i = 0; i < vectorEnd; i += kLanes) {
        Floats blur = w0 * load(v + i);
        for (int k = 1; k <= taps; ++k)
            blur += splat(w[k]) * (load(v + i - k * step) + load(v + i + k * step));
        const Floats c = load(centre + i);
        Floats s = c + gain * (c - blur) + half;
        s = s < lo ? lo : s;
        s = s > hi ? hi : s;
        const Bytes q = __builtin_convertvector(__builtin_convertvector(s, Ints), Bytes);
        std::memcpy(out + i, &q, sizeof q);
    }
    for (int i = vectorEnd; i < n; ++i) {
        float blur = w[0] * v[i];
        for (int k = 1; k <= taps; ++k)
            blur += w[k] * (v[i - k * step] + v[i + k * step]);
        out[i] = sharpen(centre[i], blur, intensity);
    }
}

}  // namespace

// A band's rows read the original values of rows up to `taps` outside it, which the
// neighbouring bands overwrite; those are copied beforehand. Inside the band, the float
// ring holds the original rows y - taps ... y + taps while row y is written.
struct UnsharpMask::Band {
    int first = 0, end = 0;
    int haloBeforeFirst = 0;                // first row held in haloBefore
    std::unique_ptr<uint8_t[]> haloBefore;  // rows [haloBeforeFirst, first)
    std::unique_ptr<uint8_t[]> haloAfter;   // rows [end, end + count)
    std::unique_ptr<float[]> ring;          // 2 taps + 1 rows, as floats
    std::unique_ptr<float[]> vertical;      // one row plus the clamped edge pixels either side
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
    const size_t taps = u->_kernel.size() - 1;
    const size_t bpp = static_cast<size_t>(bitmap.bytesPerPixel());
    const size_t rowBytes = static_cast<size_t>(bitmap.width) * bpp;
    const size_t paddedSamples = (static_cast<size_t>(bitmap.width) + 2 * taps) * bpp;
    const unsigned bands = bandCount(bitmap.height, bitmap.width, threads);
    // Work memory per band: 2 taps rows of halo, 2 taps + 2 float rows; bounded like any bitmap.
    if ((2 * taps * rowBytes + (2 * taps + 2) * paddedSamples * sizeof(float)) * bands > kMaxBitmapBytes)
        return nullptr;
    u->_bands.resize(bands);
    for (unsigned b = 0; b < bands; ++b) {
        Band& band = u->_bands[b];
        band.first = bandStart(bitmap.height, bands, b);
        band.end = bandStart(bitmap.height, bands, b + 1);
        band.haloBeforeFirst = std::max(0, band.first - static_cast<int>(taps));
        const int afterCount = std::min(bitmap.height, band.end + static_cast<int>(taps)) - band.end;
        band.haloBefore = allocate<uint8_t>(static_cast<size_t>(band.first - band.haloBeforeFirst) * rowBytes);
        band.haloAfter = allocate<uint8_t>(static_cast<size_t>(afterCount) * rowBytes);
        band.ring = allocate<float>((2 * taps + 1) * rowBytes);
        band.vertical = allocate<float>(paddedSamples);
        if (!band.haloBefore || !band.haloAfter || !band.ring || !band.vertical)
            return nullptr;
    }
    return u;
}

void UnsharpMask::run()
{
    const size_t rowBytes = static_cast<size_t>(_bitmap.width) * static_cast<size_t>(_bitmap.bytesPerPixel());
    const int taps = static_cast<int>(_kernel.size()) - 1;
    // Halos first, before any band writes.
    for (Band& band : _bands) {
        for (int r = band.haloBeforeFirst; r < band.first; ++r)
            std::memcpy(band.haloBefore.get() + static_cast<size_t>(r - band.haloBeforeFirst) * rowBytes, _bitmap.row(r), rowBytes);
        const int afterEnd = std::min(_bitmap.height, band.end + taps);
        for (int r = band.end; r < afterEnd; ++r)
            std::memcpy(band.haloAfter.get() + static_cast<size_t>(r - band.end) * rowBytes, _bitmap.row(r), rowBytes);
    }
    runBands(_bitmap.height, static_cast<unsigned>(_bands.size()), [this](unsigned b, int, int) { runBand(_bands[b]); });
}

void UnsharpMask::runBand(Band& band)
{
    const int taps = static_cast<int>(_kernel.size()) - 1;
    const int ringRows = 2 * taps + 1;
    const int bpp = _bitmap.bytesPerPixel();
    const int samples = _bitmap.width * bpp;
    const size_t rowBytes = static_cast<size_t>(samples);
    const int height = _bitmap.height;
    const float* w = _kernel.data();
    const float intensity = _intensity;
    const int alphaOffset = _bitmap.format == PixelFormat::RGBA8 ? 3 : (_bitmap.format == PixelFormat::ARGB8 ? 0 : -1);

    // The original bytes of row j (clamped), which the ring has not taken yet.
    auto originalBytes = [&](int j) -> const uint8_t* {
        j = std::clamp(j, 0, height - 1);
        if (j < band.first)
            return band.haloBefore.get() + static_cast<size_t>(j - band.haloBeforeFirst) * rowBytes;
        if (j >= band.end)
            return band.haloAfter.get() + static_cast<size_t>(j - band.end) * rowBytes;
        return _bitmap.row(j);
    };
    auto ringRow = [&](int j) { return band.ring.get() + static_cast<size_t>(((j % ringRows) + ringRows) % ringRows) * rowBytes; };
    auto take = [&](int j) { toFloats(originalBytes(j), ringRow(j), samples); };
    for (int j = band.first - taps; j < band.first + taps; ++j)
        take(j);

    float* v = band.vertical.get() + static_cast<size_t>(taps) * static_cast<size_t>(bpp);
    std::vector<const float*> up(static_cast<size_t>(taps) + 1), down(static_cast<size_t>(taps) + 1);
    for (int y = band.first; y < band.end; ++y) {
        // Row y + taps is still original: bands write only their own rows, in order.
        take(y + taps);
        const float* centre = ringRow(y);
        for (int k = 1; k <= taps; ++k) {
            up[static_cast<size_t>(k)] = ringRow(y - k);
            down[static_cast<size_t>(k)] = ringRow(y + k);
        }
        verticalPass(up.data(), down.data(), centre, w, taps, v, samples);
        // Edge pixels continue beyond the row's ends.
        for (int k = 1; k <= taps; ++k)
            for (int c = 0; c < bpp; ++c) {
                v[-k * bpp + c] = v[c];
                v[samples - bpp + k * bpp + c] = v[samples - bpp + c];
            }
        uint8_t* out = _bitmap.row(y);
        horizontalSharpen(v, centre, w, taps, bpp, intensity, out, samples);
        if (alphaOffset >= 0)
            for (int x = 0; x < _bitmap.width; ++x)
                out[x * bpp + alphaOffset] = static_cast<uint8_t>(centre[x * bpp + alphaOffset]);
    }
}

}  // namespace tessaron::image::detail

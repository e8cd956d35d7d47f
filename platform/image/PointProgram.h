// Consecutive point filters compiled into stages that run row by row in one pass over the
// bitmap (internal). Every stage maps samples to samples exactly as its filter would alone.
#pragma once

#include "Filters.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tessaron::image::detail {

// An affine colour transform in sample units of 0...1: out = m * (r, g, b, a) + bias.
struct ColorAffine {
    std::array<std::array<double, 4>, 4> m{};
    std::array<double, 4> bias{};
};

ColorAffine colorAffineFor(const Filter& filter);  // CIColorControls or CIColorMatrix

// Round to the nearest sample and clamp; NaN gives 0.
inline uint8_t quantize(double unit)
{
    const double v = unit * 255.0 + 0.5;
    if (!(v >= 1.0))
        return 0;
    if (v >= 255.0)
        return 255;
    return static_cast<uint8_t>(v);
}

class PointProgram {
public:
    // filters: point filters only, in order. `format` fixes how alpha takes part.
    static PointProgram compile(std::span<const Filter> filters, PixelFormat format);

    bool empty() const { return _stages.empty(); }
    // Applies every stage to `pixels` pixels starting at `row`.
    void runRow(uint8_t* row, int pixels) const;
    size_t stageCount() const { return _stages.size(); }

private:
    struct Lut {
        std::array<std::array<uint8_t, 256>, 3> channel;  // r, g, b
    };
    // Fixed-point 3 x 3 colour transform, 16 fraction bits; alpha untouched.
    struct Affine3 {
        std::array<std::array<std::array<int32_t, 256>, 3>, 3> table;  // [out][in][sample]
        std::array<int32_t, 3> bias;
    };
    // Anything else (alpha taking part, huge coefficients): evaluated per pixel in double.
    struct Affine4 {
        ColorAffine transform;
    };
    struct Stage {
        enum class Kind : uint8_t { Lut, Affine3, Affine4 } kind;
        size_t index;  // into the vector of that kind
    };

    void addLut(const Lut& lut);
    void addAffine(const ColorAffine& affine);
    void runLut(const Lut& lut, uint8_t* row, int pixels) const;
    void runAffine3(const Affine3& affine, uint8_t* row, int pixels) const;
    void runAffine4(const Affine4& affine, uint8_t* row, int pixels) const;

    PixelFormat _format = PixelFormat::RGB8;
    std::array<int, 4> _offsets{};  // byte of r, g, b, a within a pixel (a = -1: none)
    std::vector<Stage> _stages;
    std::vector<Lut> _luts;
    std::vector<Affine3> _affines3;
    std::vector<Affine4> _affines4;
};

}  // namespace tessaron::image::detail

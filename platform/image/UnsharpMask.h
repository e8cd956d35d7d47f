// In-place unsharp mask over a bitmap, split into row bands (internal).
#pragma once

#include "Image.h"

#include <memory>
#include <vector>

namespace tessaron::image::detail {

// Sigma is the radius, as the desktop filter takes it; taps reach ceil(3 sigma) either side.
constexpr double kMaxUnsharpRadius = 100.0;

std::vector<float> gaussianKernel(double sigma);  // taps 0...R, normalised over -R...R

class UnsharpMask {
public:
    // Allocates every work buffer up front, so that run() cannot fail half-way; none when
    // an allocation fails or exceeds the bounds.
    static std::unique_ptr<UnsharpMask> prepare(BitmapView bitmap, double radius, double intensity, unsigned threads);
    void run();

    struct Band;
    ~UnsharpMask();

private:
    UnsharpMask() = default;
    void runBand(Band& band);

    BitmapView _bitmap;
    float _intensity = 0;
    std::vector<float> _kernel;
    std::vector<Band> _bands;
};

}  // namespace tessaron::image::detail

// Adjustment filters named and parameterised like their desktop counterparts
// ("CIColorControls", "CIGammaAdjust", "CIColorMatrix", "CIUnsharpMask", "CIAffineTransform",
// "CIConstantColorGenerator"), and the in-place application of a filter chain to a bitmap.
//
// Arithmetic (samples s in 0...255 stand for s / 255; every filter rounds its result to the
// nearest sample and clamps to 0...255; identity parameters leave every sample unchanged):
//   CIColorControls  l = 0.2125 r + 0.7154 g + 0.0721 b;  c' = l + sat * (c - l);
//                    c' += brightness;  c' = (c' - 0.5) * contrast + 0.5
//   CIGammaAdjust    c' = c ^ power (c >= 0)
//   CIColorMatrix    (r,g,b,a)' = (R.v, G.v, B.v, A.v) + bias, v = (r,g,b,a), a = 1 without alpha
//   CIUnsharpMask    c' = c + intensity * (c - gauss(c)); Gaussian sigma = radius, taps to
//                    ceil(3 sigma) either side, edges clamped; per colour channel, alpha kept
// Consecutive point filters run as one fused pass; the result equals applying them one after
// the other (each rounding to samples), bit for bit.
#pragma once

#include "Image.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tessaron::image {

using Vector4 = std::array<double, 4>;
// a b c d tx ty: x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    static AffineTransform translation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
    bool isTranslation() const { return a == 1 && b == 0 && c == 0 && d == 1; }
    bool operator==(const AffineTransform&) const = default;
};
using ParameterValue = std::variant<double, Vector4, AffineTransform, Color>;

// Text of a value for logs, e.g. "1.05", "[1 0 0 0]", "[1 0 0 1 12.5 0]", "(1 1 1 1)".
std::string describeValue(const ParameterValue& value);

// The attribute record of one filter input.
struct FilterParameter {
    std::string key;          // "inputBrightness"
    std::string displayName;  // "Brightness"
    std::string description;
    ParameterValue defaultValue;
    std::optional<ParameterValue> identity;
    std::optional<double> minimum, maximum, sliderMinimum, sliderMaximum;
};

enum class FilterKind : uint8_t {
    ColorControls,
    GammaAdjust,
    ColorMatrix,
    UnsharpMask,
    AffineTransform,
    ConstantColorGenerator,
};

class Filter {
public:
    // The filter of that name with every input at its default; none for an unknown name.
    static std::optional<Filter> filterWithName(std::string_view name);

    FilterKind kind() const { return _kind; }
    const std::string& name() const;         // "CIColorControls"
    const std::string& displayName() const;  // "Color Controls"
    const std::string& description() const;
    // Inputs in the filter's own order (the image input is not listed).
    const std::vector<FilterParameter>& parameters() const;

    void setDefaults();
    // False (nothing changed) for an unknown key or a value of the wrong type.
    bool setValueForKey(const ParameterValue& value, std::string_view key);
    std::optional<ParameterValue> valueForKey(std::string_view key) const;
    // Shorthands that answer 0 / zero vectors for a missing key.
    double numberForKey(std::string_view key) const;
    Vector4 vectorForKey(std::string_view key) const;

    // Changes pixels of a bitmap (the first four kinds); the other two act on image geometry.
    bool isPixelFilter() const;
    // Works sample by sample; such filters are fused.
    bool isPointOperation() const;
    // Current values leave every pixel as it is.
    bool isIdentity() const;

private:
    explicit Filter(FilterKind kind);
    FilterKind _kind;
    std::vector<ParameterValue> _values;  // parallel to parameters()
};

// The filter described for the debug log, on several lines: display name and description, then
// for every input its display name, description, current value and the default, minimum,
// maximum (the slider's ends where there are sliders) and identity values it has.
std::string shortDescription(const Filter& filter);

// Applies the pixel filters in order to the bitmap in place (RGB8, RGBA8 or ARGB8), using up
// to `threads` threads (0: all hardware threads). Answers false, with the bitmap untouched,
// for an invalid bitmap, a filter that is not a pixel filter, a non-finite parameter or a
// failed allocation.
bool applyFilters(BitmapView bitmap, std::span<const Filter> filters, unsigned threads = 0);

// Number of threads that `threads` stands for.
unsigned resolveThreadCount(unsigned threads);

}  // namespace tessaron::image

// The named filters, their inputs and attribute records.
#include "Filters.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <thread>

namespace tessaron::image {

namespace {

struct FilterInfo {
    FilterKind kind;
    std::string name;
    std::string displayName;
    std::string description;
    std::vector<FilterParameter> parameters;
};

FilterParameter number(std::string key, std::string display, std::string text, double def, std::optional<double> identity,
                       std::optional<double> min, std::optional<double> max, std::optional<double> sliderMin,
                       std::optional<double> sliderMax)
{
    FilterParameter p{std::move(key), std::move(display), std::move(text), def, std::nullopt, min, max, sliderMin, sliderMax};
    if (identity)
        p.identity = *identity;
    return p;
}

FilterParameter vector(std::string key, std::string display, std::string text, Vector4 def)
{
    return {std::move(key), std::move(display), std::move(text), def, def, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
}

const std::vector<FilterInfo>& registry()
{
    static const std::vector<FilterInfo> filters = {
        {FilterKind::ColorControls,
         "CIColorControls",
         "Color Controls",
         "Adjusts saturation, brightness and contrast.",
         {number("inputSaturation", "Saturation", "Colour saturation; 0 is grey, 1 unchanged.", 1, 1, 0, std::nullopt, 0, 2),
          number("inputBrightness", "Brightness", "Added to every colour component.", 0, 0, -1, std::nullopt, -1, 1),
          number("inputContrast", "Contrast", "Scales every colour component about middle grey.", 1, 1, 0, std::nullopt, 0.25, 4)}},
        {FilterKind::GammaAdjust,
         "CIGammaAdjust",
         "Gamma Adjust",
         "Raises every colour component to a power.",
         {number("inputPower", "Power", "The exponent; 1 leaves the image unchanged.", 1, 1, 0, std::nullopt, 0.25, 4)}},
        {FilterKind::ColorMatrix,
         "CIColorMatrix",
         "Color Matrix",
         "Multiplies each pixel by a 4 x 4 matrix and adds a bias.",
         {vector("inputRVector", "Red Vector", "Weights of R, G, B, A in the red result.", {1, 0, 0, 0}),
          vector("inputGVector", "Green Vector", "Weights of R, G, B, A in the green result.", {0, 1, 0, 0}),
          vector("inputBVector", "Blue Vector", "Weights of R, G, B, A in the blue result.", {0, 0, 1, 0}),
          vector("inputAVector", "Alpha Vector", "Weights of R, G, B, A in the alpha result.", {0, 0, 0, 1}),
          vector("inputBiasVector", "Bias Vector", "Added to the result.", {0, 0, 0, 0})}},
        {FilterKind::UnsharpMask,
         "CIUnsharpMask",
         "Unsharp Mask",
         "Sharpens by adding the difference to a Gaussian-blurred copy.",
         {number("inputRadius", "Radius", "Standard deviation of the blur in pixels.", 2.5, 0, 0, std::nullopt, 0, 100),
          number("inputIntensity", "Intensity", "Weight of the difference.", 0.5, 0, 0, std::nullopt, 0, 1)}},
        {FilterKind::AffineTransform,
         "CIAffineTransform",
         "Affine Transform",
         "Moves the image by an affine transform.",
         {{"inputTransform", "Transform", "The transform applied to the image.", AffineTransform{}, AffineTransform{}, std::nullopt,
           std::nullopt, std::nullopt, std::nullopt}}},
        {FilterKind::ConstantColorGenerator,
         "CIConstantColorGenerator",
         "Constant Color",
         "An image of unlimited extent in one colour.",
         {{"inputColor", "Color", "The colour of every pixel.", Color{1, 0, 0, 1}, std::nullopt, std::nullopt, std::nullopt,
           std::nullopt, std::nullopt}}},
    };
    return filters;
}

const FilterInfo& infoFor(FilterKind kind)
{
    return registry()[static_cast<size_t>(kind)];
}

std::string formatNumber(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// Appends to one string rather than chaining `"[" + std::string`: g++ 12 at -O3 reports a false
// -Wrestrict overlap inside the inlined chain.
std::string bracketed(char open, std::initializer_list<double> numbers, char close)
{
    std::string out(1, open);
    for (double n : numbers) {
        if (out.size() > 1)
            out += ' ';
        out += formatNumber(n);
    }
    out += close;
    return out;
}

}  // namespace

std::string describeValue(const ParameterValue& value)
{
    if (const double* d = std::get_if<double>(&value))
        return formatNumber(*d);
    if (const Vector4* v = std::get_if<Vector4>(&value))
        return bracketed('[', {(*v)[0], (*v)[1], (*v)[2], (*v)[3]}, ']');
    if (const AffineTransform* t = std::get_if<AffineTransform>(&value))
        return bracketed('[', {t->a, t->b, t->c, t->d, t->tx, t->ty}, ']');
    const Color& c = std::get<Color>(value);
    return bracketed('(', {c.red, c.green, c.blue, c.alpha}, ')');
}

Filter::Filter(FilterKind kind) : _kind(kind)
{
    setDefaults();
}

std::optional<Filter> Filter::filterWithName(std::string_view name)
{
    for (const FilterInfo& info : registry())
        if (info.name == name)
            return Filter(info.kind);
    return std::nullopt;
}

const std::string& Filter::name() const { return infoFor(_kind).name; }
const std::string& Filter::displayName() const { return infoFor(_kind).displayName; }
const std::string& Filter::description() const { return infoFor(_kind).description; }
const std::vector<FilterParameter>& Filter::parameters() const { return infoFor(_kind).parameters; }

void Filter::setDefaults()
{
    _values.clear();
    for (const FilterParameter& p : parameters())
        _values.push_back(p.defaultValue);
}

bool Filter::setValueForKey(const ParameterValue& value, std::string_view key)
{
    const auto& params = parameters();
    for (size_t i = 0; i < params.size(); ++i) {
        if (params[i].key != key)
            continue;
        if (value.index() != params[i].defaultValue.index())
            return false;
        _values[i] = value;
        return true;
    }
    return false;
}

std::optional<ParameterValue> Filter::valueForKey(std::string_view key) const
{
    const auto& params = parameters();
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].key == key)
            return _values[i];
    return std::nullopt;
}

double Filter::numberForKey(std::string_view key) const
{
    const auto v = valueForKey(key);
    const double* d = v ? std::get_if<double>(&*v) : nullptr;
    return d ? *d : 0.0;
}

Vector4 Filter::vectorForKey(std::string_view key) const
{
    const auto v = valueForKey(key);
    const Vector4* d = v ? std::get_if<Vector4>(&*v) : nullptr;
    return d ? *d : Vector4{0, 0, 0, 0};
}

bool Filter::isPixelFilter() const
{
    return _kind == FilterKind::ColorControls || _kind == FilterKind::GammaAdjust || _kind == FilterKind::ColorMatrix ||
           _kind == FilterKind::UnsharpMask;
}

bool Filter::isPointOperation() const
{
    return _kind == FilterKind::ColorControls || _kind == FilterKind::GammaAdjust || _kind == FilterKind::ColorMatrix;
}

bool Filter::isIdentity() const
{
    switch (_kind) {
    case FilterKind::UnsharpMask:
        return numberForKey("inputRadius") == 0 || numberForKey("inputIntensity") == 0;
    case FilterKind::ConstantColorGenerator:
        return false;
    default:
        break;
    }
    const auto& params = parameters();
    for (size_t i = 0; i < params.size(); ++i)
        if (!params[i].identity || !(_values[i] == *params[i].identity))
            return false;
    return true;
}

unsigned resolveThreadCount(unsigned threads)
{
    if (threads != 0)
        return threads > 64 ? 64 : threads;
    const unsigned hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : (hw > 64 ? 64 : hw);
}

}  // namespace tessaron::image

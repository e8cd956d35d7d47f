#include "PointProgram.h"

#include <cmath>

namespace tessaron::image::detail {

namespace {

// Luminance weights of the saturation change (Rec. 709 primaries).
constexpr double kLumaR = 0.2125, kLumaG = 0.7154, kLumaB = 0.0721;
constexpr int kFractionBits = 16;
// Keeps three table entries plus the bias inside int32.
constexpr double kMaxFixedCoefficient = 16.0;

ColorAffine colorControls(const Filter& f)
{
    const double s = f.numberForKey("inputSaturation");
    const double b = f.numberForKey("inputBrightness");
    const double k = f.numberForKey("inputContrast");
    const std::array<double, 3> luma{kLumaR, kLumaG, kLumaB};
    ColorAffine a;
    // c' = k * (s c + (1 - s) l + b - 0.5) + 0.5
    for (int o = 0; o < 3; ++o) {
        for (int i = 0; i < 3; ++i)
            a.m[o][i] = k * ((1.0 - s) * luma[i] + (o == i ? s : 0.0));
        a.bias[o] = k * (b - 0.5) + 0.5;
    }
    a.m[3][3] = 1.0;
    return a;
}

ColorAffine colorMatrix(const Filter& f)
{
    ColorAffine a;
    const char* keys[4] = {"inputRVector", "inputGVector", "inputBVector", "inputAVector"};
    for (int o = 0; o < 4; ++o)
        a.m[o] = f.vectorForKey(keys[o]);
    a.bias = f.vectorForKey("inputBiasVector");
    return a;
}

bool alphaTakesPart(const ColorAffine& a)
{
    return a.m[0][3] != 0 || a.m[1][3] != 0 || a.m[2][3] != 0 || a.m[3][0] != 0 || a.m[3][1] != 0 || a.m[3][2] != 0 ||
           a.m[3][3] != 1 || a.bias[3] != 0;
}

// Without alpha every pixel is opaque: the alpha column becomes part of the bias.
ColorAffine foldOpaqueAlpha(ColorAffine a)
{
    for (int o = 0; o < 3; ++o) {
        a.bias[o] += a.m[o][3];
        a.m[o][3] = 0;
    }
    a.m[3] = {0, 0, 0, 1};
    a.bias[3] = 0;
    return a;
}

bool isDiagonal(const ColorAffine& a)
{
    for (int o = 0; o < 3; ++o)
        for (int i = 0; i < 3; ++i)
            if (o != i && a.m[o][i] != 0)
                return false;
    return true;
}

bool fitsFixedPoint(const ColorAffine& a)
{
    for (int o = 0; o < 3; ++o) {
        for (int i = 0; i < 3; ++i)
            if (!(std::fabs(a.m[o][i]) <= kMaxFixedCoefficient))
                return false;
        if (!(std::fabs(a.bias[o]) <= kMaxFixedCoefficient))
            return false;
    }
    return true;
}

}  // namespace

ColorAffine colorAffineFor(const Filter& filter)
{
    return filter.kind() == FilterKind::ColorControls ? colorControls(filter) : colorMatrix(filter);
}

PointProgram PointProgram::compile(std::span<const Filter> filters, PixelFormat format)
{
    PointProgram p;
    p._format = format;
    switch (format) {
    case PixelFormat::RGB8: p._offsets = {0, 1, 2, -1}; break;
    case PixelFormat::RGBA8: p._offsets = {0, 1, 2, 3}; break;
    case PixelFormat::ARGB8: p._offsets = {1, 2, 3, 0}; break;
    }
    for (const Filter& f : filters) {
        if (f.isIdentity())
            continue;
        if (f.kind() == FilterKind::GammaAdjust) {
            const double power = f.numberForKey("inputPower");
            Lut lut;
            for (int v = 0; v < 256; ++v)
                lut.channel[0][v] = quantize(std::pow(v / 255.0, power));
            lut.channel[1] = lut.channel[2] = lut.channel[0];
            p.addLut(lut);
        } else {
            p.addAffine(colorAffineFor(f));
        }
    }
    return p;
}

void PointProgram::addLut(const Lut& lut)
{
    // A table after a table composes into one.
    if (!_stages.empty() && _stages.back().kind == Stage::Kind::Lut) {
        Lut& prev = _luts[_stages.back().index];
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                prev.channel[c][v] = lut.channel[c][prev.channel[c][v]];
        return;
    }
    _stages.push_back({Stage::Kind::Lut, _luts.size()});
    _luts.push_back(lut);
}

void PointProgram::addAffine(const ColorAffine& given)
{
    const bool alpha = hasAlpha(_format) && alphaTakesPart(given);
    const ColorAffine a = hasAlpha(_format) ? given : foldOpaqueAlpha(given);
    if (alpha || !fitsFixedPoint(a)) {
        _stages.push_back({Stage::Kind::Affine4, _affines4.size()});
        _affines4.push_back({a});
        return;
    }
    if (isDiagonal(a)) {
        Lut lut;
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                lut.channel[c][v] = quantize(a.m[c][c] * (v / 255.0) + a.bias[c]);
        addLut(lut);
        return;
    }
    Affine3 t;
    constexpr double scale = double(1 << kFractionBits);
    for (int o = 0; o < 3; ++o) {
        for (int i = 0; i < 3; ++i)
            for (int v = 0; v < 256; ++v)
                t.table[o][i][v] = static_cast<int32_t>(std::lround(a.m[o][i] * v * scale));
        // Half a sample for rounding to nearest.
        t.bias[o] = static_cast<int32_t>(std::lround(a.bias[o] * 255.0 * scale)) + (1 << (kFractionBits - 1));
    }
    _stages.push_back({Stage::Kind::Affine3, _affines3.size()});
    _affines3.push_back(t);
}

void PointProgram::runRow(uint8_t* row, int pixels) const
{
    for (const Stage& s : _stages) {
        switch (s.kind) {
        case Stage::Kind::Lut: runLut(_luts[s.index], row, pixels); break;
        case Stage::Kind::Affine3: runAffine3(_affines3[s.index], row, pixels); break;
        case Stage::Kind::Affine4: runAffine4(_affines4[s.index], row, pixels); break;
        }
    }
}

void PointProgram::runLut(const Lut& lut, uint8_t* row, int pixels) const
{
    const int bpp = bytesPerPixel(_format);
    const int ro = _offsets[0], go = _offsets[1], bo = _offsets[2];
    const uint8_t* lr = lut.channel[0].data();
    const uint8_t* lg = lut.channel[1].data();
    const uint8_t* lb = lut.channel[2].data();
    if (bpp == 3) {
        for (int x = 0; x < pixels; ++x, row += 3) {
            row[0] = lr[row[0]];
            row[1] = lg[row[1]];
            row[2] = lb[row[2]];
        }
        return;
    }
    for (int x = 0; x < pixels; ++x, row += 4) {
        row[ro] = lr[row[ro]];
        row[go] = lg[row[go]];
        row[bo] = lb[row[bo]];
    }
}

namespace {
inline uint8_t clampFixed(int32_t v)
{
    v >>= kFractionBits;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
}  // namespace

void PointProgram::runAffine3(const Affine3& t, uint8_t* row, int pixels) const
{
    const int bpp = bytesPerPixel(_format);
    const int ro = _offsets[0], go = _offsets[1], bo = _offsets[2];
    const auto& T = t.table;
    for (int x = 0; x < pixels; ++x, row += bpp) {
        const uint8_t r = row[ro], g = row[go], b = row[bo];
        const int32_t nr = T[0][0][r] + T[0][1][g] + T[0][2][b] + t.bias[0];
        const int32_t ng = T[1][0][r] + T[1][1][g] + T[1][2][b] + t.bias[1];
        const int32_t nb = T[2][0][r] + T[2][1][g] + T[2][2][b] + t.bias[2];
        row[ro] = clampFixed(nr);
        row[go] = clampFixed(ng);
        row[bo] = clampFixed(nb);
    }
}

void PointProgram::runAffine4(const Affine4& t, uint8_t* row, int pixels) const
{
    const int bpp = bytesPerPixel(_format);
    const int ao = _offsets[3];
    const auto& m = t.transform.m;
    const auto& bias = t.transform.bias;
    for (int x = 0; x < pixels; ++x, row += bpp) {
        double in[4];
        for (int c = 0; c < 3; ++c)
            in[c] = row[_offsets[c]] / 255.0;
        in[3] = ao >= 0 ? row[ao] / 255.0 : 1.0;
        const int channels = ao >= 0 ? 4 : 3;
        for (int o = 0; o < channels; ++o) {
            const double v = m[o][0] * in[0] + m[o][1] * in[1] + m[o][2] * in[2] + m[o][3] * in[3] + bias[o];
            row[_offsets[o]] = quantize(v);
        }
    }
}

}  // namespace tessaron::image::detail

#include "TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace tessaron::image::test {

Bitmap randomBitmap(int width, int height, PixelFormat format, uint32_t seed, size_t rowAlignment)
{
    auto b = Bitmap::create(width, height, format, rowAlignment);
    EXPECT_TRUE(b.has_value());
    std::mt19937 rng(seed);
    for (size_t i = 0; i < b->byteCount(); ++i)
        b->data()[i] = static_cast<uint8_t>(rng());
    return std::move(*b);
}

Bitmap copyOf(const Bitmap& src)
{
    // Same stride as the source, so that padding is compared too.
    for (size_t alignment = 1; alignment <= 64; alignment *= 2) {
        auto c = Bitmap::create(src.width(), src.height(), src.format(), alignment);
        if (c && c->bytesPerRow() == src.bytesPerRow()) {
            std::memcpy(c->data(), src.data(), src.byteCount());
            return std::move(*c);
        }
    }
    ADD_FAILURE() << "copyOf: unsupported stride";
    return std::move(*Bitmap::create(1, 1, src.format()));
}

bool sameBytes(const Bitmap& a, const Bitmap& b)
{
    return a.bytesPerRow() == b.bytesPerRow() && a.height() == b.height() && std::memcmp(a.data(), b.data(), a.byteCount()) == 0;
}

int maxSampleDifference(const Bitmap& a, const Bitmap& b)
{
    int worst = 0;
    const size_t n = static_cast<size_t>(a.width()) * static_cast<size_t>(a.samplesPerPixel());
    for (int r = 0; r < a.height(); ++r)
        for (size_t i = 0; i < n; ++i)
            worst = std::max(worst, std::abs(int(a.row(r)[i]) - int(b.row(r)[i])));
    return worst;
}

uint8_t toSample(double unit)
{
    const double v = std::round(unit * 255.0);
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

namespace {
struct Offsets {
    int r, g, b, a;
};
Offsets offsets(PixelFormat f)
{
    if (f == PixelFormat::RGBA8)
        return {0, 1, 2, 3};
    if (f == PixelFormat::ARGB8)
        return {1, 2, 3, 0};
    return {0, 1, 2, -1};
}
}  // namespace

Bitmap referencePoint(const Bitmap& in, const Filter& f)
{
    Bitmap out = copyOf(in);
    const Offsets o = offsets(in.format());
    const int bpp = in.samplesPerPixel();
    for (int y = 0; y < in.height(); ++y) {
        for (int x = 0; x < in.width(); ++x) {
            uint8_t* p = out.row(y) + x * bpp;
            double c[4] = {p[o.r] / 255.0, p[o.g] / 255.0, p[o.b] / 255.0, o.a >= 0 ? p[o.a] / 255.0 : 1.0};
            double n[4] = {c[0], c[1], c[2], c[3]};
            if (f.kind() == FilterKind::ColorControls) {
                const double s = f.numberForKey("inputSaturation"), br = f.numberForKey("inputBrightness"),
                             k = f.numberForKey("inputContrast");
                const double l = 0.2125 * c[0] + 0.7154 * c[1] + 0.0721 * c[2];
                for (int i = 0; i < 3; ++i)
                    n[i] = ((l + s * (c[i] - l)) + br - 0.5) * k + 0.5;
            } else if (f.kind() == FilterKind::GammaAdjust) {
                for (int i = 0; i < 3; ++i)
                    n[i] = std::pow(c[i], f.numberForKey("inputPower"));
            } else if (f.kind() == FilterKind::ColorMatrix) {
                const char* keys[4] = {"inputRVector", "inputGVector", "inputBVector", "inputAVector"};
                const Vector4 bias = f.vectorForKey("inputBiasVector");
                for (int i = 0; i < 4; ++i) {
                    const Vector4 v = f.vectorForKey(keys[i]);
                    n[i] = v[0] * c[0] + v[1] * c[1] + v[2] * c[2] + v[3] * c[3] + bias[i];
                }
            }
            p[o.r] = toSample(n[0]);
            p[o.g] = toSample(n[1]);
            p[o.b] = toSample(n[2]);
            if (o.a >= 0)
                p[o.a] = toSample(n[3]);
        }
    }
    return out;
}

Bitmap referenceUnsharp(const Bitmap& in, double radius, double intensity)
{
    const int taps = std::max(1, static_cast<int>(std::ceil(3 * radius)));
    std::vector<double> w(static_cast<size_t>(2 * taps + 1));
    double sum = 0;
    for (int k = -taps; k <= taps; ++k)
        sum += w[static_cast<size_t>(k + taps)] = std::exp(-0.5 * k * k / (radius * radius));
    for (double& v : w)
        v /= sum;
    const int W = in.width(), H = in.height(), bpp = in.samplesPerPixel();
    std::vector<double> vertical(static_cast<size_t>(W) * H * bpp);
    auto at = [&](int x, int y, int c) { return static_cast<double>(in.row(std::clamp(y, 0, H - 1))[std::clamp(x, 0, W - 1) * bpp + c]); };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < bpp; ++c) {
                double s = 0;
                for (int k = -taps; k <= taps; ++k)
                    s += w[static_cast<size_t>(k + taps)] * at(x, y + k, c);
                vertical[(static_cast<size_t>(y) * W + x) * bpp + c] = s;
            }
    Bitmap out = copyOf(in);
    const int alpha = in.format() == PixelFormat::RGBA8 ? 3 : (in.format() == PixelFormat::ARGB8 ? 0 : -1);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < bpp; ++c) {
                if (c == alpha)
                    continue;
                double blur = 0;
                for (int k = -taps; k <= taps; ++k)
                    blur += w[static_cast<size_t>(k + taps)] * vertical[(static_cast<size_t>(y) * W + std::clamp(x + k, 0, W - 1)) * bpp + c];
                const double v = at(x, y, c);
                out.row(y)[x * bpp + c] = toSample((v + intensity * (v - blur)) / 255.0);
            }
    return out;
}

Filter makeFilter(const char* name, std::initializer_list<std::pair<const char*, ParameterValue>> values)
{
    auto f = Filter::filterWithName(name);
    EXPECT_TRUE(f.has_value()) << name;
    for (const auto& [key, value] : values)
        EXPECT_TRUE(f->setValueForKey(value, key)) << name << " " << key;
    return *f;
}

}  // namespace tessaron::image::test

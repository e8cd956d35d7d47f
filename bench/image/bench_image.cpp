// Image engine throughput on a 2400 x 1800 RGB page; Arg(0) is one thread, Arg(1) all.
#include "Encoders.h"
#include "Filters.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {
using namespace tessaron::image;

Bitmap page()
{
    auto b = Bitmap::create(2400, 1800, PixelFormat::RGB8);
    std::mt19937 rng(1);
    for (size_t i = 0; i < b->byteCount(); ++i)
        b->data()[i] = static_cast<uint8_t>(rng());
    return std::move(*b);
}

Filter make(const char* name, std::initializer_list<std::pair<const char*, ParameterValue>> values)
{
    Filter f = *Filter::filterWithName(name);
    for (const auto& [k, v] : values)
        f.setValueForKey(v, k);
    return f;
}

void run(benchmark::State& state, const std::vector<Filter>& chain)
{
    Bitmap b = page();
    const unsigned threads = state.range(0) == 0 ? 1 : 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(applyFilters(b.view(), chain, threads));
    state.counters["Mpx/s"] = benchmark::Counter(2400.0 * 1800 * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void BM_FusedColour(benchmark::State& s)
{
    run(s, {make("CIColorControls", {{"inputSaturation", 1.2}, {"inputBrightness", 0.05}, {"inputContrast", 1.05}}),
            make("CIGammaAdjust", {{"inputPower", 1.1}})});
}
void BM_ColourMatrix(benchmark::State& s)
{
    run(s, {make("CIColorMatrix", {{"inputRVector", Vector4{1.1, 0, 0, 0}}, {"inputBVector", Vector4{0, 0, 0.9, 0}}})});
}
void BM_Unsharp(benchmark::State& s)
{
    run(s, {make("CIUnsharpMask", {{"inputRadius", 2.5}, {"inputIntensity", 0.5}})});
}
void BM_EncodeBMP(benchmark::State& s)
{
    Bitmap b = page();
    for (auto _ : s)
        benchmark::DoNotOptimize(encodeBMP(b.view()));
    s.counters["Mpx/s"] = benchmark::Counter(2400.0 * 1800 * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}
void BM_EncodeJPEG(benchmark::State& s)
{
    Bitmap b = page();
    for (auto _ : s)
        benchmark::DoNotOptimize(encodeJPEG(b.view(), 0.95));
    s.counters["Mpx/s"] = benchmark::Counter(2400.0 * 1800 * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FusedColour)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColourMatrix)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Unsharp)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeBMP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeJPEG)->Unit(benchmark::kMillisecond);
}  // namespace

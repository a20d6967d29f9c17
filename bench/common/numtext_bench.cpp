// Cost of one number-text conversion: every reading is formatted several
// times and every alarm test parses the shown text and a limit.
#include <benchmark/benchmark.h>

#include "common/numtext.h"

namespace {

void BM_RealToTextFixed(benchmark::State& state) {
    long double v = 12.3456L;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kestrane::RealToText(v, 3));
        v += 0.001L;
    }
}
BENCHMARK(BM_RealToTextFixed);

void BM_RealToTextExponent(benchmark::State& state) {
    long double v = 1.2345678901234567e300L;
    for (auto _ : state) benchmark::DoNotOptimize(kestrane::RealToText(v, 6));
}
BENCHMARK(BM_RealToTextExponent);

void BM_RealToTextLargest(benchmark::State& state) {
    const long double v = 9.999999999999999e4931L;
    for (auto _ : state) benchmark::DoNotOptimize(kestrane::RealToText(v, 6));
}
BENCHMARK(BM_RealToTextLargest);

void BM_TextToReal(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(kestrane::TextToReal(" 12.345678"));
}
BENCHMARK(BM_TextToReal);

void BM_TextToRealRejected(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(kestrane::TextToReal("  DISABLED"));
}
BENCHMARK(BM_TextToRealRejected);

}  // namespace

BENCHMARK_MAIN();

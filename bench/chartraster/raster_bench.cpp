// Throughput of the raster primitives a chart paint leans on: full-window
// fills, blends, anti-aliased curve segments, text and picture decoding.
#include <benchmark/benchmark.h>

#include "plotwick/assets.h"
#include "plotwick/raster.h"

namespace {

using namespace plotwick;

void Setup() {
    if (!RasterReady()) RasterInit(1920, 1200);
}

void BM_RectFill(benchmark::State& state) {
    Setup();
    for (auto _ : state) RectFill(0, 0, 1920, 1200, 0xFFFFFFFFu);
    state.SetItemsProcessed(state.iterations() * 1920 * 1200);
}
BENCHMARK(BM_RectFill);

void BM_RectBlend64(benchmark::State& state) {
    Setup();
    for (auto _ : state) RectBlend(0, 0, 1920, 1200, 0x445577u, 64);
    state.SetItemsProcessed(state.iterations() * 1920 * 1200);
}
BENCHMARK(BM_RectBlend64);

void BM_VLineHalfColumns(benchmark::State& state) {
    Setup();
    for (auto _ : state)
        for (int x = 0; x < 1800; ++x) VLineHalf(x, 100, 900, 0xCCCCDDu);
    state.SetItemsProcessed(state.iterations() * 1800 * 900);
}
BENCHMARK(BM_VLineHalfColumns);

void BM_LineAASegments(benchmark::State& state) {
    Setup();
    for (auto _ : state)
        for (int x = 0; x < 1800; ++x) LineAA(x, 600 + (x % 37), x + 1, 600 + ((x + 1) % 37), 0xFF0000u);
    state.SetItemsProcessed(state.iterations() * 1800);
}
BENCHMARK(BM_LineAASegments);

void BM_TextDrawSmall(benchmark::State& state) {
    Setup();
    SetFont(RasterAssets().smallFont);
    for (auto _ : state)
        for (int y = 0; y < 1100; y += 11) TextDraw(5, y, "24 Apr 2010 12:30:45 PM + 12.345 V", 0);
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_TextDrawSmall);

void BM_ImageDecodeSheet(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ImageDecode(assets::SheetPictureBlob()));
        RasterFree();
    }
}
BENCHMARK(BM_ImageDecodeSheet);

}  // namespace

BENCHMARK_MAIN();

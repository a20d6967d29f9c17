// Throughput of the raster primitives a chart paint leans on: full-window
// fills, blends, anti-aliased curve segments, text and picture decoding.
#include <benchmark/benchmark.h>

#include <functional>

#include "plotwick/assets.h"
#include "plotwick/raster.h"
#include "plotwick/raster_state.h"

namespace {

using namespace plotwick;

// The full-screen raster main() owns and every benchmark draws into, set up
// again after a benchmark freed it.
void Setup(RasterState& raster) {
    if (!RasterReady(raster)) RasterInit(raster, 1920, 1200);
}

void BM_RectFill(benchmark::State& state, RasterState& raster) {
    Setup(raster);
    for (auto _ : state) RectFill(raster, 0, 0, 1920, 1200, 0xFFFFFFFFu);
    state.SetItemsProcessed(state.iterations() * 1920 * 1200);
}

void BM_RectBlend64(benchmark::State& state, RasterState& raster) {
    Setup(raster);
    for (auto _ : state) RectBlend(raster, 0, 0, 1920, 1200, 0x445577u, 64);
    state.SetItemsProcessed(state.iterations() * 1920 * 1200);
}

void BM_VLineHalfColumns(benchmark::State& state, RasterState& raster) {
    Setup(raster);
    for (auto _ : state)
        for (int x = 0; x < 1800; ++x) VLineHalf(raster, x, 100, 900, 0xCCCCDDu);
    state.SetItemsProcessed(state.iterations() * 1800 * 900);
}

void BM_LineAASegments(benchmark::State& state, RasterState& raster) {
    Setup(raster);
    for (auto _ : state)
        for (int x = 0; x < 1800; ++x)
            LineAA(raster, x, 600 + (x % 37), x + 1, 600 + ((x + 1) % 37), 0xFF0000u);
    state.SetItemsProcessed(state.iterations() * 1800);
}

void BM_TextDrawSmall(benchmark::State& state, RasterState& raster) {
    Setup(raster);
    SetFont(raster, RasterAssets(raster).smallFont);
    for (auto _ : state)
        for (int y = 0; y < 1100; y += 11) TextDraw(raster, 5, y, "24 Apr 2010 12:30:45 PM + 12.345 V", 0);
    state.SetItemsProcessed(state.iterations() * 100);
}

void BM_ImageDecodeSheet(benchmark::State& state, RasterState& raster) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ImageDecode(raster, assets::SheetPictureBlob()));
        RasterFree(raster);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RasterState raster;
    benchmark::RegisterBenchmark("BM_RectFill", BM_RectFill, std::ref(raster));
    benchmark::RegisterBenchmark("BM_RectBlend64", BM_RectBlend64, std::ref(raster));
    benchmark::RegisterBenchmark("BM_VLineHalfColumns", BM_VLineHalfColumns, std::ref(raster));
    benchmark::RegisterBenchmark("BM_LineAASegments", BM_LineAASegments, std::ref(raster));
    benchmark::RegisterBenchmark("BM_TextDrawSmall", BM_TextDrawSmall, std::ref(raster));
    benchmark::RegisterBenchmark("BM_ImageDecodeSheet", BM_ImageDecodeSheet, std::ref(raster));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Block rendering of the carried song, as a multiple of real time on one
// core, and the ring's copy costs. The mixing thread must make a 21.3 ms
// block in a small part of that time on a loaded machine; the multiple is
// that margin.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <vector>

#include "about_song.h"
#include "music/engine/xm_renderer.h"
#include "music/player/sound_output.h"

namespace {

using namespace kestrane::music;

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void BM_CarriedSongBlock(benchmark::State& state) {
    engine::XmLoadResult loaded = engine::LoadXm(AboutSongBytes());
    if (!loaded.ok()) {
        state.SkipWithError("the carried song does not load");
        return;
    }
    engine::XmRenderer renderer(std::make_shared<const engine::XmSong>(std::move(loaded.song)), true);
    std::array<std::int16_t, engine::kXmBlockSamples> block{};
    // CPU time of this thread: the figure is for one core, however busy the
    // machine is with other work.
    const double start = ThreadSeconds();
    for (auto _ : state) {
        renderer.RenderBlock(block);
        benchmark::DoNotOptimize(block.data());
    }
    const double cpu = ThreadSeconds() - start;
    const double audio =
        static_cast<double>(state.iterations()) * engine::kXmBlockFrames / engine::kXmSampleRate;
    const double multiple = cpu > 0 ? audio / cpu : 0.0;
    char label[64];
    std::snprintf(label, sizeof label, "%.0f x real time", multiple);
    state.SetLabel(label);
    state.counters["x_real_time"] = multiple;
}
BENCHMARK(BM_CarriedSongBlock);

void BM_RingWriteAndDeviceRead(benchmark::State& state) {
    player::OutputRing ring;
    std::array<std::int16_t, player::kBlockSamples> block{};
    std::vector<std::byte> out(player::kBlockBytes);
    std::size_t index = 0;
    for (auto _ : state) {
        ring.WriteBlock(index, block);
        ring.Read(index * player::kBlockBytes + 100, out);
        benchmark::DoNotOptimize(out.data());
        ++index;
    }
    state.SetItemsProcessed(state.iterations() * player::kBlockFrames);
}
BENCHMARK(BM_RingWriteAndDeviceRead);

}  // namespace

BENCHMARK_MAIN();

// Block rendering of the carried song and the ring's copy costs. The
// mixing thread must make a 21.3 ms block in a small part of that time on
// a loaded machine; frames/s here divided by 48,000 is the margin.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "about_song.h"
#include "engine/xm_renderer.h"
#include "player/sound_output.h"

namespace {

using namespace kestrane;

void BM_CarriedSongBlock(benchmark::State& state) {
  XmLoadResult loaded = LoadXm(music::AboutSongBytes());
  if (!loaded.ok()) {
    state.SkipWithError("the carried song does not load");
    return;
  }
  XmRenderer renderer(std::make_shared<const XmSong>(std::move(loaded.song)), true);
  std::array<std::int16_t, kXmBlockSamples> block{};
  for (auto _ : state) {
    renderer.RenderBlock(block);
    benchmark::DoNotOptimize(block.data());
  }
  state.SetItemsProcessed(state.iterations() * kXmBlockFrames);
}
BENCHMARK(BM_CarriedSongBlock);

void BM_RingWriteAndDeviceRead(benchmark::State& state) {
  music::OutputRing ring;
  std::array<std::int16_t, music::kBlockSamples> block{};
  std::vector<std::byte> out(music::kBlockBytes);
  std::size_t index = 0;
  for (auto _ : state) {
    ring.WriteBlock(index, block);
    ring.Read(index * music::kBlockBytes + 100, out);
    benchmark::DoNotOptimize(out.data());
    ++index;
  }
  state.SetItemsProcessed(state.iterations() * music::kBlockFrames);
}
BENCHMARK(BM_RingWriteAndDeviceRead);

}  // namespace

BENCHMARK_MAIN();

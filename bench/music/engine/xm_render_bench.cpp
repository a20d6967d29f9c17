// Render speed of the XM renderer on one core, as multiples of real time:
// a 6-channel song like the carried one and a dense 32-channel test song,
// both made with the XM writer at run time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

#include "music/engine/xm_renderer.h"
#include "music/engine/xm_song.h"
#include "xm_writer.h"

namespace {

using kestrane::xmw::Cell;

kestrane::xmw::Sample Wave(int length, int harmonics, uint8_t loopType) {
    kestrane::xmw::Sample s;
    s.sixteenBit = true;
    for (int i = 0; i < length; ++i) {
        double v = 0;
        for (int h = 1; h <= harmonics; ++h) v += std::sin(6.2831853 * h * i / length) / h;
        s.data.push_back(static_cast<int16_t>(12000 * v));
    }
    s.loopType = loopType;
    s.loopLength = static_cast<uint32_t>(length);
    s.volume = 40;
    return s;
}

kestrane::xmw::Song MakeSong(int channels, int noteEvery, int speed) {
    kestrane::xmw::Song song;
    song.channels = channels;
    song.speed = speed;
    song.tempo = 140;
    song.orders = {0, 1, 2, 3};
    const uint8_t effects[][2] = {{0x0, 0x37}, {0x4, 0x46}, {0xA, 0x02}, {0x0, 0},
                                  {0x3, 0x20}, {0x7, 0x34}, {0x0, 0}};
    for (int p = 0; p < 4; ++p) {
        kestrane::xmw::Pattern pat;
        pat.rows = 64;
        for (int row = 0; row < 64; ++row)
            for (int c = 0; c < channels; ++c) {
                Cell& cell = pat.At(row, c, channels);
                if ((row + c) % noteEvery == 0) {
                    cell.note = static_cast<uint8_t>(25 + (row * 7 + c * 5 + p * 3) % 48);
                    cell.instrument = static_cast<uint8_t>(1 + (c % 3));
                }
                const auto& e = effects[(row + c + p) % 7];
                cell.effect = e[0];
                cell.param = e[1];
            }
        song.patterns.push_back(pat);
    }
    kestrane::xmw::Instrument lead = kestrane::xmw::SingleSampleInstrument(Wave(512, 5, 1));
    lead.volumeEnvelope.points = {{0, 64}, {10, 48}, {30, 40}, {80, 0}};
    lead.volumeEnvelope.type = 3;
    lead.volumeEnvelope.sustain = 2;
    lead.fadeout = 800;
    lead.vibratoDepth = 3;
    lead.vibratoRate = 12;
    kestrane::xmw::Instrument pad = kestrane::xmw::SingleSampleInstrument(Wave(2048, 3, 2));
    pad.panningEnvelope.points = {{0, 16}, {40, 48}, {80, 16}};
    pad.panningEnvelope.type = 5;
    pad.panningEnvelope.loopStart = 0;
    pad.panningEnvelope.loopEnd = 2;
    kestrane::xmw::Instrument hit = kestrane::xmw::SingleSampleInstrument(Wave(6000, 8, 0));
    song.instruments = {lead, pad, hit};
    return song;
}

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::shared_ptr<const kestrane::music::engine::XmSong> LoadSong(const kestrane::xmw::Song& s) {
    const std::vector<uint8_t> bytes = kestrane::xmw::WriteXm(s);
    kestrane::music::engine::XmLoadResult r = kestrane::music::engine::LoadXm(bytes);
    if (!r.ok()) std::abort();
    return std::make_shared<const kestrane::music::engine::XmSong>(std::move(r.song));
}

void RenderBench(benchmark::State& state, const kestrane::xmw::Song& description) {
    kestrane::music::engine::XmRenderer renderer(LoadSong(description));
    std::array<int16_t, kestrane::music::engine::kXmBlockSamples> block{};
    int64_t frames = 0;
    // CPU time of this thread: the figure is for one core, however busy
    // the machine is with other work.
    const double start = ThreadSeconds();
    for (auto _ : state) {
        renderer.RenderBlock(block);
        benchmark::DoNotOptimize(block.data());
        frames += kestrane::music::engine::kXmBlockFrames;
    }
    const double cpu = ThreadSeconds() - start;
    const double audio = static_cast<double>(frames) / kestrane::music::engine::kXmSampleRate;
    char label[64];
    std::snprintf(label, sizeof label, "%.0f x real time", cpu > 0 ? audio / cpu : 0.0);
    state.SetLabel(label);
    state.counters["x_real_time"] = cpu > 0 ? audio / cpu : 0.0;
}

void BM_Render6Channels(benchmark::State& state) { RenderBench(state, MakeSong(6, 4, 6)); }
void BM_Render32ChannelsDense(benchmark::State& state) { RenderBench(state, MakeSong(32, 1, 3)); }

BENCHMARK(BM_Render6Channels);
BENCHMARK(BM_Render32ChannelsDense);

}  // namespace

BENCHMARK_MAIN();

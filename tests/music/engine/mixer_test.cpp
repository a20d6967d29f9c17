// The mixer, sample-exactly: volume ramps, the two-voice hand-over, loops,
// the end of a sample, the 40 Hz floor, panning and the 16-bit block.
#include <gtest/gtest.h>

#include "test_songs.h"

namespace kestrane::music::engine {
namespace {

using xmtest::Load;
using xmtest::Mix;
using xmtest::NextTick;
using xmw::Cell;

constexpr uint8_t kC4 = 49;
// A DC sample of 8,192 at full volume, centre panning: final volume 127,
// both targets 63; each frame adds 8,192 x current volume / 2.
constexpr int64_t kPerVolumeUnit = 4096;
constexpr int64_t kFull = kPerVolumeUnit * 63 * 128;

TEST(XmMixer, NoteStartRampsUpOver128Frames) {
    XmRenderer r(Load(xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}})));
    const std::vector<int64_t> acc = Mix(r, 300);
    for (int k = 0; k < 300; ++k) {
        const int64_t expected = kPerVolumeUnit * 63 * std::min(k, 128);
        ASSERT_EQ(acc[2 * static_cast<size_t>(k)], expected) << k;
        ASSERT_EQ(acc[2 * static_cast<size_t>(k) + 1], expected) << k;
    }
}

TEST(XmMixer, BlockConversion) {
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}});
    XmRenderer r(Load(s));
    std::array<int16_t, kXmBlockSamples> block{};
    ASSERT_TRUE(r.RenderBlock(block));
    // 33,030,144 / 16,320 = 2,023 remainder 14,784: rounds up.
    EXPECT_EQ(block[2 * 200], 2024);
    EXPECT_EQ(block[2 * 200 + 1], 2024);
    EXPECT_EQ(block[2], XmConvertSample(kPerVolumeUnit * 63, kXmUnityMasterVolume));
    r.SetMasterVolume(16384);
    ASSERT_TRUE(r.RenderBlock(block));
    EXPECT_EQ(block[0], 1012);
}

TEST(XmMixer, TwoVoiceHandOverCrossFades) {
    // Row 1 starts a note of a second instrument (DC 4,096) while the first
    // still sounds: the old voice ramps down as the new one ramps up.
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}, Cell{kC4, 2, 0, 0, 0}}, 1, 125);
    s.instruments.push_back(xmtest::InstrumentWith(xmtest::DcSample(4096, 1000)));
    XmRenderer r(Load(s));
    Mix(r, 960);
    EXPECT_EQ(r.Channel(0).currentVoice, 0);
    const std::vector<int64_t> acc = Mix(r, 300);
    EXPECT_EQ(r.Channel(0).currentVoice, 1);
    for (int k = 0; k < 300; ++k) {
        const int64_t oldPart = kPerVolumeUnit * (63 * 128 - 63 * std::min(k, 128));
        const int64_t newPart = kPerVolumeUnit / 2 * 63 * std::min(k, 128);
        ASSERT_EQ(acc[2 * static_cast<size_t>(k)], oldPart + newPart) << k;
    }
    // The faded voice is released once silent.
    Mix(r, 10);
    EXPECT_EQ(r.Channel(0).voices[0].sample, nullptr);
}

TEST(XmMixer, VolumeChangeRampsFromTheCurrentVolume) {
    // C20 (volume 32) on row 1: targets 31, ramp step (31*128 - 63*128) >> 7.
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}, Cell{0, 0, 0, 0xC, 0x20}}, 1, 125);
    XmRenderer r(Load(s));
    Mix(r, 960);
    const std::vector<int64_t> acc = Mix(r, 200);
    EXPECT_EQ(r.Channel(0).voices[0].targetLeft, 31);
    for (int k = 0; k < 200; ++k)
        ASSERT_EQ(acc[2 * static_cast<size_t>(k)], kPerVolumeUnit * (63 * 128 - 32 * std::min(k, 128))) << k;
}

TEST(XmMixer, PanningSplitsTheVolume) {
    const struct {
        uint8_t panningCommand;
        int32_t left, right;
    } cases[] = {
        {0xC0, 127, 0},  // panning 0: full left
        {0xCF, 7, 119},  // panning 240
        {0xC8, 63, 63},  // panning 128
    };
    for (const auto& c : cases) {
        xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, c.panningCommand, 0, 0}});
        XmRenderer r(Load(s));
        const std::vector<int64_t> acc = Mix(r, 200);
        EXPECT_EQ(r.Channel(0).voices[0].targetLeft, c.left) << int{c.panningCommand};
        EXPECT_EQ(r.Channel(0).voices[0].targetRight, c.right) << int{c.panningCommand};
        EXPECT_EQ(acc[2 * 150], kPerVolumeUnit * c.left * 128);
        EXPECT_EQ(acc[2 * 150 + 1], kPerVolumeUnit * c.right * 128);
    }
}

// Ten frames of `before`, then ten of `inLoop`, looped over the second half.
xmw::Song TwoLevelSong(uint8_t loopType, uint8_t note) {
    xmw::Sample smp;
    smp.sixteenBit = true;
    smp.data.assign(10, 1000);
    smp.data.insert(smp.data.end(), 10, 8192);
    smp.loopType = loopType;
    smp.loopStart = 10;
    smp.loopLength = 10;
    smp.volume = 64;
    xmw::Song s = xmtest::OneChannelSong({Cell{note, 1, 0, 0, 0}});
    s.instruments[0] = xmtest::InstrumentWith(smp);
    return s;
}

TEST(XmMixer, LoopsStayInsideTheirLoop) {
    // B-7 plays about 16 frames of sample per output frame: the loops wrap
    // or turn many times; the part before the loop is never heard again.
    for (uint8_t loopType : {uint8_t{1}, uint8_t{2}}) {
        XmRenderer r(Load(TwoLevelSong(loopType, 96)));
        const std::vector<int64_t> acc = Mix(r, 5000);
        for (int k = 200; k < 5000; ++k)
            ASSERT_EQ(acc[2 * static_cast<size_t>(k)], kFull) << int{loopType} << " " << k;
        const XmVoice& v = r.Channel(0).voices[0];
        ASSERT_NE(v.sample, nullptr);
        EXPECT_GE(v.position, 10u);
        EXPECT_LT(v.position, 20u);
    }
}

// Short forward loops are mixed from a longer repeated copy; the voice's
// position must still be exactly where stepping through the sample's own
// loop puts it, at any pitch and however often it wrapped.
TEST(XmMixer, ShortForwardLoopPositionIsExact) {
    for (uint8_t note : {uint8_t{1}, uint8_t{49}, uint8_t{80}, uint8_t{96}}) {
        for (uint32_t loopLength : {1u, 3u, 511u}) {
            xmw::Sample sample = xmtest::DcSample(1000, 4 + loopLength, 1);
            sample.loopStart = 4;
            sample.loopLength = loopLength;
            xmw::Song song = xmtest::OneChannelSong({Cell{note, 1, 0, 0, 0}}, 6, 125);
            song.instruments[0] = xmtest::InstrumentWith(sample);
            XmRenderer r(Load(song));
            const size_t frames = 700;  // inside the first tick: one pitch throughout
            Mix(r, frames);
            const XmVoice& v = r.Channel(0).voices[r.Channel(0).currentVoice];
            ASSERT_NE(v.sample, nullptr);
            const int64_t ls = int64_t{4} << 32;
            const int64_t le = int64_t{4 + loopLength} << 32;
            int64_t pos = 0;
            for (size_t f = 0; f < frames; ++f) {
                pos += static_cast<int64_t>(v.step);
                if (pos >= le) pos = ls + (pos - le) % (le - ls);
            }
            EXPECT_EQ(v.position, static_cast<uint32_t>(pos >> 32)) << int{note} << " " << loopLength;
            EXPECT_EQ(v.fraction, static_cast<uint32_t>(pos)) << int{note} << " " << loopLength;
        }
    }
}

TEST(XmMixer, PingPongTurnsAtBothEnds) {
    XmRenderer r(Load(TwoLevelSong(2, 96)));
    bool sawBackward = false, sawForwardAgain = false;
    for (int i = 0; i < 200; ++i) {
        Mix(r, 1);
        const XmVoice& v = r.Channel(0).voices[0];
        if (v.backward)
            sawBackward = true;
        else if (sawBackward)
            sawForwardAgain = true;
    }
    EXPECT_TRUE(sawBackward);
    EXPECT_TRUE(sawForwardAgain);
}

TEST(XmMixer, SampleWithoutLoopStopsTheVoice) {
    // 1,000 frames at C-4 (8,363 Hz): the voice runs 5,740 output frames.
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}});
    s.instruments[0].samples[0].loopType = 0;
    XmRenderer r(Load(s));
    const std::vector<int64_t> acc = Mix(r, 5750);
    const uint64_t step = XmStepForFrequency(8363);
    const size_t lastFrame = static_cast<size_t>(((uint64_t{1000} << 32) + step - 1) / step) - 1;
    EXPECT_EQ(acc[2 * (lastFrame - 6)], kFull);
    // The last frame interpolates toward the zero after the sample's end.
    EXPECT_GT(acc[2 * lastFrame], 0);
    EXPECT_LT(acc[2 * lastFrame], kFull);
    EXPECT_EQ(acc[2 * lastFrame + 2], 0);
    EXPECT_EQ(r.Channel(0).voices[0].sample, nullptr);
}

TEST(XmMixer, ZeroFrequencyPlaysAtTheFloor) {
    // 2FF slides the linear period up by 1,020 a tick until the frequency
    // rounds to 0; the mixer then steps at 40 Hz.
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0x2, 0xFF}}, 31, 255);
    XmRenderer r(Load(s));
    for (int t = 0; t < 12; ++t) NextTick(r);
    const XmChannel& ch = r.Channel(0);
    ASSERT_EQ(ch.voices[0].step, 0u);
    const uint32_t pos = ch.voices[0].position;
    const uint32_t frac = ch.voices[0].fraction;
    Mix(r, 100);
    const uint64_t before = (uint64_t{pos} << 32) | frac;
    const uint64_t after = (uint64_t{ch.voices[0].position} << 32) | ch.voices[0].fraction;
    EXPECT_EQ(after - before, 100 * kXmFloorStep);
}

TEST(XmMixer, PatternWithoutCellsLeavesVoicesUnchanged) {
    // Order 1 names a pattern stored without cells: the envelope stops
    // stepping and the note sounds on as it was.
    xmw::Song s = xmtest::OneChannelSong({Cell{kC4, 1, 0, 0, 0}, Cell{}}, 2, 125);
    xmw::Pattern bare;
    bare.rows = 4;
    s.patterns.push_back(bare);
    s.orders = {0, 1};
    s.instruments[0].volumeEnvelope.points = {{0, 64}, {40, 0}};
    s.instruments[0].volumeEnvelope.type = 1;
    XmRenderer r(Load(s));
    for (int t = 0; t < 4; ++t) NextTick(r);
    const int32_t env = r.Channel(0).envelopeVolume;
    EXPECT_LT(env, 64);
    for (int t = 0; t < 8; ++t) NextTick(r);
    EXPECT_EQ(r.Position().order, 1);
    EXPECT_EQ(r.Channel(0).envelopeVolume, env);
    const std::vector<int64_t> acc = Mix(r, 10);
    EXPECT_NE(acc[0], 0);
}

TEST(XmMixer, ManyLoudVoicesClipInsteadOfWrapping) {
    xmw::Song s;
    s.channels = 32;
    xmw::Pattern p;
    p.rows = 1;
    for (int c = 0; c < 32; ++c) p.At(0, c, 32) = Cell{kC4, 1, 0, 0, 0};
    s.patterns.push_back(p);
    s.instruments.push_back(xmtest::InstrumentWith(xmtest::DcSample(32767, 1000)));
    XmRenderer r(Load(s));
    std::array<int16_t, kXmBlockSamples> block{};
    r.RenderBlock(block);
    EXPECT_EQ(block[2 * 500], 32767);
    EXPECT_EQ(block[2 * 500 + 1], 32767);
}

// The AVX2 mixer against the portable one, sample for sample, where its
// fast paths have edges: samples shorter than or just around eight and
// sixteen frames (the one-load reads stop short of the data's end), steps
// around 6/7 frame and far above, every loop type, hard-panned voices (a
// zero side) and more voices than the 32-bit accumulator holds between
// flushes. The samples are noise, so any misplaced frame shows.
TEST(XmMixer, SimdMatchesPortableAtItsEdges) {
    struct Case {
        uint32_t length;
        uint8_t loopType;
        uint32_t loopStart;
        uint32_t loopLength;
        uint8_t panning;
    };
    const Case cases[] = {{3, 0, 0, 0, 128},          {8, 0, 0, 0, 0},         {9, 1, 0, 9, 255},
                          {15, 2, 3, 12, 128},        {16, 0, 0, 0, 128},      {17, 1, 8, 9, 64},
                          {40, 2, 0, 40, 200},        {300, 1, 100, 200, 128}, {5000, 0, 0, 0, 30},
                          {5000, 1, 4000, 1000, 128}, {24, 1, 0, 24, 128}};
    // C-1, C-4, a step just below and just above 6/7 frame, and high.
    const uint8_t notesSets[][2] = {{1, 49}, {76, 77}, {61, 73}, {85, 96}};
    uint32_t seed = 12345;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int16_t>(seed >> 16);
    };
    const int channels = static_cast<int>(std::size(cases));
    for (const auto& notes : notesSets) {
        xmw::Song s;
        s.channels = channels;
        xmw::Pattern p;
        p.rows = 2;
        for (int c = 0; c < channels; ++c) {
            const Case& k = cases[c];
            xmw::Sample smp;
            smp.sixteenBit = true;
            for (uint32_t i = 0; i < k.length; ++i) smp.data.push_back(noise());
            smp.loopType = k.loopType;
            smp.loopStart = k.loopStart;
            smp.loopLength = k.loopLength;
            smp.panning = k.panning;
            s.instruments.push_back(xmtest::InstrumentWith(smp));
            const uint8_t instrument = static_cast<uint8_t>(c + 1);
            p.At(0, c, channels) = Cell{notes[c % 2], instrument, 0, 0, 0};
            // A volume change on the second row starts ramps mid-run.
            p.At(1, c, channels) = Cell{0, 0, static_cast<uint8_t>(0x10 + 8 * (c % 7)), 0, 0};
        }
        s.patterns.push_back(p);
        std::vector<int64_t> mixed[2];
        for (int simd = 0; simd < 2; ++simd) {
            XmAllowSimdMixing(simd == 1);
            XmRenderer r(Load(s));
            mixed[simd] = Mix(r, 12000);
        }
        XmAllowSimdMixing(true);
        ASSERT_EQ(mixed[0].size(), mixed[1].size());
        for (size_t i = 0; i < mixed[0].size(); ++i)
            ASSERT_EQ(mixed[1][i], mixed[0][i])
                << "notes " << int{notes[0]} << "/" << int{notes[1]} << " sample " << i;
    }
}

}  // namespace
}  // namespace kestrane::music::engine

namespace kestrane::music::engine {
namespace {

TEST(XmMixer, InconsistentHandMadeSongsRenderSilence) {
    const XmSong good = *xmtest::Load(xmtest::OneChannelSong({Cell{49, 1, 0, 0, 0}}));
    ASSERT_TRUE(XmSongIsPlayable(good));
    const struct {
        const char* name;
        void (*change)(XmSong&);
    } cases[] = {
        {"order names a missing pattern", [](XmSong& s) { s.orders[0] = 7; }},
        {"no channels", [](XmSong& s) { s.channels = 0; }},
        {"cells do not match rows", [](XmSong& s) { s.patterns[0].rows = 2; }},
        {"sample data too short", [](XmSong& s) { s.instruments[0].samples[0].data.resize(3); }},
        {"loop beyond the sample", [](XmSong& s) { s.instruments[0].samples[0].loopLength = 5000; }},
        {"envelope loop past its points",
         [](XmSong& s) {
             XmEnvelope& e = s.instruments[0].volumeEnvelope;
             e.count = 2;
             e.type = kXmEnvOn | kXmEnvLoop;
             e.loopEnd = 5;
         }},
        {"more instruments counted than stored", [](XmSong& s) { s.instrumentCount = 9; }},
    };
    for (const auto& c : cases) {
        XmSong bad = good;
        c.change(bad);
        EXPECT_FALSE(XmSongIsPlayable(bad)) << c.name;
        XmRenderer r(std::make_shared<const XmSong>(bad));
        std::array<int16_t, kXmBlockSamples> block{};
        block.fill(7);
        EXPECT_FALSE(r.RenderBlock(block)) << c.name;
        EXPECT_EQ(block[100], 0) << c.name;
    }
}

}  // namespace
}  // namespace kestrane::music::engine

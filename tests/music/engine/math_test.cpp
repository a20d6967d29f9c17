// Pure playback arithmetic: timing, periods, frequencies, steps, waveforms
// and the 16-bit conversion with its rounding.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "music/engine/xm_math.h"

namespace kestrane::music::engine {
namespace {

TEST(XmMath, FramesPerTick) {
    const struct {
        int tempo;
        int32_t frames;
    } cases[] = {
        {125, 960}, {216, 555}, {32, 3750}, {255, 470}, {1, 120000}, {0, 120000},
    };
    for (const auto& c : cases) EXPECT_EQ(XmFramesPerTick(c.tempo), c.frames) << c.tempo;
}

TEST(XmMath, LinearPeriods) {
    const struct {
        int note, finetune;
        int32_t period;
    } cases[] = {
        {48, 0, 4608},   {0, 0, 7680},     {49, 0, 4544},
        {48, 127, 4545}, {48, -128, 4672}, {48, -1, 4608},  // halving rounds toward zero
        {48, 1, 4608},   {48, -3, 4609},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XmLinearPeriod(c.note, c.finetune), c.period) << c.note << " " << c.finetune;
}

TEST(XmMath, AmigaPeriods) {
    const struct {
        int note, finetune;
        int32_t period;
    } cases[] = {
        {48, 0, 1712},
        {60, 0, 856},
        {49, 0, 1616},
        {47, 0, 1814},
        {48, 64, 1712 + (1616 - 1712) * 64 / 128},
        {48, -64, 1712 + (1814 - 1712) * 64 / 128},
        {48, 1, 1712 + (1616 - 1712) * 1 / 128},  // -0.75 rounds toward zero
        {48, -128, 1814},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XmAmigaPeriod(c.note, c.finetune), c.period) << c.note << " " << c.finetune;
}

TEST(XmMath, Frequencies) {
    EXPECT_EQ(XmLinearFrequency(4608, 0), 8363u);
    EXPECT_EQ(XmLinearFrequency(4608 - 768, 0), 16726u);
    EXPECT_EQ(XmLinearFrequency(4608, 768), 4182u);  // 4181.5 rounds up
    EXPECT_EQ(XmAmigaFrequency(1712, 0), 14317456u / 1712);
    EXPECT_EQ(XmAmigaFrequency(1700, 12), 14317456u / 1712);
    // Period plus offset at or below zero plays at 40 Hz on both tables.
    const struct { int32_t period, offset; } floors[] = {{0, 0}, {1, -1}, {-5, 0}, {10, -100}};
    for (const auto& f : floors) {
        EXPECT_EQ(XmLinearFrequency(f.period, f.offset), 40u);
        EXPECT_EQ(XmAmigaFrequency(f.period, f.offset), 40u);
    }
    EXPECT_GT(XmLinearFrequency(1, 0), 500000u);
}

TEST(XmMath, StepIsFrequencyOver48000In32_32) {
    EXPECT_EQ(XmStepForFrequency(48000), uint64_t{1} << 32);
    EXPECT_EQ(XmStepForFrequency(24000), uint64_t{1} << 31);
    EXPECT_EQ(XmStepForFrequency(40), 3579139u);  // the mixer's own floor step is 3,579,136
    EXPECT_EQ(XmStepForFrequency(96000 + 12000), (uint64_t{2} << 32) | (uint64_t{1} << 30));
    EXPECT_EQ(XmStepForFrequency(0), 0u);
}

TEST(XmMath, ConversionRounding) {
    const struct {
        int64_t acc;
        int32_t master;
        int16_t out;
    } cases[] = {
        {0, 32768, 0},
        {8159, 32768, 0},
        {8160, 32768, 1},  // remainder 8,160 rounds up
        {-8159, 32768, 0},
        {-8160, 32768, -1},
        {16320, 32768, 1},
        {16320 + 8159, 32768, 1},
        {16320 + 8160, 32768, 2},
        {-(16320 * 100 + 8160), 32768, -101},
        {int64_t{16320} * 32767, 32768, 32767},
        {int64_t{16320} * 40000, 32768, 32767},    // limited
        {-int64_t{16320} * 40000, 32768, -32767},  // symmetric limit
        {int64_t{1} << 40, 32768, 32767},
        {16320 * 100, 16384, 50},
        {-16320 * 101, 16384, -50},  // scaled magnitude truncates toward zero
        {16320 * 100, 0, 0},
        {int64_t{16320} * 30000, 65536, 32767},  // a master above unity still clips
    };
    for (const auto& c : cases) {
        EXPECT_EQ(XmConvertSample(c.acc, c.master), c.out) << c.acc << " " << c.master;
        int16_t block = 0;
        XmConvertBlock(&c.acc, &block, 1, c.master);
        EXPECT_EQ(block, c.out) << "block: " << c.acc << " " << c.master;
    }
}

// The block conversion's unity fast paths (AVX2 and portable) against the
// per-sample rule, around every rounding step and the limit.
TEST(XmMath, BlockConversionMatchesPerSample) {
    std::vector<int64_t> acc;
    for (int64_t q : {0, 1, 2, 100, 32765, 32766, 32767, 32768, 40000})
        for (int64_t d : {-8161, -8160, -8159, -1, 0, 1, 8159, 8160, 8161})
            for (int64_t sign : {1, -1}) acc.push_back(sign * (q * 16320 + d));
    for (int64_t big : {int64_t{1} << 31, (int64_t{1} << 31) - 1, int64_t{1} << 40, INT64_MAX, -INT64_MAX})
        acc.push_back(big);
    for (bool simd : {true, false}) {
        XmAllowSimdMixing(simd);
        std::vector<int16_t> out(acc.size());
        XmConvertBlock(acc.data(), out.data(), acc.size(), kXmUnityMasterVolume);
        for (size_t i = 0; i < acc.size(); ++i)
            EXPECT_EQ(out[i], XmConvertSample(acc[i], kXmUnityMasterVolume))
                << acc[i] << (simd ? " simd" : "");
    }
    XmAllowSimdMixing(true);
}

TEST(XmMath, VibratoWaveforms) {
    const struct {
        int wave, pos, value;
    } cases[] = {
        {0, 0, 0},    {0, 8, 90},    {0, 16, 127},  {0, 31, 12},   {0, 32, 0},    {0, 48, -127},
        {0, 63, -12}, {0, 64, 0},    {1, 0, 127},   {1, 63, -127}, {1, 32, -2},   {2, 0, 127},
        {2, 31, 127}, {2, 32, -127}, {3, 40, -127}, {4, 16, 127},  {6, 40, -127},
    };
    for (const auto& c : cases) EXPECT_EQ(XmVibratoWave(c.wave, c.pos), c.value) << c.wave << " " << c.pos;
    // The ramp falls monotonically across the whole span.
    for (int p = 1; p < 64; ++p) EXPECT_LT(XmVibratoWave(1, p), XmVibratoWave(1, p - 1));
}

TEST(XmMath, AutoVibratoWaveforms) {
    const struct {
        int wave, pos, value;
    } cases[] = {
        {0, 0, 0},    {0, 1, 2},   {0, 64, 64},   {0, 127, 2},   {0, 128, 0},   {0, 129, -2}, {0, 192, -64},
        {0, 255, -2}, {1, 0, 64},  {1, 127, 64},  {1, 128, -64}, {1, 255, -64}, {2, 0, 0},    {2, 128, 64},
        {2, 129, 63}, {2, 255, 0}, {2, 127, -63}, {2, 1, 0},     {3, 0, 0},     {3, 128, 64}, {3, 127, 63},
        {3, 1, 0},    {3, 64, 32}, {3, 129, -63}, {2, 64, -32},  {7, 10, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XmAutoVibratoWave(c.wave, c.pos), c.value) << c.wave << " " << c.pos;
}

}  // namespace
}  // namespace kestrane::music::engine

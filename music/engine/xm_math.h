// Pure arithmetic of XM playback: timing, pitch, waveforms and the
// conversion of the 32-bit mix to 16-bit output. Everything is integer
// except the two frequency formulas.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrane::music::engine {

inline constexpr int kXmSampleRate = 48000;
inline constexpr int kXmBlockFrames = 1024;
inline constexpr int kXmBlockSamples = 2 * kXmBlockFrames;  // left, right interleaved
inline constexpr int32_t kXmUnityMasterVolume = 32768;
inline constexpr uint64_t kXmFloorStep = 3579136;  // 40 Hz as a 32.32 step

// Frames per tick for a tempo in BPM: 120,000 / tempo, 120,000 for tempo 0.
int32_t XmFramesPerTick(int tempo);

// Period of note n (0 = C-0) on the linear table.
int32_t XmLinearPeriod(int note, int finetune);
// Period of note n on the Amiga table, finetune moving it toward the neighbour.
int32_t XmAmigaPeriod(int note, int finetune);
int32_t XmNotePeriod(bool linear, int note, int finetune);

// Frequency in Hz for period + offset; 40 Hz when that is 0 or less.
uint32_t XmLinearFrequency(int32_t period, int32_t offset);
uint32_t XmAmigaFrequency(int32_t period, int32_t offset);

// frequency / 48,000 as a 32.32 fixed-point step.
uint64_t XmStepForFrequency(uint32_t frequency);

// One accumulator value to an output sample: rounded /16,320, limited to
// +-32,767, scaled by the master volume (32,768 = unity). The accumulator is
// 64-bit so that many loud voices clip instead of wrapping around.
// Inline so block conversion divides by a constant (a multiply, not a divide).
inline int16_t XmConvertSample(int64_t accumulated, int32_t masterVolume) {
    const uint64_t magnitude =
        accumulated < 0 ? 0 - static_cast<uint64_t>(accumulated) : static_cast<uint64_t>(accumulated);
    uint32_t q = 32767;
    // Below this bound the rounded quotient is under 32,767 and the
    // magnitude fits 32 bits, so the common case stays in 32-bit arithmetic.
    if (magnitude < uint64_t{16320} * 32767 - 8160) {
        const uint32_t m = static_cast<uint32_t>(magnitude);
        q = m / 16320;
        if (m - q * 16320 >= 8160) ++q;
    }
    int64_t v = int64_t{q} * masterVolume / 32768;
    v = v > 32767 ? 32767 : v < -32767 ? -32767 : v;  // a master volume above unity still clips
    return static_cast<int16_t>(accumulated < 0 ? -v : v);
}

// XmConvertSample over a whole buffer. At unity master volume (the usual
// case) the scaling is the identity, so each value is only rounded and
// limited, in 32-bit arithmetic the compiler can vectorise.
void XmConvertBlock(const int64_t* accumulated, int16_t* out, size_t count, int32_t masterVolume);

// The mixer and the block conversion use AVX2 where the processor has it,
// with the same results as the portable loops; tests turn it off to check
// that the portable loops agree.
void XmAllowSimdMixing(bool allowed);
bool XmSimdMixing();

// Vibrato / tremolo waveform value (-127..127) for a 6-bit position.
int32_t XmVibratoWave(int waveform, int position);
// Auto-vibrato waveform value (-64..64) for an 8-bit position.
int32_t XmAutoVibratoWave(int waveform, int position);

}  // namespace kestrane::music::engine

// Pure arithmetic of XM playback: timing, pitch, waveforms and the
// conversion of the 32-bit mix to 16-bit output. Everything is integer
// except the two frequency formulas.
#pragma once

#include <cstdint>

namespace kestrane {

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
int16_t XmConvertSample(int64_t accumulated, int32_t masterVolume);

// Vibrato / tremolo waveform value (-127..127) for a 6-bit position.
int32_t XmVibratoWave(int waveform, int position);
// Auto-vibrato waveform value (-64..64) for an 8-bit position.
int32_t XmAutoVibratoWave(int waveform, int position);

}  // namespace kestrane

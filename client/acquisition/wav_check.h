// Checks an alarm sound file before it reaches the sound player: the
// player's loader can wait for ever on a damaged or truncated WAV file, and
// everything that waits on it then freezes, so only complete files pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrane {

// Largest sound file played; the player holds the whole file in memory.
inline constexpr std::size_t kMaxSoundFileBytes = 64u * 1024u * 1024u;

// True for a complete RIFF/WAVE file: a "fmt " chunk of integer PCM (8, 16,
// 24 or 32 bits) or 32-bit float, 1 to 8 channels, a sample rate of 1 Hz
// to 384 kHz, then a non-empty "data" chunk lying wholly inside the file
// and inside the RIFF size. Any other bytes give false; never reads
// outside `bytes`.
bool IsPlayableWav(std::span<const uint8_t> bytes);

}  // namespace kestrane

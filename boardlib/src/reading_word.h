// The board's reading word: polarity and magnitude decoding, scaling to
// volts, the answer texts of both modes, and the inverse (volts to word)
// that the simulated firmware uses. Pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kestrane::board {

inline constexpr uint32_t kPolarityBit = 0x40000000u;
inline constexpr uint32_t kCountMask = 0x3FFFFF80u;
inline constexpr uint32_t kMaxCount = 16777214u;
// Largest magnitude a word can express, in volts (count 16777214).
inline constexpr double kFullScaleVolts = 202.671265;

struct DecodedWord {
    bool positive = true;
    uint32_t count = 0;  // even, 0 to 16777214
};

// Bit 30 set means positive; the count comes from bits 7-29 of the word
// (of its two's complement when negative). Bits 31 and 0-6 never count.
DecodedWord DecodeWord(uint32_t word);

// Magnitude in volts of a count: count / 16777215 x 4.089 x 49.56505 minus
// the 0.000212034 zero offset, taken absolute afterwards.
long double CountToVolts(uint32_t count);

// Mode 0: the word as a signed 32-bit decimal ("-1073741824").
std::string WordToMode0Text(uint32_t word);
// Mode 1: sign by polarity, then the magnitude with six decimals
// ("+ 0.197734").
std::string WordToMode1Text(uint32_t word);

// The word whose decoding shows `volts` to within one count: the nearest
// even count, saturating at full scale. NaN encodes as a positive zero.
uint32_t VoltsToWord(double volts);

// Reading word from bytes 2-5 of an answer, least significant byte first.
uint32_t WordFromAnswer(std::span<const uint8_t, 4> bytes);

}  // namespace kestrane::board

#include "reading_word.h"

#include <cmath>

#include "common/numtext.h"

namespace kestrane::board {
namespace {
constexpr long double kFullScaleCount = 16777215.0L;
constexpr long double kGain1 = 4.089L;
constexpr long double kGain2 = 49.56505L;
constexpr long double kZeroOffset = 0.000212034L;
}  // namespace

DecodedWord DecodeWord(uint32_t word) {
    DecodedWord d;
    d.positive = (word & kPolarityBit) != 0;
    const uint32_t magnitude = d.positive ? word : 0u - word;
    d.count = (magnitude & kCountMask) >> 6;
    return d;
}

long double CountToVolts(uint32_t count) {
    const long double v = static_cast<long double>(count) / kFullScaleCount * kGain1 * kGain2 - kZeroOffset;
    return std::fabs(v);
}

std::string WordToMode0Text(uint32_t word) { return IntToText(static_cast<int32_t>(word)); }

std::string WordToMode1Text(uint32_t word) {
    const DecodedWord d = DecodeWord(word);
    return (d.positive ? "+" : "-") + RealToText(CountToVolts(d.count), 6);
}

uint32_t VoltsToWord(double volts) {
    if (std::isnan(volts)) return kPolarityBit;
    const bool positive = !(volts < 0);
    // Shown magnitude = count x k - offset, so count = (|v| + offset) / k;
    // this stays above the offset for every |v|, so the absolute value the
    // decoder takes never folds the result.
    const long double k = kGain1 * kGain2 / kFullScaleCount;
    const long double wanted = (std::fabs(static_cast<long double>(volts)) + kZeroOffset) / k;
    uint32_t count = kMaxCount;
    if (wanted < static_cast<long double>(kMaxCount)) {
        count = static_cast<uint32_t>(std::llround(wanted / 2.0L)) * 2u;
        if (count > kMaxCount) count = kMaxCount;
    }
    const uint32_t field = count << 6;
    if (positive) return kPolarityBit | field;
    // Negative: the decoder negates the word, so store the two's complement
    // of the field with bit 30 clear (a zero count becomes the word 0).
    return (0u - field) & 0x3FFFFFFFu;
}

uint32_t WordFromAnswer(std::span<const uint8_t, 4> b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

}  // namespace kestrane::board

// Decoding of the reading word into both answer texts, and the simulated
// firmware's inverse encoding.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "reading_word.h"

namespace kestrane::board {
namespace {

struct WordCase {
    uint32_t word;
    uint32_t count;
    const char* mode0;
    const char* mode1;
};

class WordTexts : public ::testing::TestWithParam<WordCase> {};

TEST_P(WordTexts, DecodeAndFormatBothModes) {
    const WordCase& c = GetParam();
    EXPECT_EQ(DecodeWord(c.word).count, c.count);
    EXPECT_EQ(WordToMode0Text(c.word), c.mode0);
    EXPECT_EQ(WordToMode1Text(c.word), c.mode1);
}

INSTANTIATE_TEST_SUITE_P(
    BoardWords, WordTexts,
    ::testing::Values(WordCase{0x401000C0u, 16386, "1074790592", "+ 0.197734"},
                      WordCase{0x40000080u, 2, "1073741952", "+ 0.000188"},
                      WordCase{0x3FFFFF40u, 2, "1073741632", "- 0.000188"},  // negative word
                      WordCase{0x7FFFFFFFu, 16777214, "2147483647", "+ 202.671265"},
                      WordCase{0xFFFFFFFFu, 16777214, "-1", "+ 202.671265"},  // bit 31 ignored
                      WordCase{0xC0000000u, 0, "-1073741824", "+ 0.000212"},
                      WordCase{0x40000000u, 0, "1073741824", "+ 0.000212"},  // positive zero
                      WordCase{0x00000000u, 0, "0", "- 0.000212"},           // negative zero
                      WordCase{0x4000007Fu, 0, "1073741951", "+ 0.000212"},  // bits 0-6 ignored
                      WordCase{0x80000000u, 0, "-2147483648", "- 0.000212"}));

// One count unit in volts; the count is always even, so the nearest even
// count is at most one unit away.
constexpr double kCountUnit = 4.089 * 49.56505 / 16777215.0;

TEST(VoltsToWord, DecodesBackWithinOneCountOverTheWholeRange) {
    for (double v = -202.6; v <= 202.6; v += 0.0137) {
        const uint32_t word = VoltsToWord(v);
        const DecodedWord d = DecodeWord(word);
        ASSERT_EQ(d.positive, v >= 0) << v;
        ASSERT_NEAR(static_cast<double>(CountToVolts(d.count)), std::fabs(v), kCountUnit * 1.0001) << v;
    }
}

TEST(VoltsToWord, SmallAndSpecialInputs) {
    struct Case {
        double volts;
        bool positive;
        double shown;  // magnitude the decoder yields, within one count unit
    };
    const Case cases[] = {
        {0.0, true, 0.0},
        {-0.0, true, 0.0},
        {0.0001, true, 0.0001},  // below the zero offset
        {-0.0001, false, 0.0001},
        {0.0375, true, 0.0375},
        {-12.0, false, 12.0},
        {202.671265, true, 202.671265},
        {250.0, true, 202.671265},  // saturates like the board
        {-1.0e9, false, 202.671265},
        {std::numeric_limits<double>::infinity(), true, 202.671265},
        {std::numeric_limits<double>::quiet_NaN(), true, 0.000212034},
    };
    for (const Case& c : cases) {
        const DecodedWord d = DecodeWord(VoltsToWord(c.volts));
        EXPECT_EQ(d.positive, c.positive) << c.volts;
        EXPECT_NEAR(static_cast<double>(CountToVolts(d.count)), c.shown, kCountUnit * 1.0001) << c.volts;
        EXPECT_LE(d.count, kMaxCount);
    }
}

TEST(VoltsToWord, NegativeWordsKeepBit30Clear) {
    for (double v : {-0.0002, -1.0, -202.0, -300.0}) {
        const uint32_t word = VoltsToWord(v);
        EXPECT_EQ(word & kPolarityBit, 0u) << v;
        EXPECT_EQ(word & 0x7Fu, 0u) << v;
    }
}

TEST(WordFromAnswer, LeastSignificantByteFirst) {
    const uint8_t bytes[4] = {0xC0, 0x00, 0x10, 0x40};
    EXPECT_EQ(WordFromAnswer(std::span<const uint8_t, 4>(bytes, 4)), 0x401000C0u);
}

}  // namespace
}  // namespace kestrane::board

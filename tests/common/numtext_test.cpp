// Number texts: exact rounding of RealToText, the strict TextToReal grammar
// and the integer helpers, which every settings value and reading goes through.
#include "common/numtext.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace kestrane {
namespace {

struct RealCase {
    long double value;
    int decimals;
    const char* text;
};

TEST(RealToText, FixedFormRoundsExactlyWithTiesToEven) {
    const RealCase cases[] = {
        {0.0L, 3, " 0"},
        {-0.0L, 6, " 0"},
        {12.3456L, 3, " 12.346"},
        {0.5L, 0, " 0"},
        {1.5L, 0, " 2"},
        {2.5L, 0, " 2"},
        {3.5L, 0, " 4"},
        {0.125L, 2, " 0.12"},  // exact binary tie
        {0.375L, 2, " 0.38"},
        {0.0000001L, 6, " 0.000000"},
        {9.9999996L, 6, " 10.000000"},
        {0.9999999L, 3, " 1.000"},
        {0.4L, 0, " 0"},
        {0.6L, 0, " 1"},
        {0.197733L, 3, " 0.198"},
        {0.000212034L, 6, " 0.000212"},
        {25.0L, 2, " 25.00"},
        {10.1L, 2, " 10.10"},
        {-12.5L, 1, "-12.5"},
        {-2.5L, 0, "-2"},
        {1.0L, 0, " 1"},
        {123456789.0L, 0, " 123456789"},
        {1.0L, 20, " 1.000000000000000"},               // more than 15 decimals counts as 15
        {1.25L, -3, " 1"},                              // negative decimals count as 0
        {1234.5L, 15, " 1234.500000000000"},            // e + d capped at 15
        {999999999999999.5L, 3, " 999999999999999.5"},  // e = 14 leaves one decimal
        {999999999999999.5L, 0, " 1000000000000000"},   // tie to even carries
        {9999999999999999.0L, 2, " 9999999999999999"},
        {1e-300L, 15, " 0.000000000000000"},
        {LDBL_TRUE_MIN, 15, " 0.000000000000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RealToText(c.value, c.decimals), c.text)
            << static_cast<double>(c.value) << " d=" << c.decimals;
    }
}

TEST(RealToText, ExponentFormFromTenToTheSixteenth) {
    const RealCase cases[] = {
        {12345678901234500.0L, 3, " 1.234567890123450E+0016"},
        {1e16L, 0, " 1.000000000000000E+0016"},
        {-1e20L, 2, "-1.000000000000000E+0020"},
        {99999999999999999.0L, 0, " 1.000000000000000E+0017"},  // carries into the next exponent
        {12345678901234565.0L, 0, " 1.234567890123456E+0016"},  // exact tie to even
        {12345678901234575.0L, 0, " 1.234567890123458E+0016"},
        {1e4000L, 0, " 1.000000000000000E+4000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RealToText(c.value, c.decimals), c.text) << static_cast<double>(c.value);
    }
    // Next to a power of ten the decimal exponent must be exact: just below
    // 10^16 is still the fixed form, with its rounding carry.
    EXPECT_EQ(RealToText(std::nextafter(1e16L, 0.0L), 0), " 10000000000000000");
    EXPECT_EQ(RealToText(1e15L, 3), " 1000000000000000");
    EXPECT_EQ(RealToText(std::nextafter(1e15L, 0.0L), 3), " 1000000000000000.0");  // e = 14 keeps one decimal
    EXPECT_EQ(RealToText(std::nextafter(1.0L, 0.0L), 2), " 1.00");
    const std::string largest = RealToText(LDBL_MAX, 0);
    EXPECT_EQ(largest, " 1.189731495357232E+4932");
}

TEST(RealToText, NonFiniteValuesGiveTextsThatDoNotParse) {
    for (long double v :
         {std::numeric_limits<long double>::quiet_NaN(), std::numeric_limits<long double>::infinity(),
          -std::numeric_limits<long double>::infinity()}) {
        const std::string t = RealToText(v, 3);
        EXPECT_FALSE(TextToReal(t).has_value()) << t;
    }
}

TEST(TextToReal, AcceptsTheStrictGrammar) {
    struct Case {
        const char* text;
        long double value;
    };
    const Case cases[] = {
        {"12.345", 12.345L},
        {"   12.345", 12.345L},
        {"+7", 7.0L},
        {"-0.5", -0.5L},
        {"0", 0.0L},
        {".5", 0.5L},
        {"5.", 5.0L},
        {"1e3", 1000.0L},
        {"1E-3", 0.001L},
        {"2.5e+2", 250.0L},
        {"1e4931", 1e4931L},
        {"1e-4931", 1e-4931L},
        {"123456789012345678", 123456789012345678.0L},        // 18 significant digits
        {"000000123456789012345678", 123456789012345678.0L},  // leading zeros do not count
        {"0.000123456789012345678", 0.000123456789012345678L},
        {"1.23456789012345678000000", 1.23456789012345678L},  // zeros past 18 digits after the point
        {"10.000000", 10.0L},
    };
    for (const auto& c : cases) {
        const auto v = TextToReal(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_EQ(*v, c.value) << c.text;
    }
}

TEST(TextToReal, RejectsEverythingElse) {
    const char* const cases[] = {
        "",
        "   ",
        "- 5",  // space after the sign
        "+",
        "-",
        ".",
        "5 ",  // trailing space
        "5\t",
        "1234567890123456789",   // 19 significant digits
        "1234567890123456780",   // 19th digit before the point, even a zero
        "1.234567890123456789",  // 19th significant digit not zero
        "1e4932",                // exponent too large
        "1e-4932",
        "1e",
        "1e+",
        "1.2.3",
        "1,5",
        "abc",
        "0x10",
        "1e99999999999999999999",  // exponent overflow must not wrap
        "99999999999999999e4931",  // beyond the largest long double
        "  DISABLED",
        "nan",
        "inf",
        "\t5",
    };
    for (const char* c : cases) {
        EXPECT_FALSE(TextToReal(c).has_value()) << '"' << c << '"';
    }
}

TEST(TextToReal, ReadsBackEveryFixedText) {
    // A shown reading must read back to the value it was made from, rounded.
    const long double values[] = {0.0L,  0.000188L, 0.197733L,   12.3456L,
                                  25.0L, 999.9995L, 123456.789L, 4.089L};
    for (long double v : values) {
        for (int d = 0; d <= 6; ++d) {
            const std::string t = RealToText(v, d);
            const auto back = TextToReal(t);
            ASSERT_TRUE(back.has_value()) << t;
            // A value that rounded to zero reads back as zero, which prints " 0".
            EXPECT_EQ(RealToText(*back, d), *back == 0 ? std::string(" 0") : t);
        }
    }
    const auto big = TextToReal(" 1.234567890123450E+0016");
    ASSERT_TRUE(big.has_value());
    EXPECT_EQ(*big, 12345678901234500.0L);
}

TEST(TextToInt, WrapsInTwosComplementAndStopsAtNonDigits) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"0", 0},
        {"", 0},
        {"-", 0},
        {"3", 3},
        {"1074790592", 1074790592},
        {"-1073741824", -1073741824},
        {"2147483647", 2147483647},
        {"2147483648", INT32_MIN},  // wraps like the 32-bit pattern it names
        {"-2147483648", INT32_MIN},
        {"4294967295", -1},
        {"4294967296", 0},
        {"99999999999999999999", static_cast<int32_t>(1661992959U)},  // 10^20-1 mod 2^32
        {"12abc", 12},
        {"50.5", 50},  // a decimal amp rating gives its whole part
        {" 5", 0},     // texts are trimmed by the caller
        {"+5", 0},
        {"--5", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextToInt(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(IntToText, RoundTripsEveryBitPattern) {
    const int32_t values[] = {0, 1, -1, 9, 10, -10, 1074790592, INT32_MAX, INT32_MIN, -1073741632};
    const char* const texts[] = {"0",   "1",          "-1",         "9",           "10",
                                 "-10", "1074790592", "2147483647", "-2147483648", "-1073741632"};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(IntToText(values[i]), texts[i]);
        EXPECT_EQ(TextToInt(IntToText(values[i])), values[i]);
    }
}

TEST(HexToInt, ReadsEitherCaseAndRejectsTheRest) {
    struct Case {
        const char* text;
        std::optional<uint32_t> value;
    };
    const Case cases[] = {
        {"0000", 0u},
        {"1A2b", 0x1A2Bu},
        {"ffff", 0xFFFFu},
        {"FFFFFFFF", 0xFFFFFFFFu},
        {"000000001", 1u},            // leading zeros do not overflow
        {"100000000", std::nullopt},  // does not fit 32 bits
        {"", std::nullopt},
        {"12G4", std::nullopt},
        {"12 ", std::nullopt},
        {"-1", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HexToInt(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(TrimText, DropsLeadingBlanksAndTrailingControls) {
    struct Case {
        std::string text;
        const char* trimmed;
    };
    const Case cases[] = {
        {" 10.10", "10.10"},
        {"\t 5 \r\n", "5"},
        {"a b", "a b"},
        {"   ", ""},
        {"", ""},
        {std::string("7\0\x01", 3), "7"},
        {"\xC3\xA9", "\xC3\xA9"},  // UTF-8 bytes are not control codes
        {"\n5", "\n5"},            // only spaces and tabs lead
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrimText(c.text), c.trimmed);
    }
}

}  // namespace
}  // namespace kestrane

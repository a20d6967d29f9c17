// Reading conversion: word decoding, scaling, shunt conversion, rounding,
// the averaging filter and the gauge, including the per-channel fallbacks.
#include "acquisition/conversion.h"

#include <gtest/gtest.h>

#include "common/numtext.h"
#include "common/open_data.h"
#include "volts_text.h"

namespace kestrane {
namespace {

ChannelSettings Voltmeter() {
    ChannelSettings s;
    s.enable = "YES";
    s.mode = "VDC";
    s.amp = "50";
    s.millivolt = "75";
    s.filterEnable = "NO";
    return s;
}

ChannelSettings Shunt(const char* amp, const char* millivolt) {
    ChannelSettings s = Voltmeter();
    s.mode = "ADC";
    s.amp = amp;
    s.millivolt = millivolt;
    return s;
}

struct Case {
    const char* name;
    const char* word;
    ChannelSettings settings;
    const char* adjust;
    const char* precision;
    const char* shown;
    int32_t maximum;
    int32_t position;
    bool positive;
};

TEST(ConvertReading, ChainFromWordToShownTextAndGauge) {
    const Case cases[] = {
        {"positive word", "1074790592", Voltmeter(), "1", "3", "+ 0.198", 100, 0, true},
        {"bit 31 ignored", "-1072693056", Voltmeter(), "1", "3", "+ 0.198", 100, 0, true},
        {"zero count keeps the offset", "1073741824", Voltmeter(), "1", "6", "+ 0.000212", 100, 0, true},
        {"negative word", "1073741632", Voltmeter(), "1", "6", "- 0.000188", 100, 0, false},
        {"adjustment zero", "1074790592", Voltmeter(), "0", "4", "+ 0", 100, 0, true},
        {"adjustment zero negative", "1073741632", Voltmeter(), "0", "4", "- 0", 100, 0, false},
        {"empty precision is 0", "1137320128", Voltmeter(), "1", "", "+ 12", 100, 12, true},
        {"adjustment scales volts", "1137320128", Voltmeter(), "2", "2", "+ 24.00", 100, 24, true},
        {"negative adjustment gives magnitude", "1137320128", Voltmeter(), "-1", "1", "+ 12.0", 100, 12,
         true},
        {"gauge ties to even", "1137320128", Voltmeter(), "0.2083333", "3", "+ 2.500", 100, 2, true},
        {"shunt 50 A / 75 mV", "1073941632", Shunt("50", "75"), "1", "2", "+ 25.00", 50, 25, true},
        {"shunt below noise floor", "1073741824", Shunt("50", "75"), "1", "3", "+ 0", 50, 0, true},
        {"shunt floor after adjustment", "1137320128", Shunt("50", "75"), "0.00001", "3", "+ 0", 50, 0, true},
        {"shunt zero millivolt gives 0 A", "1073941632", Shunt("50", "0"), "1", "2", "+ 0", 50, 0, true},
        {"shunt unreadable millivolt gives 0 A", "1073941632", Shunt("50", "x"), "1", "2", "+ 0", 50, 0,
         true},
        {"shunt negative rating keeps a magnitude", "1073941632", Shunt("-50", "75"), "1", "2", "+ 25.00",
         100, 25, true},
        {"shunt zero amp range falls back", "1073941632", Shunt("0", "75"), "1", "2", "+ 0", 100, 0, true},
        {"shunt decimal amp range is its whole part", "1073941632", Shunt("50.7", "75"), "1", "1", "+ 25.4",
         50, 25, true},
        {"gauge clamps to a full bar", "1137320128", Shunt("5", "75"), "1", "0", "+ 800", 5, 5, true},
    };
    for (const auto& c : cases) {
        ConversionScratch scratch;
        int warmUp = 0;
        const ConversionResult r =
            ConvertReading(c.word, c.settings, c.adjust, c.precision, "", scratch, warmUp);
        EXPECT_EQ(r.shown, c.shown) << c.name;
        EXPECT_EQ(r.gauge.maximum, c.maximum) << c.name;
        EXPECT_EQ(r.gauge.position, c.position) << c.name;
        EXPECT_EQ(r.gauge.positive, c.positive) << c.name;
        EXPECT_EQ(r.gauge.colour, c.positive ? kGaugePositiveColour : kGaugeNegativeColour) << c.name;
        // The number carried with the text is the text's own number.
        EXPECT_EQ(PlainNumber(r.number), board::PlainValue(c.shown).value_or("none")) << c.name;
    }
}

TEST(DecodeWord, PolarityAndCountIgnoreBit31AndLowBits) {
    struct W {
        uint32_t word;
        bool positive;
        uint32_t count;
    };
    const W cases[] = {
        {0x401000C0u, true, 16386},    {0xC01000C0u, true, 16386}, {0x3FFFFF40u, false, 2},
        {0x4000003Fu, true, 0},  // low six bits are not part of the count
        {0x7FFFFFFFu, true, 0xFFFFFE}, {0x00000000u, false, 0},    {0x80000000u, false, 0},
    };
    for (const auto& c : cases) {
        const DecodedWord d = DecodeWord(IntToText(static_cast<int32_t>(c.word)));
        EXPECT_EQ(d.positive, c.positive) << std::hex << c.word;
        EXPECT_EQ(d.count, c.count) << std::hex << c.word;
    }
}

TEST(ConvertReading, UnreadableSettingsFallBackToThisChannelsOwnValues) {
    ChannelStates states;
    const ChannelSettings v = Voltmeter();
    ApplyReading(states, 1, v, "1137320128", "0.5", "2");
    EXPECT_EQ(states.at(1).shown, "+ 6.00");
    // Channel 1 keeps its last good adjustment...
    ApplyReading(states, 1, v, "1137320128", "abc", "2");
    EXPECT_EQ(states.at(1).shown, "+ 6.00");
    // ...and channel 2 never sees it: before any good value it uses 1.
    ApplyReading(states, 2, v, "1137320128", "abc", "2");
    EXPECT_EQ(states.at(2).shown, "+ 12.00");
    EXPECT_TRUE(states.at(2).hasReading);
    EXPECT_FALSE(states.at(3).hasReading);

    // Amp rating: a channel's last good rating, 0 A before any.
    const ChannelSettings good = Shunt("50", "75");
    const ChannelSettings bad = Shunt("fifty", "75");
    ApplyReading(states, 3, good, "1073941632", "1", "2");
    ApplyReading(states, 3, bad, "1073941632", "1", "2");
    EXPECT_EQ(states.at(3).shown, "+ 25.00");
    ApplyReading(states, 4, bad, "1073941632", "1", "2");
    EXPECT_EQ(states.at(4).shown, "+ 0");
}

ChannelSettings Filtered(const char* weight) {
    ChannelSettings s = Voltmeter();
    s.filterEnable = "YES";
    s.filterWeight = weight;
    return s;
}

TEST(ConvertReading, FilterBlendsWithTheShownText) {
    struct F {
        const char* name;
        const char* weight;
        const char* word;
        const char* precision;
        const char* current;
        const char* shown;
    };
    const F cases[] = {
        {"default weight", "", "1137320128", "2", "+ 10.00", "+ 10.10"},
        {"weight read when below 1", "0.5", "1137320128", "2", "+ 10.00", "+ 11.00"},
        {"reciprocal when above 1", "4", "1137320128", "2", "+ 10.00", "+ 10.50"},
        {"weight 1 is not a copy", "1", "1137320128", "2", "+ 10.00", "+ 10.10"},
        {"sign of the shown text ignored", "", "1137320128", "2", "- 10.00", "+ 10.10"},
        {"slow change stays invisible", "", "1128781824", "0", "+ 10", "+ 10"},
        {"exponent-form previous", "", "1137320128", "2", "+ 1.000000000000000E+0016", "+ 9500000000000001"},
    };
    for (const auto& c : cases) {
        ConversionScratch scratch;
        int warmUp = kFilterWarmUpReadings;
        const ConversionResult r =
            ConvertReading(c.word, Filtered(c.weight), "1", c.precision, c.current, scratch, warmUp);
        EXPECT_EQ(r.shown, c.shown) << c.name;
        // The filtered number, not the fresh one, goes with the text.
        EXPECT_EQ(PlainNumber(r.number), board::PlainValue(c.shown).value_or("none")) << c.name;
        EXPECT_EQ(warmUp, kFilterWarmUpReadings) << c.name;
    }
}

TEST(ConvertReading, FilterWarmUpIsSharedAndRestartsOnDisconnect) {
    ChannelStates states;
    const ChannelSettings f = Filtered("");
    // Ten readings over all channels pass unfiltered.
    for (int i = 0; i < kFilterWarmUpReadings; ++i) {
        const int channel = i % 2 + 1;
        states.at(channel).shown = "+ 10.00";
        ApplyReading(states, channel, f, "1137320128", "1", "2");
        EXPECT_EQ(states.at(channel).shown, "+ 12.00") << i;
    }
    states.at(1).shown = "+ 10.00";
    ApplyReading(states, 1, f, "1137320128", "1", "2");
    EXPECT_EQ(states.at(1).shown, "+ 10.10");

    ResetOnDisconnect(states);
    EXPECT_EQ(states.warmUp, 0);
    EXPECT_EQ(states.at(1).shown, "");
    EXPECT_FALSE(states.at(1).hasReading);
    ApplyReading(states, 1, f, "1137320128", "1", "2");
    EXPECT_EQ(states.at(1).shown, "+ 12.00");
}

TEST(ConvertReading, UnreadablePreviousTextUsesThisChannelsLastMagnitude) {
    ChannelStates states;
    states.warmUp = kFilterWarmUpReadings;
    const ChannelSettings f = Filtered("0.5");
    // No previous magnitude at all: nothing to blend with.
    states.at(1).shown = "  DISABLED";
    ApplyReading(states, 1, f, "1137320128", "1", "2");
    EXPECT_EQ(states.at(1).shown, "+ 12.00");
    // Channel 2 has shown 8.00 before being switched off and on again.
    states.at(2).shown = "+ 8.00";
    ApplyReading(states, 2, f, "1137320128", "1", "2");
    EXPECT_EQ(states.at(2).shown, "+ 10.00");
    states.at(2).shown = "  DISABLED";
    ApplyReading(states, 2, f, "1137320128", "1", "2");
    EXPECT_EQ(states.at(2).shown, "+ 11.00");  // blended with 10.00, not with channel 1's 12.00
}

TEST(FilterWeight, ChoosesAUsableWeight) {
    struct W {
        const char* text;
        long double weight;
    };
    const W cases[] = {
        {"", 0.05L},  {"0.2", 0.2L}, {"4", 0.25L},    {"20", 0.05L},  {"1", 0.05L},
        {"0", 0.05L}, {"-3", 0.05L}, {"-0.5", 0.05L}, {"abc", 0.05L}, {" 0.5 ", 0.5L},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterWeight(c.text), c.weight) << c.text;
    }
}

TEST(ConvertReading, ExtremeSettingsNeverShowNonNumbers) {
    const char* const factors[] = {"1e4931", "-1e4931", "1e-4931", "0", "nan", "", "99999999999999999e4900"};
    const char* const modes[] = {"VDC", "ADC"};
    const char* const words[] = {"2147483647", "1073741824", "-1", "0", "1073741632", "junk"};
    for (const char* adjust : factors) {
        for (const char* amp : factors) {
            for (const char* mv : factors) {
                for (const char* mode : modes) {
                    for (const char* word : words) {
                        ChannelSettings s = Shunt(amp, mv);
                        s.mode = mode;
                        s.filterEnable = "YES";
                        ConversionScratch scratch;
                        int warmUp = kFilterWarmUpReadings;
                        const auto r = ConvertReading(word, s, adjust, "6", "+ 1e4931", scratch, warmUp);
                        ASSERT_GE(r.shown.size(), 2u);
                        ASSERT_LE(r.shown.size(), 31u);
                        EXPECT_TRUE(TextToReal(TrimText(r.shown.substr(1))).has_value())
                            << r.shown << " adj=" << adjust << " amp=" << amp << " mv=" << mv << " " << mode
                            << " " << word;
                        EXPECT_EQ(board::PlainValue(r.shown), PlainNumber(r.number)) << r.shown;
                        EXPECT_GT(r.gauge.maximum, 0);
                        EXPECT_GE(r.gauge.position, 0);
                        EXPECT_LE(r.gauge.position, r.gauge.maximum);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace kestrane

namespace kestrane {
namespace {

// Every output writes a reading from its number, never from the shown
// text; the two must give the same digits for every word, precision,
// polarity and filter state the channel goes through.
TEST(ConvertReading, NumberWritesTheShownDigits) {
    const char* const precisions[] = {"0", "1", "3", "6", "15", "40", "-2", "x"};
    const char* const words[] = {"1073741824", "1073748032",  "1610612736", "2147483647", "0",
                                 "-1",         "-1073741760", "12345",      "1500000000"};
    for (const bool filtered : {false, true}) {
        for (const bool shunt : {false, true}) {
            for (const char* precision : precisions) {
                ChannelSettings s = shunt ? Shunt("50", "75") : Voltmeter();
                s.filterEnable = filtered ? "YES" : "NO";
                s.filterWeight = "3";
                ChannelStates states;
                states.warmUp = kFilterWarmUpReadings;
                for (int round = 0; round < 3; ++round) {
                    for (const char* word : words) {
                        ApplyReading(states, 2, s, word, "1.0001", precision);
                        const ChannelState& ch = states.at(2);
                        ASSERT_TRUE(ch.number.has_value());
                        EXPECT_EQ(board::PlainValue(ch.shown).value_or("none"), PlainNumber(*ch.number))
                            << ch.shown << " precision " << precision;
                    }
                }
                ResetOnDisconnect(states);
                EXPECT_FALSE(states.at(2).number.has_value());
            }
        }
    }
}

}  // namespace
}  // namespace kestrane

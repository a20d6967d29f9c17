// The simulation file parser and the channel signals.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "sim_file.h"
#include "sim_signal.h"

namespace kestrane::board {
namespace {

TEST(SimulationFile, ReadsEveryKey) {
    const auto r = ParseSimulation(
        "# comment\r\n"
        "; another\n"
        "[device]\n"
        "  vendor-id = 0x1234\n"
        "product-id=000a\r\n"
        "version = A1\n"
        "product = Some Product\n"
        "manufacturer = Acme Corp\n"
        "firmware = FW 9.9 \n"
        "channel3 = -5 + sine(1, 10, 90)\n"
        "channel6 = word 0x401000C0\n"
        "fault = busy\n"
        "answer-length = 5\n"
        "vanish-after = 12\n"
        "answer-delay-ms = 4\n"
        "[device]\n");
    ASSERT_TRUE(r.config) << r.error;
    ASSERT_EQ(r.config->devices.size(), 2u);
    const SimDevice& d = r.config->devices[0];
    EXPECT_EQ(d.vendorId, 0x1234);
    EXPECT_EQ(d.productId, 0x000A);
    EXPECT_EQ(d.version, 0x00A1);
    EXPECT_EQ(d.product, "Some Product");
    EXPECT_EQ(d.manufacturer, "Acme Corp");
    EXPECT_EQ(d.firmware, "FW 9.9");
    EXPECT_EQ(d.channels[2].terms.size(), 2u);
    EXPECT_EQ(d.channels[5].rawWord, 0x401000C0u);
    EXPECT_EQ(d.fault, SimFault::kBusy);
    EXPECT_EQ(d.answerLength, 5);
    EXPECT_EQ(d.vanishAfter, 12u);
    EXPECT_EQ(d.answerDelayMs, 4u);
    // The second device keeps the defaults.
    const SimDevice& e = r.config->devices[1];
    EXPECT_EQ(e.vendorId, 0);
    EXPECT_EQ(e.product, "KESTRANEUNIT");
    EXPECT_EQ(e.fault, SimFault::kNone);
    EXPECT_EQ(e.answerLength, 65);
}

TEST(SimulationFile, RejectsBadLinesNamingTheLine) {
    struct Case {
        const char* text;
        const char* error_start;
    };
    const std::string long_text(127, 'x');
    const std::string too_long = "[device]\nproduct = " + long_text + "\n";
    const Case cases[] = {
        {"vendor-id = 0\n", "line 1:"},                // before any device
        {"[device]\nvendor-id = 12345\n", "line 2:"},  // five digits
        {"[device]\nproduct-id = 00G0\n", "line 2:"},
        {"[device]\nproduct-id = \n", "line 2:"},
        {"[device]\n\n\nbogus = 1\n", "line 4:"},
        {"[device]\njust words\n", "line 2:"},
        {"[device]\nchannel7 = 1\n", "line 2:"},
        {"[device]\nchannel0 = 1\n", "line 2:"},
        {"[device]\nchannel1 = \n", "line 2:"},
        {"[device]\nfault = sometimes\n", "line 2:"},
        {"[device]\nanswer-length = 0\n", "line 2:"},
        {"[device]\nanswer-length = 129\n", "line 2:"},
        {"[device]\nanswer-length = -1\n", "line 2:"},
        {"[device]\nvanish-after = 99999999999999999999999\n", "line 2:"},
        {"[device]\nanswer-delay-ms = 901\n", "line 2:"},
        {"[device]\nfirmware = bell\x07here\n", "line 2:"},
        {too_long.c_str(), "line 2:"},
        {"[device]\n[devices]\n", "line 2:"},
    };
    for (const Case& c : cases) {
        const auto r = ParseSimulation(c.text);
        EXPECT_FALSE(r.config) << c.text;
        EXPECT_EQ(r.error.rfind(c.error_start, 0), 0u) << c.text << " -> " << r.error;
    }
}

TEST(SimulationFile, ByteOrderMarkIsSkippedOnlyAtTheStart) {
    struct Case {
        std::string text;
        bool parses;
        size_t devices;
        const char* error_start;
    };
    const std::string bom = "\xEF\xBB\xBF";
    const Case cases[] = {
        {bom + "[device]\nproduct-id = 000A\n", true, 1, ""},
        {bom + "# saved by an editor\r\n[device]\r\n", true, 1, ""},
        {bom, true, 0, ""},
        {bom + bom + "[device]\n", false, 0, "line 1: expected [device]"},
        {"[device]\n" + bom + "product-id = 000A\n", false, 0, "line 2: unknown key"},
        {"\xEF\xBB[device]\n", false, 0, "line 1: expected [device]"},
    };
    for (const Case& c : cases) {
        const auto r = ParseSimulation(c.text);
        ASSERT_EQ(r.config.has_value(), c.parses) << c.text << " -> " << r.error;
        if (c.parses) {
            EXPECT_EQ(r.config->devices.size(), c.devices) << c.text;
        } else {
            EXPECT_EQ(r.error.rfind(c.error_start, 0), 0u) << c.text << " -> " << r.error;
        }
    }
}

TEST(SimulationFile, NumberTooSmallForADoubleIsRefused) {
    struct Case {
        const char* channel;
        bool parses;
    };
    const Case cases[] = {
        {"1e-400", false},          {"-1e-400", false},
        {"0.1e-399", false},        {"1e-310", false},  // subnormal
        {"sine(1e-400, 2)", false}, {"5 + noise(4.9e-324)", false},
        {"0e-400", true},           {"0.000", true},
        {"1e-300", true},           {"-0", true},
    };
    for (const Case& c : cases) {
        const auto r = ParseSimulation(std::string("[device]\nchannel1 = ") + c.channel + "\n");
        EXPECT_EQ(r.config.has_value(), c.parses) << c.channel << " -> " << r.error;
        if (!c.parses) {
            EXPECT_EQ(r.error.rfind("line 2: ", 0), 0u) << r.error;
        }
    }
    // A bare constant names what it wanted.
    EXPECT_EQ(ParseSimulation("[device]\nchannel1 = 1e-400\n").error.rfind("line 2: expected a number", 0),
              0u);
}

TEST(SimulationFile, EmptyFileIsAnEmptyBus) {
    const auto r = ParseSimulation("");
    ASSERT_TRUE(r.config);
    EXPECT_TRUE(r.config->devices.empty());
}

TEST(SimulationFile, LimitsDeviceCountAndFileSize) {
    std::string many;
    for (size_t i = 0; i <= kMaxSimDevices; ++i) many += "[device]\n";
    EXPECT_FALSE(ParseSimulation(many).config);
    EXPECT_FALSE(ParseSimulation(std::string(kMaxSimFileBytes + 1, '#')).config);
}

TEST(SimulationFile, DemoFileParses) {
    std::ifstream in(KESTRANE_DEMO_SIM);
    ASSERT_TRUE(in) << KESTRANE_DEMO_SIM;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto r = ParseSimulation(text);
    ASSERT_TRUE(r.config) << r.error;
    ASSERT_GE(r.config->devices.size(), 2u);
    EXPECT_EQ(r.config->devices[0].productId, 0x000A);
    EXPECT_EQ(r.config->devices[0].product, "KESTRANEUNIT");
}

struct SignalCase {
    const char* text;
    double seconds;
    double volts;
};

TEST(Signal, EvaluatesTermsAtATime) {
    const SignalCase cases[] = {
        {"12.6", 0, 12.6},
        {"-5", 3, -5},
        {"+5", 3, 5},
        {"37.5e-3", 0, 0.0375},
        {"sine(2, 8)", 2, 2},  // quarter period: the crest
        {"sine(2, 8)", 6, -2},
        {"sine(2, 8, 90)", 0, 2},  // phase in degrees
        {"11 + sine(1.5, 30)", 7.5, 12.5},
        {"11 - sine(1.5, 30)", 7.5, 9.5},
        {"- sine(1, 4)", 1, -1},
        {"ramp(0, 24, 60)", 30, 12},
        {"ramp(0, 24, 60)", 75, 6},  // wraps each period
        {"ramp(10, -10, 4)", 1, 5},
        {"noise(0)", 5, 0},
        {"1 + 2 - 3.5", 0, -0.5},
    };
    std::mt19937 rng(1);
    for (const SignalCase& c : cases) {
        std::string error;
        const auto s = ParseSignal(c.text, error);
        ASSERT_TRUE(s) << c.text << ": " << error;
        EXPECT_NEAR(EvaluateSignal(*s, c.seconds, rng), c.volts, 1e-9) << c.text << " at " << c.seconds;
    }
}

TEST(Signal, NoiseStaysWithinItsAmplitude) {
    std::string error;
    const auto s = ParseSignal("5 + noise(0.01)", error);
    ASSERT_TRUE(s);
    std::mt19937 rng(7);
    double lo = 100, hi = -100;
    for (int i = 0; i < 2000; ++i) {
        const double v = EvaluateSignal(*s, i, rng);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_GE(lo, 4.99);
    EXPECT_LE(hi, 5.01);
    EXPECT_LT(lo, 4.995);  // it does vary
    EXPECT_GT(hi, 5.005);
}

TEST(Signal, RejectsMalformedText) {
    const char* bad[] = {
        "",
        "   ",
        "sine",
        "sine()",
        "sine(1)",
        "sine(1, 0)",
        "sine(1, -2)",
        "sine(1, 2, 3, 4)",
        "ramp(1, 2)",
        "ramp(0, 1, 0)",
        "noise(-1)",
        "noise(1",
        "1 +",
        "1 2",
        "1 * 2",
        "cosine(1, 2)",
        "inf",
        "nan",
        "1e400",
        "sine(1e300, 2)",
        "word",
        "word 0x1FFFFFFFF",
        "word 12 + 1",
        "12abc",
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(ParseSignal(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(Signal, BoundsTheNumberOfTerms) {
    std::string text = "1";
    for (int i = 0; i < 100; ++i) text += " + 1";
    std::string error;
    EXPECT_FALSE(ParseSignal(text, error));
}

}  // namespace
}  // namespace kestrane::board

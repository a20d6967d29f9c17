// The library's operations through the simulated board bus (and a small
// scripted transport where the simulation cannot reach): discovery, the
// exchange and its failures, the answer texts, the USB strings.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "board_test_support.h"
#include "reading_word.h"

namespace kestrane::board {
namespace {

using testing::Rig;
using testing::TextBuffer;

constexpr const char* kBoardA =
    "[device]\nproduct-id = 000A\nfirmware = KESTRANE FW 2.14\nversion = 00A1\n"
    "manufacturer = Morvane\nchannel1 = word 0x401000C0\nchannel2 = -12\n";

// ---- Failed exchanges --------------------------------------------------

struct FailureCase {
    const char* name;
    std::string sim;
    int32_t pid;
    int32_t command;
    int32_t mode;
};

class FailedExchange : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedExchange, ReturnsZeroAndLeavesTheTextAlone) {
    const FailureCase& c = GetParam();
    Rig rig(c.sim);
    TextBuffer<128> text;
    EXPECT_EQ(ReadBoard(rig.lib, c.pid, c.command, c.mode, text.data()), 0);
    EXPECT_TRUE(text.Untouched()) << text.text();
}

std::string Board000A(const std::string& extra) { return "[device]\nproduct-id = 000A\n" + extra; }

INSTANTIATE_TEST_SUITE_P(
    Faults, FailedExchange,
    ::testing::Values(
        FailureCase{"NoBoardAtAll", "", 0x000A, 1, 0},
        FailureCase{"OtherBoardOnly", Board000A(""), 0x000B, 1, 0},
        FailureCase{"Absent", Board000A("fault = absent\n"), 0x000A, 1, 0},
        FailureCase{"HeldByAnotherProgram", Board000A("fault = busy\n"), 0x000A, 1, 0},
        FailureCase{"ReadFails", Board000A("fault = read-fails\n"), 0x000A, 1, 1},
        FailureCase{"NeverAnswers", Board000A("fault = no-answer\n"), 0x000A, 8, 0},
        FailureCase{"AnswerOfFiveBytes", Board000A("answer-length = 5\n"), 0x000A, 3, 0},
        FailureCase{"AnswerOfOneByte", Board000A("answer-length = 1\n"), 0x000A, 3, 1},
        FailureCase{"FirmwareAnswerWithoutText", Board000A("answer-length = 2\n"), 0x000A, 8, 0},
        FailureCase{"ForeignVendor", "[device]\nvendor-id = 04D8\nproduct-id = 000A\n", 0x000A, 1, 0},
        FailureCase{"UpperBitsSet", Board000A(""), 0x0001000A, 1, 0},
        FailureCase{"NegativeProductId", Board000A(""), -65526, 1, 0}),  // 0xFFFF000A
    [](const auto& info) { return std::string(info.param.name); });

TEST(Exchange, BadCommandOrModeSendsNothing) {
    struct Case {
        int32_t command;
        int32_t mode;
    };
    const Case cases[] = {{0, 0}, {7, 0}, {9, 1}, {-1, 0}, {56, 0}, {1, 2}, {8, -1}, {1, 0x10000}};
    for (const Case& c : cases) {
        Rig rig(kBoardA);
        TextBuffer<128> text;
        EXPECT_EQ(ReadBoard(rig.lib, 0x000A, c.command, c.mode, text.data()), 0)
            << c.command << "/" << c.mode;
        EXPECT_TRUE(text.Untouched());
        EXPECT_EQ(rig.bus->WritesSent(), 0u) << c.command << "/" << c.mode;
        // The board is free again afterwards.
        EXPECT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1);
    }
}

// ---- Answers -------------------------------------------------------------

TEST(Exchange, AnswerTextsThroughTheBus) {
    struct Case {
        uint32_t word;
        const char* mode0;
        const char* mode1;
    };
    const Case cases[] = {
        {0xC0000000u, "-1073741824", "+ 0.000212"},  {0x401000C0u, "1074790592", "+ 0.197734"},
        {0x7FFFFFFFu, "2147483647", "+ 202.671265"}, {0xFFFFFFFFu, "-1", "+ 202.671265"},
        {0x3FFFFF40u, "1073741632", "- 0.000188"},   {0x00000000u, "0", "- 0.000212"},
    };
    for (const Case& c : cases) {
        char word[16];
        std::snprintf(word, sizeof word, "0x%08X", c.word);
        // Each of the six channels answers its own signal.
        for (int channel = 1; channel <= 6; ++channel) {
            Rig rig(Board000A("channel" + std::to_string(channel) + " = word " + word + "\n"));
            TextBuffer<128> text;
            ASSERT_EQ(ReadBoard(rig.lib, 0x000A, channel, 0, text.data()), 1);
            EXPECT_EQ(text.text(), c.mode0) << word << " ch" << channel;
            ASSERT_EQ(ReadBoard(rig.lib, 0x000A, channel, 1, text.data()), 1);
            EXPECT_EQ(text.text(), c.mode1) << word << " ch" << channel;
        }
    }
}

TEST(Exchange, ConfiguredVoltsComeBackWithinOneCount) {
    const double unit = 4.089 * 49.56505 / 16777215.0;
    for (double volts : {12.6, 5.02, 0.0375, -0.0375, -11.95, 202.0, -150.5, 0.0003, 1.0}) {
        Rig rig(Board000A("channel4 = " + std::to_string(volts) + "\n"));
        TextBuffer<128> text;
        ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 4, 1, text.data()), 1);
        const std::string t = text.text();
        ASSERT_GE(t.size(), 3u);
        EXPECT_EQ(t[0], volts < 0 ? '-' : '+') << t;
        const double shown = std::stod(t.substr(2));
        // One count unit plus the six-decimal rounding of the text.
        EXPECT_NEAR(shown, std::fabs(volts), unit + 0.5e-6) << t;
    }
}

TEST(Exchange, TimeBasedSignalFollowsTheClock) {
    // The rig's clock stands at 7.5 s: a quarter of the 30 s period.
    Rig rig(Board000A("channel6 = 11 + sine(1.5, 30)\n"), 7.5);
    TextBuffer<128> text;
    ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 6, 1, text.data()), 1);
    EXPECT_NEAR(std::stod(text.text().substr(2)), 12.5, 2e-5) << text.text();
}

TEST(Exchange, FirmwareText) {
    struct Case {
        const char* name;
        std::string firmware;
        int answerLength;
        std::string expected;
    };
    const std::string long_fw(126, 'F');
    const Case cases[] = {
        {"ZeroTerminated", "KESTRANE FW 2.14", 65, "KESTRANE FW 2.14"},
        // No zero byte within the bytes read: the text ends with them.
        {"CutByTheReadLength", "KESTRANE FW 2.14", 10, "KESTRANE"},
        {"FillsTheLargestRead", long_fw, 128, long_fw},
        {"ExactlyToTheEnd", "ABCDEFGH", 10, "ABCDEFGH"},
        {"EmptyText", "", 65, ""},
    };
    for (const Case& c : cases) {
        Rig rig("[device]\nproduct-id = 000A\nanswer-length = " + std::to_string(c.answerLength) +
                "\nfirmware = " + c.firmware + "\n");
        for (int32_t mode : {0, 1}) {
            TextBuffer<128> text;
            ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 8, mode, text.data()), 1) << c.name;
            EXPECT_EQ(text.text(), c.expected) << c.name;
            EXPECT_TRUE(text.GuardIntact()) << c.name;
        }
    }
}

TEST(Exchange, GarbageAnswersStayWithinTheirFormats) {
    Rig rig(Board000A("fault = garbage\nanswer-length = 128\n"));
    for (int i = 0; i < 200; ++i) {
        TextBuffer<128> text;
        ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 8, 0, text.data()), 1);
        EXPECT_LE(text.text().size(), 126u);
        EXPECT_TRUE(text.GuardIntact());
        ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 1 + i % 6, 1, text.data()), 1);
        const std::string t = text.text();
        EXPECT_TRUE(t.size() >= 10 && t.size() <= 12 && (t[0] == '+' || t[0] == '-') && t[1] == ' ') << t;
    }
}

TEST(Exchange, ShortAnswerNeverReusesThePreviousAnswer) {
    Rig rig(
        "[device]\nproduct-id = 000A\nchannel1 = word 0x401000C0\n"
        "[device]\nproduct-id = 000B\nanswer-length = 4\nchannel1 = word 0x40000080\n");
    TextBuffer<128> text;
    ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1);
    TextBuffer<128> second;
    EXPECT_EQ(ReadBoard(rig.lib, 0x000B, 1, 0, second.data()), 0);
    EXPECT_TRUE(second.Untouched());
}

TEST(Exchange, FirstMatchingBoardThatOpensWins) {
    Rig rig(
        "[device]\nproduct-id = 000A\nfault = busy\nchannel1 = word 1\n"
        "[device]\nproduct-id = 000A\nchannel1 = word 2\n"
        "[device]\nproduct-id = 000A\nchannel1 = word 3\n");
    TextBuffer<128> text;
    ASSERT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1);
    EXPECT_EQ(text.text(), "2");
}

TEST(Exchange, BoardVanishesAfterItsExchanges) {
    Rig rig(Board000A("vanish-after = 3\n"));
    TextBuffer<128> text;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 1) << i;
    EXPECT_EQ(ReadBoard(rig.lib, 0x000A, 1, 0, text.data()), 0);
    TextBuffer<1024> list;
    ASSERT_EQ(FindBoards(rig.lib, list.data()), 1);
    EXPECT_EQ(list.text(), "");
}

// ---- Discovery -----------------------------------------------------------

TEST(FindBoards, ListsEveryOpenableVendorZeroDevice) {
    struct Case {
        const char* name;
        std::string sim;
        const char* list;
    };
    const Case cases[] = {
        {"Empty", "", ""},
        {"TwoBoards", "[device]\nproduct-id = 000A\n[device]\nproduct-id = 000b\n", "000A|000B|"},
        // Another product with vendor 0 is listed too; the client filters on
        // the product string.
        {"ForeignVendorZeroDevice", "[device]\nproduct-id = BEEF\nproduct = USB Keypad\n", "BEEF|"},
        {"OtherVendorsSkipped",
         "[device]\nvendor-id = 046D\nproduct-id = C52B\n[device]\nproduct-id = 0001\n", "0001|"},
        {"BusyAndAbsentSkipped",
         "[device]\nproduct-id = 0001\nfault = busy\n[device]\nproduct-id = 0002\nfault = absent\n"
         "[device]\nproduct-id = 0003\nfault = read-fails\n",
         "0003|"},
        {"EnumerationOrderKept", "[device]\nproduct-id = FFFF\n[device]\nproduct-id = 0000\n", "FFFF|0000|"},
    };
    for (const Case& c : cases) {
        Rig rig(c.sim);
        TextBuffer<1024> list;
        ASSERT_EQ(FindBoards(rig.lib, list.data()), 1) << c.name;
        EXPECT_EQ(list.text(), c.list) << c.name;
    }
}

TEST(FindBoards, MoreThan204BoardsNeverOverflow) {
    std::string sim;
    for (int i = 0; i < 300; ++i) {
        char line[48];
        std::snprintf(line, sizeof line, "[device]\nproduct-id = %04X\n", i);
        sim += line;
    }
    Rig rig(sim);
    TextBuffer<1021> list;  // exactly the size the header promises
    ASSERT_EQ(FindBoards(rig.lib, list.data()), 1);
    const std::string text = list.text();
    EXPECT_EQ(text.size(), 204u * 5u);
    EXPECT_EQ(text.substr(0, 10), "0000|0001|");
    EXPECT_EQ(text.substr(text.size() - 5), "00CB|");
    EXPECT_TRUE(list.GuardIntact());
    EXPECT_EQ(list.bytes[1020], '\0');
}

TEST(FindBoards, FailedEnumerationLeavesTheTextAlone) {
    auto missing = SimulatedBus::FromFile(::testing::TempDir() + "/no-such-dir/none.sim");
    BoardLibrary lib;
    lib.transport = missing.get();
    TextBuffer<1024> list;
    EXPECT_EQ(FindBoards(lib, list.data()), 0);
    EXPECT_TRUE(list.Untouched());
    TextBuffer<128> text;
    EXPECT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 0);
    EXPECT_EQ(BoardVersion(lib, 0x000A, text.data()), 0);
    EXPECT_TRUE(text.Untouched());
}

// ---- USB strings and version -----------------------------------------------

TEST(BoardStrings, ManufacturerProductAndVersion) {
    Rig rig(kBoardA);
    TextBuffer<256> text;
    ASSERT_EQ(BoardManufacturer(rig.lib, 0x000A, text.data()), 1);
    EXPECT_EQ(text.text(), "Morvane");
    ASSERT_EQ(BoardProduct(rig.lib, 0x000A, text.data()), 1);
    EXPECT_EQ(text.text(), "KESTRANEUNIT");
    ASSERT_EQ(BoardVersion(rig.lib, 0x000A, text.data()), 1);
    EXPECT_EQ(text.text(), "00A1");
    EXPECT_EQ(rig.bus->WritesSent(), 0u);
}

TEST(BoardStrings, NotFoundReturnsZeroAndLeavesTheText) {
    Rig rig(kBoardA + std::string("[device]\nproduct-id = 000C\nfault = busy\n"));
    using Getter = int32_t (*)(BoardLibrary&, int32_t, char*);
    const Getter getters[] = {&BoardManufacturer, &BoardProduct, &BoardVersion};
    for (Getter get : getters) {
        for (int32_t pid : {0x000B, 0x000C, 0x0001000A}) {
            TextBuffer<256> text;
            EXPECT_EQ(get(rig.lib, pid, text.data()), 0) << pid;
            EXPECT_TRUE(text.Untouched());
        }
    }
}

// ---- A scripted transport for what the simulation cannot do ---------------

struct Script {
    int write_result = 33;
    int read_result = 65;
    std::vector<uint8_t> answer;
    std::optional<std::u16string> product;
    std::vector<std::vector<uint8_t>> written;
    int reads = 0;
};

class ScriptedDevice final : public HidDevice {
public:
    explicit ScriptedDevice(Script& s) : s_(s) {}
    bool Lock(std::chrono::milliseconds) override { return true; }
    std::optional<HidIdentity> Identity() override { return HidIdentity{0, 0x000A}; }
    void Unlock() override {}
    std::optional<std::u16string> ManufacturerString() override { return std::nullopt; }
    std::optional<std::u16string> ProductString() override { return s_.product; }
    int Write(std::span<const uint8_t> report) override {
        s_.written.emplace_back(report.begin(), report.end());
        return s_.write_result;
    }
    int Read(std::span<uint8_t> buffer, int timeout_ms) override {
        if (timeout_ms == 0) return 0;  // nothing pending before the write
        ++s_.reads;
        EXPECT_GT(timeout_ms, 0);  // a silent board must not block forever
        EXPECT_LE(timeout_ms, 2000);
        std::copy_n(s_.answer.begin(), std::min(s_.answer.size(), buffer.size()), buffer.begin());
        return s_.read_result;
    }

private:
    Script& s_;
};

class ScriptedTransport final : public HidTransport {
public:
    explicit ScriptedTransport(Script& s) : s_(s) {}
    std::optional<std::vector<HidDeviceInfo>> Enumerate() override {
        return std::vector<HidDeviceInfo>{{"scripted", 0, 0x000A, 0x0100}};
    }
    std::unique_ptr<HidDevice> Open(const std::string&) override {
        return std::make_unique<ScriptedDevice>(s_);
    }

private:
    Script& s_;
};

TEST(CommandReport, ThirtyThreeBytesWithTheCommandInBytesOneToFive) {
    for (int32_t command : {1, 2, 3, 4, 5, 6, 8}) {
        Script script;
        script.answer.assign(65, 0);
        ScriptedTransport transport(script);
        BoardLibrary lib;
        lib.transport = &transport;
        TextBuffer<128> text;
        ASSERT_EQ(ReadBoard(lib, 0x000A, command, 0, text.data()), 1);
        ASSERT_EQ(script.written.size(), 1u);
        const std::vector<uint8_t>& r = script.written[0];
        ASSERT_EQ(r.size(), 33u);
        EXPECT_EQ(r[0], 0);
        EXPECT_EQ(std::string(r.begin() + 1, r.begin() + 6), "Vorn" + std::to_string(command));
        for (size_t i = 6; i < r.size(); ++i) EXPECT_EQ(r[i], 0) << i;
    }
}

TEST(CommandReport, FailedWriteIsAFailedExchangeWithoutARead) {
    Script script;
    script.write_result = -1;
    script.answer.assign(65, 0x55);
    ScriptedTransport transport(script);
    BoardLibrary lib;
    lib.transport = &transport;
    TextBuffer<128> text;
    EXPECT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 0);
    EXPECT_TRUE(text.Untouched());
    EXPECT_EQ(script.reads, 0);
}

TEST(CommandReport, ReadTimeoutIsAFailedExchange) {
    Script script;
    script.read_result = 0;
    ScriptedTransport transport(script);
    BoardLibrary lib;
    lib.transport = &transport;
    TextBuffer<128> text;
    EXPECT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 0);
    EXPECT_TRUE(text.Untouched());
}

TEST(BoardStrings, KeepsTheLowByteOfEachCodeUnitAndBoundsTheLength) {
    struct Case {
        std::optional<std::u16string> product;
        int32_t result;
        std::string text;
    };
    const Case cases[] = {
        {u"KESTRANEUNIT", 1, "KESTRANEUNIT"},
        {u"A\u0142B", 1, "ABB"},   // U+0142 keeps 0x42
        {u"AB\u0100CD", 1, "AB"},  // a low byte of 0 ends the text
        {std::u16string(400, u'x'), 1, std::string(255, 'x')},
        {std::nullopt, 0, "untouched"},  // the string cannot be read
    };
    for (const Case& c : cases) {
        Script script;
        script.product = c.product;
        ScriptedTransport transport(script);
        BoardLibrary lib;
        lib.transport = &transport;
        TextBuffer<256> text;
        EXPECT_EQ(BoardProduct(lib, 0x000A, text.data()), c.result);
        EXPECT_EQ(text.text(), c.text);
        EXPECT_TRUE(text.GuardIntact());
    }
}

}  // namespace
}  // namespace kestrane::board

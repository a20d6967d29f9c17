// The exported C functions of the shared library, driven through a
// simulation file the way the client and the tool use them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "kestrane_dll.h"

namespace {

std::string g_sim_path;

// Replaces the file in one step (new inode), so the library sees a change.
void WriteSimulation(const std::string& text) {
    const std::string tmp = g_sim_path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
    }
    ASSERT_EQ(std::rename(tmp.c_str(), g_sim_path.c_str()), 0);
}

class Exports : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_sim_path = ::testing::TempDir() + "kestrane-exports-" + std::to_string(::getpid()) + ".sim";
        WriteSimulation("");
        // Read once, at the library's first call.
        ::setenv("KESTRANE_SIMULATION", g_sim_path.c_str(), 1);
    }
    static void TearDownTestSuite() { std::remove(g_sim_path.c_str()); }
};

TEST_F(Exports, TestDllAnswersOk) {
    std::array<char, 8> text{};
    EXPECT_EQ(TestDLL(text.data()), 1);
    EXPECT_STREQ(text.data(), "OK");
}

TEST_F(Exports, ReadsTheSimulatedBoard) {
    WriteSimulation(
        "[device]\nproduct-id = 000A\nversion = 0214\nmanufacturer = Morvane\n"
        "firmware = KESTRANE FW 2.14\nchannel1 = word 0x401000C0\nchannel5 = -11.95\n"
        "[device]\nproduct-id = 000B\n");
    std::array<char, KESTRANE_LIST_TEXT_SIZE> list{};
    ASSERT_EQ(FindKestranes(list.data()), 1);
    EXPECT_STREQ(list.data(), "000A|000B|");

    std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
    ASSERT_EQ(ReadKestrane(0x000A, 1, 0, text.data()), 1);
    EXPECT_STREQ(text.data(), "1074790592");
    ASSERT_EQ(ReadKestrane(0x000A, 1, 1, text.data()), 1);
    EXPECT_STREQ(text.data(), "+ 0.197734");
    ASSERT_EQ(ReadKestrane(0x000A, 5, 1, text.data()), 1);
    // Quantised to the nearest count (24 uV steps).
    EXPECT_STREQ(text.data(), "- 11.949992");
    ASSERT_EQ(ReadKestrane(0x000A, 8, 0, text.data()), 1);
    EXPECT_STREQ(text.data(), "KESTRANE FW 2.14");

    std::array<char, KESTRANE_STRING_TEXT_SIZE> s{};
    ASSERT_EQ(GetProductString(0x000A, s.data()), 1);
    EXPECT_STREQ(s.data(), "KESTRANEUNIT");
    ASSERT_EQ(GetManufacturerString(0x000A, s.data()), 1);
    EXPECT_STREQ(s.data(), "Morvane");
    ASSERT_EQ(GetVersionString(0x000A, s.data()), 1);
    EXPECT_STREQ(s.data(), "0214");
}

TEST_F(Exports, FailuresReturnZeroAndWriteNothing) {
    WriteSimulation("[device]\nproduct-id = 000A\n[device]\nproduct-id = 000C\nfault = busy\n");
    std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
    std::memcpy(text.data(), "untouched", 10);
    EXPECT_EQ(ReadKestrane(0x000A, 7, 0, text.data()), 0);
    EXPECT_EQ(ReadKestrane(0x000A, 1, 2, text.data()), 0);
    EXPECT_EQ(ReadKestrane(0x0001000A, 1, 0, text.data()), 0);
    EXPECT_EQ(ReadKestrane(0x000C, 1, 0, text.data()), 0);
    EXPECT_EQ(GetProductString(0x000B, text.data()), 0);
    EXPECT_EQ(GetManufacturerString(0x000C, text.data()), 0);
    EXPECT_EQ(GetVersionString(0x000B, text.data()), 0);
    EXPECT_STREQ(text.data(), "untouched");
    // A null buffer is refused rather than written through.
    EXPECT_EQ(ReadKestrane(0x000A, 1, 0, nullptr), 0);
    EXPECT_EQ(FindKestranes(nullptr), 0);
    EXPECT_EQ(TestDLL(nullptr), 0);
}

TEST_F(Exports, HeldHandleKeepsUpWithThePollingTick) {
    // Opening a closed board costs 50 ms here, as on a real hidraw node; a
    // library that reopened it for every call would need three seconds.
    WriteSimulation("[device]\nproduct-id = 000A\nopen-delay-ms = 50\nchannel1 = word 0x401000C0\n");
    std::array<char, KESTRANE_ANSWER_TEXT_SIZE> text{};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(ReadKestrane(0x000A, 1 + i % 6, 0, text.data()), 1) << i;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    // The board leaving the bus is noticed by the next call through the
    // held handle, and coming back (a new file) is served by a fresh one.
    WriteSimulation("[device]\nproduct-id = 000A\nfault = absent\n");
    EXPECT_EQ(ReadKestrane(0x000A, 1, 0, text.data()), 0);
    WriteSimulation("[device]\nproduct-id = 000A\nchannel1 = word 5\n");
    ASSERT_EQ(ReadKestrane(0x000A, 1, 0, text.data()), 1);
    EXPECT_STREQ(text.data(), "5");
}

TEST_F(Exports, BrokenSimulationFileFailsDiscovery) {
    WriteSimulation("[device]\nproduct-id = nonsense\n");
    std::array<char, KESTRANE_LIST_TEXT_SIZE> list{};
    std::memcpy(list.data(), "untouched", 10);
    EXPECT_EQ(FindKestranes(list.data()), 0);
    EXPECT_STREQ(list.data(), "untouched");
    // Mended file: the bus comes back.
    WriteSimulation("[device]\nproduct-id = 0ABC\n");
    ASSERT_EQ(FindKestranes(list.data()), 1);
    EXPECT_STREQ(list.data(), "0ABC|");
}

}  // namespace

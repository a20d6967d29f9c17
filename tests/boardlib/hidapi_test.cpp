// The hidapi backend on a machine without a board: discovery succeeds with
// an empty list and exchanges fail cleanly.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "board_access.h"
#include "hidapi_transport.h"

namespace kestrane::board {
namespace {

TEST(HidapiBackend, NoBoardMeansAnEmptyListAndFailedExchanges) {
    auto transport = MakeHidapiTransport();
    BoardLibrary lib;
    lib.transport = transport.get();
    std::array<char, 1024> list{};
    std::memcpy(list.data(), "untouched", 10);
    ASSERT_EQ(FindBoards(lib, list.data()), 1);
    if (list[0] != '\0') GTEST_SKIP() << "a board is attached: " << list.data();

    std::array<char, 256> text{};
    std::memcpy(text.data(), "untouched", 10);
    EXPECT_EQ(ReadBoard(lib, 0x000A, 1, 0, text.data()), 0);
    EXPECT_EQ(ReadBoard(lib, 0x000A, 8, 1, text.data()), 0);
    EXPECT_EQ(BoardProduct(lib, 0x000A, text.data()), 0);
    EXPECT_EQ(BoardVersion(lib, 0x000A, text.data()), 0);
    EXPECT_STREQ(text.data(), "untouched");
    // Repeated use keeps working (hidapi state is set up once).
    EXPECT_EQ(FindBoards(lib, list.data()), 1);
}

TEST(HidapiBackend, OpeningANonexistentPathFails) {
    auto transport = MakeHidapiTransport();
    EXPECT_EQ(transport->Open("/dev/kestrane-no-such-hidraw"), nullptr);
    EXPECT_EQ(transport->Open(""), nullptr);
}

}  // namespace
}  // namespace kestrane::board

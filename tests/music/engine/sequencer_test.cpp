// Sequencer timing and position logic: tick lengths, speed and tempo,
// jumps and breaks, pattern loop and delay, looping and the song end.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "test_songs.h"

namespace kestrane::music::engine {
namespace {

using xmtest::Load;
using xmtest::Mix;
using xmtest::NextTick;
using xmw::Cell;

// A song of `channels` channels and `patterns` patterns of `rows` empty rows.
xmw::Song EmptySong(int channels, int patterns, int rows, std::vector<uint8_t> orders) {
    xmw::Song s;
    s.channels = channels;
    for (int p = 0; p < patterns; ++p) {
        xmw::Pattern pat;
        pat.rows = rows;
        pat.At(0, 0, channels) = Cell{};
        s.patterns.push_back(pat);
    }
    s.orders = std::move(orders);
    s.instruments.push_back(xmtest::InstrumentWith(xmtest::DcSample(1000, 100)));
    return s;
}

// Plays row by row and returns the (order, row) of each processed row.
std::vector<std::pair<int, int>> Rows(XmRenderer& r, size_t count) {
    std::vector<std::pair<int, int>> rows;
    uint64_t seen = r.Position().rowsPlayed;
    while (rows.size() < count && !r.Ended()) {
        NextTick(r);
        if (r.Position().rowsPlayed != seen) {
            seen = r.Position().rowsPlayed;
            rows.emplace_back(r.Position().order, r.Position().row);
        }
    }
    return rows;
}

using RowList = std::vector<std::pair<int, int>>;

TEST(XmSequencer, Speed7Tempo216GivesTicksOf555AndRowsOf3885Frames) {
    xmw::Song s = EmptySong(1, 1, 4, {0});
    s.speed = 7;
    s.tempo = 216;
    XmRenderer r(Load(s));
    Mix(r, 1);
    EXPECT_EQ(r.Position().framesPerTick, 555);
    EXPECT_EQ(r.Position().framesLeftInTick, 554);
    Mix(r, 3884);
    EXPECT_EQ(r.Position().row, 0);
    EXPECT_EQ(r.Position().framesLeftInTick, 0);
    EXPECT_EQ(r.Position().tick, 0);  // seven ticks run, the next is a row tick
    Mix(r, 1);
    EXPECT_EQ(r.Position().row, 1);
    EXPECT_EQ(r.Position().rowsPlayed, 2u);
}

TEST(XmSequencer, SpeedAndTempoEffects) {
    struct Case {
        const char* name;
        uint8_t param;
        int speed;
        int32_t framesPerTick;
        size_t framesPerRow;
    };
    const Case cases[] = {
        {"F00: every tick a row", 0x00, 0, 960, 960}, {"F01", 0x01, 1, 960, 960},
        {"F1F: speed 31", 0x1F, 31, 960, 31 * 960},   {"F20: tempo 32", 0x20, 6, 3750, 6 * 3750},
        {"FFF: tempo 255", 0xFF, 6, 470, 6 * 470},
    };
    for (const Case& c : cases) {
        xmw::Song s = EmptySong(1, 1, 8, {0});
        s.patterns[0].At(0, 0, 1) = Cell{0, 0, 0, 0x0F, c.param};
        XmRenderer r(Load(s));
        Mix(r, 1);
        EXPECT_EQ(r.Position().speed, c.speed) << c.name;
        EXPECT_EQ(r.Position().framesPerTick, c.framesPerTick) << c.name;
        Mix(r, c.framesPerRow - 1);
        EXPECT_EQ(r.Position().row, 0) << c.name;
        Mix(r, 1);
        EXPECT_EQ(r.Position().row, 1) << c.name;
    }
}

TEST(XmSequencer, JumpAndBreakInBothOrders) {
    struct Case {
        const char* name;
        Cell first, second;  // channel 0, channel 1 of order 0 row 1
        std::pair<int, int> next;
    };
    const Case cases[] = {
        {"jump then break: jump's order, break's row",
         Cell{0, 0, 0, 0x0B, 2},
         Cell{0, 0, 0, 0x0D, 0x03},
         {2, 3}},
        {"break then jump: jump's order, row 0", Cell{0, 0, 0, 0x0D, 0x03}, Cell{0, 0, 0, 0x0B, 2}, {2, 0}},
        {"break alone: next order", Cell{0, 0, 0, 0x0D, 0x12}, Cell{}, {1, 12}},
        {"jump alone", Cell{0, 0, 0, 0x0B, 2}, Cell{}, {2, 0}},
        {"jump beyond the list goes to 0", Cell{0, 0, 0, 0x0B, 9}, Cell{}, {0, 0}},
        {"break to a row past the pattern starts it at 0", Cell{0, 0, 0, 0x0D, 0x99}, Cell{}, {1, 0}},
    };
    for (const Case& c : cases) {
        xmw::Song s = EmptySong(2, 3, 16, {0, 1, 2});
        s.patterns[0].At(1, 0, 2) = c.first;
        s.patterns[0].At(1, 1, 2) = c.second;
        XmRenderer r(Load(s));
        const RowList rows = Rows(r, 3);
        ASSERT_EQ(rows.size(), 3u) << c.name;
        EXPECT_EQ(rows[1], std::make_pair(0, 1)) << c.name;
        EXPECT_EQ(rows[2], c.next) << c.name;
    }
}

TEST(XmSequencer, BreakOnTheLastOrderWrapsToTheFirst) {
    xmw::Song s = EmptySong(1, 2, 4, {0, 1});
    s.patterns[1].At(1, 0, 1) = Cell{0, 0, 0, 0x0D, 0x02};
    XmRenderer r(Load(s));
    const RowList rows = Rows(r, 8);
    const RowList expected = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {0, 2}, {0, 3}};
    EXPECT_EQ(rows, expected);
}

TEST(XmSequencer, LoopingGoesToTheRestartPosition) {
    struct Case {
        int restart;
        int expectedOrder;
    };
    for (const Case c : {Case{1, 1}, Case{2, 2}, Case{3, 0}, Case{200, 0}}) {
        xmw::Song s = EmptySong(1, 3, 2, {0, 1, 2});
        s.restartPosition = c.restart;
        XmRenderer r(Load(s));
        const RowList rows = Rows(r, 7);
        ASSERT_EQ(rows.size(), 7u);
        EXPECT_EQ(rows[5], std::make_pair(2, 1));
        EXPECT_EQ(rows[6], std::make_pair(c.expectedOrder, 0)) << c.restart;
    }
}

TEST(XmSequencer, NoLoopEndsAfterTheLastRowHasPlayed) {
    xmw::Song s = EmptySong(1, 2, 3, {0, 1});
    XmRenderer r(Load(s), false);
    const size_t songFrames = 2 * 3 * 6 * 960;  // 34,560
    std::vector<int64_t> acc(2 * 40000);
    EXPECT_EQ(r.MixFrames(acc), songFrames);
    EXPECT_TRUE(r.Ended());
    EXPECT_EQ(r.MixFrames(acc), 0u);

    // Block by block: the block that holds the end says so.
    XmRenderer b(Load(s), false);
    std::array<int16_t, kXmBlockSamples> block{};
    int blocks = 1;
    while (b.RenderBlock(block)) ++blocks;
    EXPECT_EQ(blocks, static_cast<int>((songFrames + kXmBlockFrames - 1) / kXmBlockFrames));
    EXPECT_FALSE(b.RenderBlock(block));
}

TEST(XmSequencer, RenderToPcmStopsAtTheSongEnd) {
    xmw::Song s = EmptySong(1, 2, 3, {0, 1});
    s.patterns[0].At(0, 0, 1) = Cell{49, 1, 0, 0, 0};
    const auto song = Load(s);
    const std::vector<int16_t> all = XmRenderToPcm(song, 1000000);
    EXPECT_EQ(all.size(), 2u * 34560);
    const std::vector<int16_t> part = XmRenderToPcm(song, 1500);
    ASSERT_EQ(part.size(), 3000u);
    XmRenderer r(song, false);
    std::array<int16_t, kXmBlockSamples> block{};
    r.RenderBlock(block);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), all.begin()));
    EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin()));
    EXPECT_NE(all[2 * 500], 0);
}

TEST(XmSequencer, NoLoopEndsOnABreakPastTheLastOrder) {
    xmw::Song s = EmptySong(1, 1, 4, {0});
    s.patterns[0].At(1, 0, 1) = Cell{0, 0, 0, 0x0D, 0x00};
    XmRenderer r(Load(s), false);
    std::vector<int64_t> acc(2 * 100000);
    EXPECT_EQ(r.MixFrames(acc), 2u * 6 * 960);
    EXPECT_TRUE(r.Ended());

    // A jump after the break in the same row takes over: the song goes on.
    s.channels = 2;
    s.patterns[0].cells.clear();
    s.patterns[0].At(1, 0, 2) = Cell{0, 0, 0, 0x0D, 0x00};
    s.patterns[0].At(1, 1, 2) = Cell{0, 0, 0, 0x0B, 0x00};
    XmRenderer j(Load(s), false);
    EXPECT_EQ(j.MixFrames(acc), 100000u);
    EXPECT_FALSE(j.Ended());
}

TEST(XmSequencer, ResetStartsOver) {
    xmw::Song s = EmptySong(1, 2, 3, {0, 1});
    s.patterns[0].At(0, 0, 1) = Cell{49, 1, 0, 0x0F, 0x40};
    s.instruments[0].samples[0].finetune = 0;
    s.patterns[0].At(1, 0, 1) = Cell{0, 0, 0, 0x0E, 0x5F};  // E5: finetune change until reset
    XmRenderer r(Load(s), false);
    const std::vector<int64_t> first = Mix(r, 20000);
    r.Reset();
    EXPECT_EQ(r.Position().rowsPlayed, 0u);
    const std::vector<int64_t> second = Mix(r, 20000);
    EXPECT_EQ(first, second);
}

TEST(XmSequencer, PatternLoop) {
    xmw::Song s = EmptySong(1, 2, 4, {0, 1});
    s.patterns[0].At(1, 0, 1) = Cell{0, 0, 0, 0x0E, 0x60};
    s.patterns[0].At(2, 0, 1) = Cell{0, 0, 0, 0x0E, 0x62};
    XmRenderer r(Load(s));
    const RowList rows = Rows(r, 9);
    const RowList expected = {{0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}, {1, 0}};
    EXPECT_EQ(rows, expected);
}

TEST(XmSequencer, PatternDelayRepeatsTheRowsTicks) {
    xmw::Song s = EmptySong(1, 1, 4, {0});
    s.speed = 3;
    s.patterns[0].At(1, 0, 1) = Cell{0, 0, 0, 0x0E, 0xE2};
    XmRenderer r(Load(s));
    Mix(r, 3 * 960 + 1);
    EXPECT_EQ(r.Position().row, 1);
    Mix(r, 3 * 3 * 960 - 1);
    EXPECT_EQ(r.Position().row, 1);  // 3 ticks + 2 x 3 delay ticks
    Mix(r, 1);
    EXPECT_EQ(r.Position().row, 2);
    EXPECT_EQ(r.Position().patternDelay, 0);
}

}  // namespace
}  // namespace kestrane::music::engine

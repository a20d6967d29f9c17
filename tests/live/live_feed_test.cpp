// The live view's feed from the session's events: a reading's number and
// places come from the session's number, never from its shown text; a stop
// of the readings (disconnect, lost board) marks one gap; another board
// clears the trend.
#include "live/live_feed.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kestrane::live {
namespace {

core::Reading Read(int channel, int64_t ms, long double exact, int decimals, const char* unit = "V") {
    core::Reading r;
    r.board = "000A";
    r.channel = channel;
    r.unixMs = ms;
    r.value = ReadingNumber{exact, decimals};
    r.unit = unit;
    r.shown = "text the feed must not read";
    return r;
}

TEST(ToLiveReading, TheShownDigitsAndPlaces) {
    struct Case {
        long double exact;
        int decimals;
        const char* unit;
        double value;  // the number the shown digits stand for
        uint8_t places;
        Unit want;
    };
    const Case cases[] = {
        {12.34549L, 3, "V", 12.345, 3, Unit::Volts},  // rounded as shown, not the exact value
        {12.34551L, 3, "V", 12.346, 3, Unit::Volts},
        {-0.0004L, 3, "V", 0.0, 3, Unit::Volts},  // no negative zero
        {-25.0L, 2, "A", -25.0, 2, Unit::Amperes},
        {7.0L, 0, "V", 7.0, 0, Unit::Volts},
    };
    for (const Case& c : cases) {
        const auto r = ToLiveReading(Read(2, 1000, c.exact, c.decimals, c.unit));
        ASSERT_TRUE(r) << c.value;
        EXPECT_EQ(r->channel, 2);
        EXPECT_EQ(r->unixMs, 1000);
        EXPECT_EQ(r->value, c.value) << static_cast<double>(c.exact);
        EXPECT_FALSE(std::signbit(r->value) && r->value == 0.0);
        EXPECT_EQ(r->decimals, c.places);
        EXPECT_EQ(r->unit, c.want);
        // Written back with its places, it gives the session's own digits.
        EXPECT_EQ(PlainNumber(r->value, r->decimals),
                  kestrane::PlainNumber(Read(2, 0, c.exact, c.decimals).value));
    }
    // A number beyond a double is left out rather than stored as infinity.
    EXPECT_FALSE(ToLiveReading(Read(1, 0, 1e400L, 3)));
}

TEST(LiveFeed, SessionEventsMarkGapsAndBoards) {
    LiveRecorder recorder;
    int64_t now = 5000;
    LiveFeed feed(recorder, [&] { return now; });
    feed.OnConnected("000A");
    feed.OnReading(Read(1, 1000, 1.0L, 1));
    feed.OnReading(Read(1, 1500, 2.0L, 1));
    EXPECT_EQ(recorder.statistics(1).count(), 2U);
    EXPECT_EQ(recorder.store().endIndex(1) - recorder.store().firstIndex(1), 2U);

    // A lost board and the Disconnect that may follow make one stop.
    const uint64_t before = feed.generation();
    feed.OnBoardLost("000A");
    feed.OnDisconnected("000A");
    EXPECT_EQ(feed.generation(), before + 1);
    // The board back: its readings continue and the next stop is marked again.
    feed.OnBoardBack("000A");
    feed.OnReading(Read(1, 6000, 3.0L, 1));
    feed.OnDisconnected("000A");
    EXPECT_EQ(feed.generation(), before + 3);

    // The same board again keeps the trend; another board clears it.
    feed.OnConnected("000A");
    EXPECT_EQ(recorder.statistics(1).count(), 3U);
    feed.OnConnected("000B");
    EXPECT_EQ(recorder.statistics(1).count(), 0U);
    EXPECT_EQ(feed.board(), "000B");
}

}  // namespace
}  // namespace kestrane::live

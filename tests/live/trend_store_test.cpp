// The trend store against a brute-force reading of the same stream: every
// pixel column's count, minimum, maximum, mean and gap flags, at every span
// and several widths, over random streams with gaps and over edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "live/trend_store.h"

using namespace kestrane::live;

namespace {

struct Raw {
    int64_t t;
    double v;
    bool gapBefore;
};

// The reference: every reading kept, columns summed one reading at a time.
struct Reference {
    std::vector<Raw> readings;
    bool pendingGap = false;

    void Add(int64_t t, double v) {
        if (!readings.empty()) t = std::max(t, readings.back().t);
        readings.push_back({t, v, pendingGap});
        pendingGap = false;
    }
    void Gap() {
        if (!readings.empty()) pendingGap = true;
    }

    std::vector<Column> Query(int64_t from, int64_t to, std::size_t width) const {
        std::vector<Column> out(width);
        bool hasPrevious = false;
        std::size_t previousLast = 0;
        for (std::size_t p = 0; p < width; ++p) {
            const int64_t a = TrendStore::ColumnStart(from, to, width, p);
            const int64_t b = TrendStore::ColumnStart(from, to, width, p + 1);
            Column& c = out[p];
            double sum = 0;
            std::size_t first = 0;
            // The readings are in time order: start at the column's first.
            const auto begin =
                std::partition_point(readings.begin(), readings.end(), [&](const Raw& r) { return r.t < a; });
            for (auto i = static_cast<std::size_t>(begin - readings.begin()); i < readings.size(); ++i) {
                if (readings[i].t >= b) break;
                if (c.count == 0) {
                    first = i;
                    c.min = c.max = readings[i].v;
                } else {
                    c.gapInside |= readings[i].gapBefore;
                }
                c.min = std::min(c.min, readings[i].v);
                c.max = std::max(c.max, readings[i].v);
                sum += readings[i].v;
                ++c.count;
            }
            if (c.count == 0) continue;
            c.mean = sum / c.count;
            if (hasPrevious)
                for (std::size_t i = previousLast + 1; i <= first; ++i)
                    c.breakBefore |= readings[i].gapBefore;
            hasPrevious = true;
            previousLast = first + c.count - 1;
        }
        return out;
    }
};

void ExpectSame(const std::vector<Column>& got, const std::vector<Column>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t p = 0; p < got.size(); ++p) {
        SCOPED_TRACE(what + " column " + std::to_string(p));
        ASSERT_EQ(got[p].count, want[p].count);
        if (want[p].count == 0) continue;
        ASSERT_EQ(got[p].min, want[p].min);
        ASSERT_EQ(got[p].max, want[p].max);
        ASSERT_NEAR(got[p].mean, want[p].mean, 1e-9 * (1 + std::fabs(want[p].mean)));
        ASSERT_EQ(got[p].breakBefore, want[p].breakBefore);
        ASSERT_EQ(got[p].gapInside, want[p].gapInside);
    }
}

constexpr int64_t kSpans[] = {60'000, 600'000, 3'600'000, 8 * 3'600'000LL, 24 * 3'600'000LL};

}  // namespace

TEST(TrendStore, MatchesBruteForceOnRandomStreams) {
    for (const unsigned seed : {1U, 7U, 42U, 2026U}) {
        std::mt19937_64 rng(seed);
        TrendStore store;
        Reference ref;
        const int channel = 1 + static_cast<int>(seed % 6);
        // Bursts of readings at jittered intervals (some equal times, some
        // long pauses), values with spikes and negative stretches, gaps now
        // and then, and one clock step backwards.
        int64_t t = 1'800'000'000'000LL + static_cast<int64_t>(seed);
        std::uniform_int_distribution<int> step(0, 700);
        std::normal_distribution<double> noise(0.0, 3.0);
        const int total = 60'000 + static_cast<int>(seed % 5000);
        for (int i = 0; i < total; ++i) {
            t += step(rng);
            if (rng() % 5000 == 0) t += 3'600'000;  // an hour without readings
            if (i == total / 2) t -= 10'000;        // the clock set back
            double v = 12.0 + 5.0 * std::sin(i / 500.0) + noise(rng);
            if (rng() % 997 == 0) v = -1e6;  // a spike the minimum must keep
            if (rng() % 800 == 0) {
                store.Gap(t);
                ref.Gap();
            }
            ASSERT_TRUE(store.Add(channel, t, v, Unit::Volts, 3));
            ref.Add(t, v);
        }
        const int64_t newest = store.newestMs();
        for (const int64_t span : kSpans) {
            for (const std::size_t width : {std::size_t{1}, std::size_t{97}, std::size_t{1366}}) {
                for (const int64_t back : {int64_t{0}, span / 3, int64_t{4'000'000}}) {
                    const int64_t to = newest + 1 - back;
                    std::vector<Column> got(width);
                    store.Query(channel, to - span, to, got);
                    ExpectSame(got, ref.Query(to - span, to, width),
                               "seed " + std::to_string(seed) + " span " + std::to_string(span) + " width " +
                                   std::to_string(width));
                }
            }
        }
    }
}

TEST(TrendStore, EdgeCases) {
    struct Case {
        const char* name;
        std::vector<std::pair<int64_t, double>> readings;  // time -1 = gap
        int64_t from, to;
        std::size_t width;
    };
    const std::vector<Case> cases = {
        {"empty store", {}, 0, 1000, 10},
        {"one reading", {{500, 3.5}}, 0, 1000, 10},
        {"reading exactly at a column start and at the end", {{0, 1}, {100, 2}, {1000, -2}}, 0, 1000, 10},
        {"all readings at one time", {{5, 1}, {5, 9}, {5, -4}, {5, 2}}, 0, 10, 10},
        {"more columns than milliseconds", {{0, 1}, {1, 2}, {2, 3}}, 0, 3, 50},
        {"gap before the first reading", {{-1, 0}, {10, 1}, {20, 2}}, 0, 100, 10},
        {"gap inside one column", {{10, 1}, {-1, 0}, {11, 5}, {50, 2}}, 0, 100, 10},
        {"gap between columns, twice in a row", {{10, 1}, {-1, 0}, {-1, 0}, {55, 5}, {70, 2}}, 0, 100, 10},
        {"everything outside the range", {{10, 1}, {20, 2}}, 100, 200, 10},
        {"negative values only", {{1, -5}, {2, -7}, {3, -1}}, 0, 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrendStore store;
        Reference ref;
        for (const auto& [t, v] : c.readings) {
            if (t < 0) {
                store.Gap(0);
                ref.Gap();
            } else {
                store.Add(3, t, v, Unit::Volts, 2);
                ref.Add(t, v);
            }
        }
        std::vector<Column> got(c.width);
        store.Query(3, c.from, c.to, got);
        ExpectSame(got, ref.Query(c.from, c.to, c.width), c.name);
    }
}

TEST(TrendStore, ChunkAndBlockBoundaries) {
    // Lengths around the block and chunk sizes, queried at every range of a
    // coarse grid, so partial blocks at both ends are summed right.
    for (const int n : {15, 16, 17, 255, 256, 257, 4095, 4096, 4097, 8193}) {
        TrendStore store;
        Reference ref;
        for (int i = 0; i < n; ++i) {
            const double v = ((i * 7919) % 1000) - 500.0;
            store.Add(6, i, v, Unit::Amperes, 1);
            ref.Add(i, v);
        }
        for (int a = 0; a < n; a += std::max(1, n / 37)) {
            std::vector<Column> got(1);
            store.Query(6, a, n, got);
            ExpectSame(got, ref.Query(a, n, 1), "n " + std::to_string(n) + " from " + std::to_string(a));
            store.Query(6, 0, a + 1, got);
            ExpectSame(got, ref.Query(0, a + 1, 1),
                       "n " + std::to_string(n) + " to " + std::to_string(a + 1));
        }
    }
}

TEST(TrendStore, RefusesBadInputAndKeepsTypedFields) {
    TrendStore store;
    EXPECT_FALSE(store.Add(0, 1, 1.0, Unit::Volts, 0));
    EXPECT_FALSE(store.Add(7, 1, 1.0, Unit::Volts, 0));
    EXPECT_FALSE(store.Add(1, 1, NAN, Unit::Volts, 0));
    EXPECT_FALSE(store.Add(1, 1, INFINITY, Unit::Volts, 0));
    EXPECT_TRUE(store.empty());
    std::vector<Column> out(4);
    store.Query(9, 0, 10, out);  // an unknown channel reads as empty
    EXPECT_EQ(out[0].count, 0U);

    ASSERT_TRUE(store.Add(2, 1000, -0.25, Unit::Amperes, 2));
    const StoredReading r = store.At(2, store.firstIndex(2));
    EXPECT_EQ(r.unixMs, 1000);
    EXPECT_EQ(r.value, -0.25);
    EXPECT_EQ(r.unit, Unit::Amperes);
    EXPECT_EQ(r.decimals, 2);
    EXPECT_EQ(store.At(2, 99).unixMs, 0);  // out of range: an empty record
}

TEST(TrendStore, ForgetsReadingsOlderThanADayAndStaysBounded) {
    TrendStore store;
    // One channel at the fastest polling rate for 26 hours: the oldest two
    // hours go, and the count never passes the cap.
    const int64_t start = 1'700'000'000'000LL;
    int64_t t = start;
    for (int i = 0; i < 26 * 3600 * 20; ++i, t += 50) store.Add(4, t, i % 100, Unit::Volts, 0);
    EXPECT_LE(store.storedReadings(), kMaxStoredReadings);
    const StoredReading oldest = store.At(4, store.firstIndex(4));
    EXPECT_GE(oldest.unixMs, t - 50 - kRetentionMs - 4096 * 50);  // at most one chunk more than a day
    EXPECT_LE(oldest.unixMs, t - 50 - kRetentionMs + 4096 * 50);

    // Readings faster than any polling can make still stop at the cap.
    TrendStore flood;
    for (int i = 0; i < 2'000'000; ++i) flood.Add(1 + i % 6, start + i / 100, 1.0, Unit::Volts, 0);
    EXPECT_LE(flood.storedReadings(), kMaxStoredReadings);
    EXPECT_LE(flood.MemoryBytes(), 32U * 1024 * 1024);
}

TEST(TrendStore, GapTimesAndIndicesStayTrue) {
    TrendStore store;
    store.Gap(5);  // nothing read yet: no mark on any channel
    store.Add(1, 100, 1, Unit::Volts, 0);
    store.Add(1, 200, 2, Unit::Volts, 0);
    store.Gap(250);
    store.Add(1, 300, 3, Unit::Volts, 0);
    EXPECT_FALSE(store.GapBefore(1, 1));
    EXPECT_TRUE(store.GapBefore(1, 2));
    EXPECT_EQ(store.GapsIn(0, 1000), (std::vector<int64_t>{5, 250}));
    EXPECT_EQ(store.GapsIn(250, 251), (std::vector<int64_t>{250}));
    EXPECT_TRUE(store.GapsIn(251, 1000).empty());
    EXPECT_EQ(store.LowerBound(1, 150), 1U);
    EXPECT_EQ(store.LowerBound(1, 301), 3U);
    store.Clear();
    EXPECT_TRUE(store.empty());
    EXPECT_TRUE(store.GapsIn(0, 1000).empty());
    EXPECT_EQ(store.newestMs(), 0);
}

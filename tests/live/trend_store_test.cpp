// The trend store against a brute-force reading of the same stream: every
// pixel column's count, minimum, maximum, mean and gap flags, at every span
// and several widths, over random streams with gaps and over edge cases;
// and the columns a redraw keeps against those summed afresh, as readings,
// gaps and resets come and old readings are forgotten.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "live/column_cache.h"
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
        return Columns(width, [&](std::size_t p) { return TrendStore::ColumnStart(from, to, width, p); });
    }
    // Columns firstColumn .. firstColumn + width - 1 of the clock grid.
    std::vector<Column> Query(const ColumnGrid& grid, int64_t firstColumn) const {
        return Columns(grid.width,
                       [&](std::size_t p) { return grid.Start(firstColumn + static_cast<int64_t>(p)); });
    }

    template <typename EdgeMs>
    std::vector<Column> Columns(std::size_t width, EdgeMs edgeMs) const {
        std::vector<Column> out(width);
        bool hasPrevious = false;
        std::size_t previousLast = 0;
        for (std::size_t p = 0; p < width; ++p) {
            const int64_t a = edgeMs(p);
            const int64_t b = edgeMs(p + 1);
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

void ExpectSame(std::span<const Column> got, std::span<const Column> want, const std::string& what) {
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
                    const std::string what = "seed " + std::to_string(seed) + " span " +
                                             std::to_string(span) + " width " + std::to_string(width) +
                                             " back " + std::to_string(back);
                    ExpectSame(got, ref.Query(to - span, to, width), what);
                    // The same on the clock grid, the view ending at the
                    // boundary after `to`.
                    const ColumnGrid grid{span, width};
                    const int64_t first = grid.ColumnOf(to - 1) + 1 - static_cast<int64_t>(width);
                    store.Query(channel, grid, first, got);
                    ExpectSame(got, ref.Query(grid, first), what + " on the grid");
                    // Cut at `to`, inside the last column, after readings.
                    store.Query(channel, grid, first, got, true, to);
                    std::vector<Column> want = ref.Columns(width, [&](std::size_t p) {
                        return std::min(grid.Start(first + static_cast<int64_t>(p)), to);
                    });
                    // The first column with readings follows those before:
                    // it breaks when a gap lies before its first reading.
                    for (Column& c : want) {
                        if (c.count == 0) continue;
                        const auto it =
                            std::partition_point(ref.readings.begin(), ref.readings.end(),
                                                 [&](const Raw& r) { return r.t < grid.Start(first); });
                        c.breakBefore = it->gapBefore;
                        break;
                    }
                    ExpectSame(got, want, what + " cut on the grid");
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

TEST(ColumnGrid, ColumnsTileTheClock) {
    struct Case {
        int64_t span;
        std::size_t width;
    };
    const Case cases[] = {{60'000, 1292}, {86'400'000, 1292}, {60'000, 7}, {7, 60'000}, {1000, 1000}, {5, 1}};
    std::mt19937_64 rng(5);
    for (const Case& c : cases) {
        const ColumnGrid grid{c.span, c.width};
        for (int i = 0; i < 2000; ++i) {
            // Around 1970 (negative times too) and around now.
            const int64_t t = static_cast<int64_t>(rng() % 4'000'000'000'000ULL) - 2'000'000'000'000LL +
                              (i % 2) * 1'800'000'000'000LL;
            const int64_t k = grid.ColumnOf(t);
            ASSERT_LE(grid.Start(k), t) << c.span << "/" << c.width << " at " << t;
            ASSERT_GT(grid.Start(k + 1), t) << c.span << "/" << c.width << " at " << t;
            ASSERT_EQ(grid.Start(k + static_cast<int64_t>(c.width)) - grid.Start(k), c.span);
        }
    }
}

namespace {

// A view as a window keeps it: its span, width and column cache; a lagging
// view moves on only every few steps (like a paused window that resumes),
// sometimes by more than its width.
struct CachedView {
    int64_t span;
    std::size_t width;
    int lag;
    ColumnCache cache;
};

std::vector<CachedView> AllViews() {
    std::vector<CachedView> views;
    for (const int64_t span : kSpans)
        for (const std::size_t width : {std::size_t{1}, std::size_t{97}, std::size_t{1366}})
            for (const int lag : {1, 9}) views.push_back({span, width, lag, {}});
    return views;
}

}  // namespace

TEST(ColumnCache, MatchesFreshColumnsAsReadingsGapsAndResetsCome) {
    for (const unsigned seed : {3U, 2026U}) {
        std::mt19937_64 rng(seed);
        TrendStore store;
        Reference ref;
        const int channel = 1 + static_cast<int>(seed % 6);
        const int other = channel % 6 + 1;
        std::vector<CachedView> views = AllViews();
        const int64_t start = 1'800'000'000'000LL + static_cast<int64_t>(seed) * 12'345;
        int64_t t = start;
        // 30 hours, so the store forgets the first hours on the way; a
        // Reset after the first.
        bool reset = false;
        for (int step = 0; t < start + 30 * 3'600'000LL; ++step) {
            const int batch = static_cast<int>(rng() % 80);
            for (int i = 0; i < batch; ++i) {
                t += static_cast<int64_t>(rng() % 4000);
                if (rng() % 3000 == 0) t += 1'200'000;                 // a pause of 20 minutes
                const int64_t at = rng() % 500 == 0 ? t - 30'000 : t;  // the clock set back
                if (rng() % 150 == 0) {
                    store.Gap(t);
                    ref.Gap();
                }
                if (rng() % 4 == 0) {
                    store.Add(other, t, 1.0, Unit::Volts, 1);  // moves the view without this channel
                    continue;
                }
                const double v =
                    3.0 * std::sin(static_cast<double>(t) / 7e6) + static_cast<double>(rng() % 100) / 7.0;
                ASSERT_TRUE(store.Add(channel, at, v, Unit::Volts, 2));
                ref.Add(at, v);
            }
            if (!reset && t > start + 3'600'000) {
                store.Clear();
                ref = Reference{};
                reset = true;
            }
            if (store.empty()) continue;
            const bool bruteForce = step % 30 == 0;
            for (CachedView& view : views) {
                if (step % view.lag != 0) continue;
                const ColumnGrid grid{view.span, view.width};
                const int64_t end = grid.ColumnOf(store.newestMs()) + 1;
                const int64_t first = end - static_cast<int64_t>(view.width);
                const std::span<const Column> got = view.cache.Columns(store, channel, grid, end);
                std::vector<Column> fresh(view.width);
                store.Query(channel, grid, first, fresh);
                const std::string what = "seed " + std::to_string(seed) + " step " + std::to_string(step) +
                                         " span " + std::to_string(view.span) + " width " +
                                         std::to_string(view.width) + " lag " + std::to_string(view.lag);
                ExpectSame(got, fresh, what);
                if (bruteForce) ExpectSame(got, ref.Query(grid, first), what + " brute force");
            }
        }
        ASSERT_TRUE(reset);
        ASSERT_GT(store.firstIndex(channel), 0U) << "the store forgot nothing";
    }
}

TEST(ColumnCache, SumsAgainWhenReadingsInViewAreForgotten) {
    // Readings far faster than polling on one channel: the store's cap
    // forgets readings that are still in a one-hour view.
    TrendStore store;
    std::vector<CachedView> views;
    for (const std::size_t width : {std::size_t{97}, std::size_t{1366}})
        views.push_back({3'600'000, width, 1, {}});
    const int64_t start = 1'800'000'000'000LL;
    int64_t t = start;
    auto fill = [&](int n) {
        for (int i = 0; i < n; ++i, ++t)
            store.Add(2, t, static_cast<double>((t * 7919) % 1000), Unit::Volts, 0);
    };
    fill(static_cast<int>(kMaxStoredReadings) - 20'000);
    for (int step = 0; step < 40; ++step) {
        fill(step % 3 == 0 ? 9'000 : 700);
        if (step == 20) store.Gap(t);
        for (CachedView& view : views) {
            const ColumnGrid grid{view.span, view.width};
            const int64_t end = grid.ColumnOf(store.newestMs()) + 1;
            const std::span<const Column> got = view.cache.Columns(store, 2, grid, end);
            std::vector<Column> fresh(view.width);
            store.Query(2, grid, end - static_cast<int64_t>(view.width), fresh);
            ExpectSame(got, fresh, "step " + std::to_string(step) + " width " + std::to_string(view.width));
        }
    }
    EXPECT_GT(store.At(2, store.firstIndex(2)).unixMs, t - 3'600'000) << "nothing in view was forgotten";
}

TEST(ColumnCache, SumsAgainWhenGapMarksInViewAreForgotten) {
    // A gap before every reading: past the store's limit on gap marks the
    // oldest ones go, and the columns that showed them change.
    TrendStore store;
    ColumnCache cache;
    const ColumnGrid grid{kRetentionMs, 1366};
    int64_t t = 1'800'000'000'000LL;
    for (int step = 0; step < 8; ++step) {
        for (int i = 0; i < 10'000; ++i, t += 1000) {
            store.Gap(t);
            store.Add(5, t, static_cast<double>(i % 7), Unit::Volts, 0);
        }
        const int64_t end = grid.ColumnOf(store.newestMs()) + 1;
        const std::span<const Column> got = cache.Columns(store, 5, grid, end);
        std::vector<Column> fresh(grid.width);
        store.Query(5, grid, end - static_cast<int64_t>(grid.width), fresh);
        ExpectSame(got, fresh, "step " + std::to_string(step));
    }
}

TEST(ColumnCache, ASteadyRedrawSumsOnlyTheNewestColumns) {
    TrendStore store;
    const int64_t start = 1'800'000'000'000LL;
    int64_t t = start;
    for (; t < start + kRetentionMs; t += 300) store.Add(4, t, static_cast<double>(t % 977), Unit::Volts, 3);
    ColumnCache cache;
    for (const int64_t span : kSpans) {
        const ColumnGrid grid{span, 1292};
        cache.Columns(store, 4, grid, grid.ColumnOf(store.newestMs()) + 1);
        EXPECT_EQ(cache.lastSummed(), 1292U) << "a new span sums the whole view";
        for (int i = 0; i < 20; ++i, t += 300) {
            store.Add(4, t, 1.5, Unit::Volts, 3);
            cache.Columns(store, 4, grid, grid.ColumnOf(store.newestMs()) + 1);
            EXPECT_LE(cache.lastSummed(), 8U) << "span " << span;
        }
    }
}

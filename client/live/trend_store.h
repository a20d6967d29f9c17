// The live view's memory of the readings: per channel every reading of the
// last 24 hours in chunks, each chunk with minimum/maximum/sum blocks of 16
// and 256 readings, so any time range is summed up from a few blocks and a
// redraw costs in proportion to the pixels, not to the readings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "live/live_reading.h"

namespace kestrane::live {

inline constexpr int64_t kRetentionMs = 24LL * 3600 * 1000;
// Every channel shares one polling loop of at most 20 readings a second,
// so 24 hours hold at most 1 728 000 readings whichever channels take them;
// the cap keeps memory bounded even if readings came faster than that.
inline constexpr std::size_t kMaxStoredReadings = 1'800'000;

// One pixel column of a strip.
struct Column {
    uint32_t count = 0;  // readings in the column; 0 = nothing to draw
    double min = 0.0;
    double max = 0.0;
    double mean = 0.0;
    // A gap lies between the previous column with readings and this one:
    // the line must not join them.
    bool breakBefore = false;
    // A gap lies between two readings of this column.
    bool gapInside = false;
};

// The columns of a view `spanMs` long and `width` columns wide, fixed to
// the clock: column k covers [Start(k), Start(k + 1)) whatever the view's
// end, so a column summed once stays true while the view moves on, and any
// `width` consecutive columns cover exactly `spanMs`.
struct ColumnGrid {
    int64_t spanMs = 60'000;
    std::size_t width = 1;

    int64_t Start(int64_t k) const;
    // The column holding time t.
    int64_t ColumnOf(int64_t t) const;
    bool operator==(const ColumnGrid&) const = default;
};

struct StoredReading {
    int64_t unixMs = 0;
    double value = 0.0;
    Unit unit = Unit::Volts;
    uint8_t decimals = 0;
};

class TrendStore {
public:
    TrendStore();
    ~TrendStore();
    TrendStore(const TrendStore&) = delete;
    TrendStore& operator=(const TrendStore&) = delete;

    // Appends a reading of channel 1..6. A time before the channel's last
    // reading (the clock was set back) is taken as that last time, so the
    // readings stay in order. Non-finite values and bad channels are
    // refused (false).
    bool Add(int channel, int64_t unixMs, double value, Unit unit, uint8_t decimals);
    // Marks a break after every channel's last reading: the board was lost
    // or disconnected.
    void Gap(int64_t unixMs);
    void Clear();

    bool empty() const;
    // Time of the newest reading of any channel (0 when empty).
    int64_t newestMs() const { return newestMs_; }

    // Fills `out` (one entry per pixel column) for readings with times in
    // [fromMs, toMs); column p covers [ColumnStart(p), ColumnStart(p + 1)).
    void Query(int channel, int64_t fromMs, int64_t toMs, std::span<Column> out) const;
    static int64_t ColumnStart(int64_t fromMs, int64_t toMs, std::size_t width, std::size_t p);
    // Fills `out` with columns firstColumn, firstColumn + 1, ... of `grid`,
    // leaving out readings at or after untilMs. With `afterReadings`,
    // readings before firstColumn count as drawn: the first column with
    // readings breaks from them when a gap lies between.
    void Query(int channel, const ColumnGrid& grid, int64_t firstColumn, std::span<Column> out,
               bool afterReadings = false, int64_t untilMs = std::numeric_limits<int64_t>::max()) const;

    // Readings of a channel by index: indices run from firstIndex() to
    // endIndex() - 1 and keep naming the same reading while older ones go.
    uint64_t firstIndex(int channel) const;
    uint64_t endIndex(int channel) const;
    StoredReading At(int channel, uint64_t index) const;
    // First index whose time is at or after unixMs.
    uint64_t LowerBound(int channel, int64_t unixMs) const;
    // True when a gap lies between readings index - 1 and index.
    bool GapBefore(int channel, uint64_t index) const;
    // Gap times in [fromMs, toMs), oldest first.
    std::vector<int64_t> GapsIn(int64_t fromMs, int64_t toMs) const;

    // Changes whenever the store's past changes other than by forgetting
    // its oldest readings: a Clear, or a gap mark forgotten.
    uint64_t revision() const { return revision_; }

    std::size_t storedReadings() const { return stored_; }
    // Bytes the store holds for its readings, blocks and gap lists.
    std::size_t MemoryBytes() const;

    struct Chunk;
    struct Channel;

private:
    void DropOldest();
    void Expire(int64_t newestMs);

    std::array<std::unique_ptr<Channel>, kLiveChannels> channels_;
    std::deque<int64_t> gapTimes_;
    std::size_t stored_ = 0;
    int64_t newestMs_ = 0;
    uint64_t revision_ = 0;
};

}  // namespace kestrane::live

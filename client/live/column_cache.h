// One channel's columns of the live view, kept between redraws: while the
// view moves on along the clock, only the columns that can have changed
// (new readings at the right end) are summed again; the rest shift along.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "live/trend_store.h"

namespace kestrane::live {

class ColumnCache {
public:
    // Columns endColumn - grid.width .. endColumn - 1 of `grid` for
    // `channel`, the same as TrendStore::Query over that range would give.
    // The store must outlive the cache's use of it or be cleared with it.
    std::span<const Column> Columns(const TrendStore& store, int channel, const ColumnGrid& grid,
                                    int64_t endColumn);
    void Invalidate() { valid_ = false; }

    // How many columns the last call summed (for the tests: a steady
    // redraw must sum only a few).
    std::size_t lastSummed() const { return lastSummed_; }

private:
    void SumAll(const TrendStore& store, int64_t firstColumn);

    std::vector<Column> columns_;
    bool valid_ = false;
    const TrendStore* store_ = nullptr;
    int channel_ = 0;
    uint64_t revision_ = 0;
    ColumnGrid grid_;
    int64_t endColumn_ = 0;
    // Index of the first reading at or after the view's start.
    uint64_t viewFirst_ = 0;
    // The channel's end index and its last reading's time when summed.
    uint64_t seenEnd_ = 0;
    bool seenAny_ = false;
    int64_t seenLastMs_ = 0;
    std::size_t lastSummed_ = 0;
};

}  // namespace kestrane::live

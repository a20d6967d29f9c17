// The column cache. Readings only ever join a channel at or after its last
// reading's time, so the columns before that one's column keep their sums
// until the oldest readings are forgotten, the store is cleared, or the
// grid changes; those cases sum the whole view again.
#include "live/column_cache.h"

#include <algorithm>

namespace kestrane::live {

void ColumnCache::SumAll(const TrendStore& store, int64_t firstColumn) {
    columns_.assign(grid_.width, Column{});
    store.Query(channel_, grid_, firstColumn, columns_);
    viewFirst_ = store.LowerBound(channel_, grid_.Start(firstColumn));
    lastSummed_ = columns_.size();
}

std::span<const Column> ColumnCache::Columns(const TrendStore& store, int channel, const ColumnGrid& grid,
                                             int64_t endColumn) {
    const std::size_t width = grid.width;
    const int64_t firstColumn = endColumn - static_cast<int64_t>(width);
    bool whole = !valid_ || &store != store_ || channel != channel_ || store.revision() != revision_ ||
                 !(grid == grid_) || endColumn < endColumn_ || firstColumn >= endColumn_ ||
                 store.endIndex(channel) < seenEnd_;
    if (!whole) {
        // The columns that leave on the left, and the readings they held.
        const auto shift = static_cast<std::size_t>(endColumn - endColumn_);
        uint64_t left = 0;
        for (std::size_t p = 0; p < shift; ++p) left += columns_[p].count;
        const uint64_t first = viewFirst_ + left;
        // Columns from the one with the channel's last reading on may gain
        // readings; those before it are final.
        int64_t from = endColumn_;
        if (store.endIndex(channel) != seenEnd_)
            from = seenAny_ ? std::min(from, grid.ColumnOf(seenLastMs_)) : firstColumn;
        from = std::max(from, firstColumn);
        const auto kept = static_cast<std::size_t>(from - firstColumn);
        uint64_t keptReadings = 0;
        for (std::size_t p = shift; p < shift + kept; ++p) keptReadings += columns_[p].count;
        // Kept readings the store has forgotten: sum everything again.
        if (keptReadings > 0 && store.firstIndex(channel) > first) {
            whole = true;
        } else {
            std::move(columns_.begin() + static_cast<std::ptrdiff_t>(shift), columns_.end(),
                      columns_.begin());
            const std::span<Column> fresh = std::span<Column>(columns_).subspan(kept);
            store.Query(channel, grid, from, fresh, keptReadings > 0);
            // Readings forgotten here were none of the kept ones: the view's
            // first reading is then the store's first.
            viewFirst_ = std::max(first, store.firstIndex(channel));
            lastSummed_ = fresh.size();
        }
    }
    store_ = &store;
    channel_ = channel;
    revision_ = store.revision();
    grid_ = grid;
    endColumn_ = endColumn;
    if (whole) SumAll(store, firstColumn);
    seenEnd_ = store.endIndex(channel);
    seenAny_ = seenEnd_ > store.firstIndex(channel);
    seenLastMs_ = seenAny_ ? store.At(channel, seenEnd_ - 1).unixMs : 0;
    valid_ = true;
    // The first column with readings follows nothing drawn.
    for (Column& c : columns_) {
        if (c.count == 0) continue;
        c.breakBefore = false;
        break;
    }
    return columns_;
}

}  // namespace kestrane::live

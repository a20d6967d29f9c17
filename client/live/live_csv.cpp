// CSV export: one cursor per channel, always writing the oldest reading
// next, so the rows come out as the logger would have written them.
#include "live/live_csv.h"

#include "common/open_data.h"

namespace kestrane::live {
namespace {

// The stored number as the logger's rows write it; a value kept in its
// shortest form is written the way the display writes a number that large.
ReadingNumber StoredNumber(const StoredReading& r) {
    return {static_cast<long double>(r.value), r.decimals >= kShortestDecimals ? 0 : int{r.decimals}};
}

}  // namespace

int64_t WriteCsv(const TrendStore& store, const CsvExport& what, std::ostream& out) {
    std::array<uint64_t, kLiveChannels> next{};
    std::array<uint64_t, kLiveChannels> end{};
    for (int n = 1; n <= kLiveChannels; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        if (!what.channels[i] || what.toMs <= what.fromMs) continue;
        next[i] = store.LowerBound(n, what.fromMs);
        end[i] = store.LowerBound(n, what.toMs);
    }
    out << CsvHeader();
    int64_t rows = 0;
    for (;;) {
        int best = 0;
        StoredReading bestReading;
        for (int n = 1; n <= kLiveChannels; ++n) {
            const auto i = static_cast<std::size_t>(n - 1);
            if (next[i] >= end[i]) continue;
            const StoredReading r = store.At(n, next[i]);
            if (best == 0 || r.unixMs < bestReading.unixMs) {
                best = n;
                bestReading = r;
            }
        }
        if (best == 0) break;
        ++next[static_cast<std::size_t>(best - 1)];
        const ReadingRow row{bestReading.unixMs,
                             what.board,
                             best,
                             what.names[static_cast<std::size_t>(best - 1)],
                             StoredNumber(bestReading),
                             std::string(UnitSymbol(bestReading.unit))};
        out << CsvRow(row);
        if (!out) return -1;
        ++rows;
    }
    out.flush();
    return out ? rows : -1;
}

}  // namespace kestrane::live

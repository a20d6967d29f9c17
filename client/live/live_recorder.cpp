// Feeds the store and the statistics from one reading stream.
#include "live/live_recorder.h"

#include <algorithm>
#include <cmath>

namespace kestrane::live {

bool LiveRecorder::Add(const Reading& r) {
    if (r.channel < 1 || r.channel > kLiveChannels || !std::isfinite(r.value)) return false;
    const uint8_t decimals = std::min(r.decimals, kShortestDecimals);
    if (!store_.Add(r.channel, r.unixMs, r.value, r.unit, decimals)) return false;
    // The store's time: a clock set back does not put a reading before the last.
    const uint64_t stored = store_.endIndex(r.channel) - 1;
    statistics_[static_cast<std::size_t>(r.channel - 1)].Add(store_.At(r.channel, stored).unixMs, r.value,
                                                             r.unit);
    return true;
}

void LiveRecorder::Gap(int64_t unixMs) {
    store_.Gap(unixMs);
    for (auto& s : statistics_) s.Gap();
}

void LiveRecorder::Reset() {
    store_.Clear();
    for (auto& s : statistics_) s.Reset();
}

}  // namespace kestrane::live

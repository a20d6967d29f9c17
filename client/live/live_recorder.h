// Everything the live view keeps while it is fed: the trend store and the
// per-channel statistics, filled together from the readings and gap marks,
// and cleared together by Reset.
#pragma once

#include <array>

#include "live/live_reading.h"
#include "live/live_statistics.h"
#include "live/trend_store.h"

namespace kestrane::live {

class LiveRecorder {
public:
    // Readings whose shown text is not a number ("  DISABLED") or whose
    // channel is out of range are not readings: false, nothing kept.
    bool Add(const Reading& reading);
    void Gap(int64_t unixMs);
    void Reset();

    const TrendStore& store() const { return store_; }
    // `channel` is 1..6.
    const ChannelStatistics& statistics(int channel) const {
        return statistics_[static_cast<std::size_t>(channel - 1)];
    }

private:
    TrendStore store_;
    std::array<ChannelStatistics, kLiveChannels> statistics_;
};

}  // namespace kestrane::live

// Statistics of one channel since the last reset: last, minimum, maximum,
// mean and count, and for a shunt channel the charge in ampere-hours, the
// integral of the current over time by trapezoids between consecutive
// readings that no gap separates.
#pragma once

#include <cstdint>

#include "live/live_reading.h"

namespace kestrane::live {

class ChannelStatistics {
public:
    // A reading in another unit than the ones before (the channel was
    // switched between voltmeter and shunt) starts the statistics afresh:
    // volts and amperes do not share a minimum or a mean.
    void Add(int64_t unixMs, double value, Unit unit);
    // The next reading does not join the previous one.
    void Gap() { joined_ = false; }
    void Reset() { *this = ChannelStatistics{}; }

    uint64_t count() const { return count_; }
    double last() const { return last_; }
    double min() const { return min_; }
    double max() const { return max_; }
    double mean() const { return count_ ? sum_ / static_cast<double>(count_) : 0.0; }
    Unit unit() const { return unit_; }
    // Charge in Ah; meaningful when unit() is Amperes.
    double chargeAh() const { return chargeAh_; }

private:
    uint64_t count_ = 0;
    double last_ = 0.0;
    double min_ = 0.0;
    double max_ = 0.0;
    double sum_ = 0.0;
    double chargeAh_ = 0.0;
    Unit unit_ = Unit::Volts;
    int64_t lastMs_ = 0;
    bool joined_ = false;  // the next reading joins the last one
};

}  // namespace kestrane::live

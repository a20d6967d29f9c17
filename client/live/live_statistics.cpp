// Running statistics of one channel.
#include "live/live_statistics.h"

#include <algorithm>

namespace kestrane::live {

void ChannelStatistics::Add(int64_t unixMs, double value, Unit unit) {
    if (count_ > 0 && unit != unit_) Reset();
    if (count_ == 0) {
        min_ = max_ = value;
    } else {
        min_ = std::min(min_, value);
        max_ = std::max(max_, value);
    }
    if (joined_ && unit == Unit::Amperes && unixMs > lastMs_) {
        const double hours = static_cast<double>(unixMs - lastMs_) / 3'600'000.0;
        chargeAh_ += (last_ + value) / 2.0 * hours;
    }
    ++count_;
    sum_ += value;
    last_ = value;
    unit_ = unit;
    lastMs_ = std::max(lastMs_, unixMs);
    joined_ = true;
}

}  // namespace kestrane::live

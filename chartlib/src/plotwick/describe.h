// The chart in words, for screen readers: which channel, the time span
// shown, and the last, lowest and highest reading of what is shown. The
// window layer gives these texts to the chart widget as its accessible name
// and description; nothing is drawn from them.
#pragma once

#include <cstdint>
#include <string>

#include "graph_context.h"

namespace plotwick {

// "<title> chart", or "Chart" for a chart without a title.
std::string ChartAccessibleName(const GraphContext& ctx);

// For a loaded chart, e.g. "VoltMeter 1, Volts. 1 hour shown, from 06 Dec
// 2026 10:30:00 PM to 06 Dec 2026 11:30:00 PM. Last + 4.829, minimum
// - 3.480, maximum + 5.520." The readings are the log's own texts. Without
// points: "<title>, no readings loaded."
std::string ChartAccessibleDescription(const GraphContext& ctx);

// A duration in words: "1 hour", "2 days 3 hours 1 minute 5 seconds",
// "0 seconds"; negative durations count as 0.
std::string DurationText(int64_t seconds);

}  // namespace plotwick

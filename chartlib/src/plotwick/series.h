// Ownership of a chart's series: the three per-point arrays and the file
// text the labels point into, all held by the GraphContext.
#pragma once

#include <cstdint>
#include <vector>

#include "graph_context.h"

namespace plotwick {

// Frees the series (times, values, file text, labels) and leaves the
// record with no points. Safe on a record that has none.
void ReleaseSeries(GraphContext& ctx);

// Replaces the series with the arrays the caller hands over; the labels
// point into fileBuffer and all three arrays are of one size.
void InstallSeries(GraphContext& ctx, std::vector<char> fileBuffer, std::vector<int32_t> times,
                   std::vector<char*> labels, std::vector<float> values);

}  // namespace plotwick

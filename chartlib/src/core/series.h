// Ownership of a chart's series: the three per-point arrays and the file
// text the labels point into, all from xmalloc and owned by the GraphContext.
#pragma once

#include <cstdint>

#include "graph_context.h"

namespace plotwick {

// Frees the series (times, values, file text, labels) and leaves the
// record with no points. Safe on a record that has none.
void ReleaseSeries(GraphContext& ctx);

// Replaces the series with arrays the caller hands over (all from xmalloc),
// releasing the previous one first.
void InstallSeries(GraphContext& ctx, char* fileBuffer, int32_t count, int32_t* times, char** labels,
                   float* values);

}  // namespace plotwick

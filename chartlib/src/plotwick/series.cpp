#include "series.h"

#include <utility>

namespace plotwick {

void ReleaseSeries(GraphContext& ctx) {
    // Swapped out, so the memory goes now and not with the record.
    std::vector<int32_t>().swap(ctx.times);
    std::vector<float>().swap(ctx.values);
    std::vector<char*>().swap(ctx.o_Labels);
    std::vector<char>().swap(ctx.fileBuffer);
    ctx.pointCount = 0;
}

void InstallSeries(GraphContext& ctx, std::vector<char> fileBuffer, std::vector<int32_t> times,
                   std::vector<char*> labels, std::vector<float> values) {
    ReleaseSeries(ctx);
    ctx.pointCount = static_cast<int32_t>(times.size());
    ctx.fileBuffer = std::move(fileBuffer);  // a move keeps the labels' target in place
    ctx.times = std::move(times);
    ctx.o_Labels = std::move(labels);
    ctx.values = std::move(values);
}

}  // namespace plotwick

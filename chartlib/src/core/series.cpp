#include "series.h"

#include "raster.h"

namespace plotwick {

void ReleaseSeries(GraphContext& ctx) {
    // The labels point into fileBuffer, so releasing it releases them all.
    xfree(ctx.times);
    xfree(ctx.values);
    xfree(ctx.fileBuffer);
    xfree(ctx.o_Labels);
    ctx.times = nullptr;
    ctx.values = nullptr;
    ctx.fileBuffer = nullptr;
    ctx.o_Labels = nullptr;
    ctx.pointCount = 0;
}

void InstallSeries(GraphContext& ctx, char* fileBuffer, int32_t count, int32_t* times, char** labels,
                   float* values) {
    ReleaseSeries(ctx);
    ctx.fileBuffer = fileBuffer;
    ctx.pointCount = count;
    ctx.times = times;
    ctx.o_Labels = labels;
    ctx.values = values;
}

}  // namespace plotwick

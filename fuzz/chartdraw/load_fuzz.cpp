// Fuzz target: arbitrary bytes as a log file, loaded (as a reload over the
// previous input's series) and painted with a view and pointer taken from
// the input's last bytes. The loaded series must stay well ordered.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "plotwick/chart_frame.h"
#include "plotwick/graph_context.h"
#include "plotwick/loader.h"
#include "plotwick/paint.h"
#include "plotwick/raster.h"
#include "plotwick/raster_state.h"
#include "plotwick/series.h"
#include "plotwick/view.h"

namespace {

struct FuzzState {
    plotwick::RasterState raster;
    plotwick::GraphContext ctx;
    FuzzState() {
        // A zone with daylight saving, so the days the clocks change are
        // read through their own path too.
        ::setenv("TZ", "GMT0BST,M3.5.0/1,M10.5.0", 1);
        ::tzset();
        plotwick::RasterInit(raster, 200, 150);
        plotwick::SetDiagnosticSink([](std::string_view) {});
        plotwick::InitGraphContext(ctx, nullptr, 200, 150, "fuzz");
    }
};

int32_t Word(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzState state;
    plotwick::GraphContext& ctx = state.ctx;
    if (size > (1u << 20)) return 0;
    std::vector<char> buffer(data, data + size);
    plotwick::LoadSeriesFromBuffer(std::move(buffer), static_cast<int32_t>(size), ctx);

    if (ctx.pointCount > 0) {
        if (ctx.times[0] != 0 || ctx.span != ctx.times[ctx.pointCount - 1]) std::abort();
        for (int32_t i = 0; i < ctx.pointCount; ++i) {
            if (!std::isfinite(ctx.values[i])) std::abort();
            if (i > 0 && ctx.times[i - 1] > ctx.times[i]) std::abort();
        }
    }
    plotwick::HoverState hover;
    if (size >= 16) {
        const uint8_t* tail = data + size - 16;
        plotwick::SetView(ctx, Word(tail), Word(tail + 4));
        hover.hoverWindow = &ctx;
        hover.x = Word(tail + 8) % 260;
        hover.y = Word(tail + 12) % 200;
        hover.selecting = (tail[0] & 1) != 0;
        hover.anchorIndex = Word(tail + 1);
        hover.currentIndex = Word(tail + 5);
    }
    plotwick::MemoryWindow window(ctx.width, ctx.height);
    plotwick::Paint(state.raster, ctx, window, hover);
    // Every other input starts from an empty record, the rest reload.
    if (size % 2 == 0) plotwick::ReleaseSeries(ctx);
    return 0;
}

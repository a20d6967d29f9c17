// The walk over a chart's points from the view start to the first point past
// the right edge, and the time-label slots taken along it. Paint draws during
// the walk; PlanTimeLabels repeats it without drawing for callers and tests.
#pragma once

#include <algorithm>
#include <cstdint>

#include "graph_context.h"
#include "view.h"

namespace plotwick {

inline constexpr int kMaxTimeLabels = 40;
// A slot is taken only more than this many pixels right of the previous one.
inline constexpr int32_t kTimeLabelSpacing = 70;
// A label closer than this to the plot's right edge is only a tick.
inline constexpr int32_t kFinalTickRoom = 10;

struct TimeLabelSlots {
    int count = 0;
    int32_t index[kMaxTimeLabels] = {};  // point index
    int32_t x[kMaxTimeLabels] = {};      // relative to the plot's left edge
    int32_t nextFreeX = -1000;
    int32_t spacing = kTimeLabelSpacing;  // in the pixels the chart is drawn in

    void Offer(int32_t i, int32_t px) {
        if (px >= 0 && px > nextFreeX && count < kMaxTimeLabels) {
            index[count] = i;
            x[count] = px;
            ++count;
            nextFreeX = px + spacing;
        }
    }
};

// Calls visit(i, x, y) for each point from the one before the view start,
// with positions relative to the plot, and stops after the first point at or
// right of the plot's right edge.
template <class Visit>
void WalkPoints(const GraphContext& ctx, const PlotGeometry& g, Visit&& visit) {
    if (!HasSeries(ctx)) return;
    for (int32_t i = std::max(VisibleFrom(ctx) - 1, 0); i < ctx.pointCount; ++i) {
        const int32_t x = PointX(g, ctx, ctx.times[i]);
        visit(i, x, PointY(g, ctx, ctx.values[i]));
        if (x >= g.w) break;
    }
}

inline TimeLabelSlots PlanTimeLabels(const GraphContext& ctx, const PlotGeometry& g) {
    TimeLabelSlots slots;
    WalkPoints(ctx, g, [&](int32_t i, int32_t x, int32_t) { slots.Offer(i, x); });
    return slots;
}

// What the time axis shows at one slot.
enum class TimeLabelKind {
    DateTag,    // date tag and time text: the first slot and each new day
    Tick,       // tick and time text: same day as the last date tag
    FinalTick,  // too close to the right edge: a tick, then the labels end
    None,       // past the right edge: the labels end
};

// Kinds for each slot of `slots`, judged by the labels' first 8 bytes (day,
// month and first year digit). Labels shorter than 8 bytes compare as their
// zero-padded text. finalTickRoom is kFinalTickRoom in the drawn pixels.
void PlanTimeLabelKinds(const GraphContext& ctx, const PlotGeometry& g, const TimeLabelSlots& slots,
                        TimeLabelKind* kinds, int32_t finalTickRoom = kFinalTickRoom);

}  // namespace plotwick

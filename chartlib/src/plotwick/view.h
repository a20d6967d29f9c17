// View arithmetic of a chart: which ages are visible, the value range and
// axis of the visible points, the nice value step, the searches that map an
// age to a point index, and the plot geometry Paint and the mouse code share.
#pragma once

#include <cstdint>

#include "graph_context.h"
#include "scale.h"

namespace plotwick {

// Converts to int truncating toward zero like a plain cast, but saturates
// at +-2^30 and maps NaN to 0, so coordinates from extreme values stay
// defined and leave room for further pixel arithmetic.
int32_t TruncToInt(double v);

// The value step for a visible range r: the first of 100, 50, 10, 5, 1, 0.5,
// 0.1, 0.05, 0.01, 0.005 whose bound r exceeds strictly, else 0.001. Both r
// and the steps are taken at single precision.
double NiceStep(double range);

// First index whose age is >= age (0 with no points, n-1 past the oldest).
int32_t LowerBound(const GraphContext& ctx, int32_t age);
// Highest index whose age is <= age, searched near LowerBound; 0 if none.
int32_t FirstVisible(const GraphContext& ctx, int32_t age);
// First point taken into the view's value range and drawn from: firstVisible,
// or, when several points share the age of the view start (a series of one
// instant, a clock set back), the newest of them, so none that is visible
// is left out.
int32_t VisibleFrom(const GraphContext& ctx);
// Index of the point nearest in age; on a tie the older point wins.
int32_t NearestPoint(const GraphContext& ctx, int32_t age);

// Sets the visible ages (at least 10 s wide where the span allows, within
// 0..span), the visible value range, the value step and the axis bounds.
// The caller repaints the window afterwards.
void SetView(GraphContext& ctx, int32_t start, int32_t end);

// After a load or at creation: the empty-series state, or span from the
// oldest point and the view of the newest hour.
void ResetRange(GraphContext& ctx);

// Rectangle and scales of the plot, derived from the record on every paint.
struct PlotGeometry {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t w = 0, h = 0;
    double xScale = 0.0;  // pixels per second
    int32_t xOrigin = 0;  // column of age viewStart
    double yScale = 0.0;  // pixels per value unit
};

// A view of zero width (a series whose points all share one time) has
// xScale 0 and puts every point in the middle column, clear of the axis.
PlotGeometry ComputeGeometry(const GraphContext& ctx);
// The same in device pixels at a chart scale (ScaledPx of the size and each
// margin); identical to the above at scale 1.
PlotGeometry ComputeGeometry(const GraphContext& ctx, double scale);

// Point position relative to the plot's top-left corner.
int32_t PointX(const PlotGeometry& g, const GraphContext& ctx, int32_t age);
int32_t PointY(const PlotGeometry& g, const GraphContext& ctx, double value);
// Row of the zero value relative to the plot's top.
int32_t ZeroRow(const PlotGeometry& g, const GraphContext& ctx);

// Thumb of the overview strip, in pixels from the plot's left edge; at
// least 10 pixels wide by widening a narrow one by 5 on each side (minWidth
// and widen in the drawn pixels when the chart is scaled).
struct ThumbSpan {
    int32_t left = 0, right = 0;
};
ThumbSpan ComputeThumb(int32_t plotWidth, int32_t viewStart, int32_t viewEnd, int32_t span,
                       int32_t minWidth = 10, int32_t widen = 5);

}  // namespace plotwick

#include "view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace plotwick {
namespace {

constexpr double kCoordLimit = 1073741824.0;  // 2^30

int32_t ClampAge(int64_t v, int32_t span) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::max<int32_t>(span, 0)));
}

void SetEmptyRange(GraphContext& ctx) {
    ctx.valueMin = 0.0;
    ctx.valueMax = 0.001;
    ctx.valueRange = 0.001;
    ctx.span = 1;
    ctx.viewStart = 0;
    ctx.viewEnd = 1;
    ctx.firstVisible = 0;
    ctx.axisMin = 0.0;
    ctx.axisMax = ctx.valueStep;
    ctx.axisRange = ctx.valueStep;
}

}  // namespace

int32_t TruncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= kCoordLimit) return static_cast<int32_t>(kCoordLimit);
    if (v <= -kCoordLimit) return -static_cast<int32_t>(kCoordLimit);
    return static_cast<int32_t>(v);
}

double NiceStep(double range) {
    static constexpr float kSteps[] = {100.0f, 50.0f, 10.0f, 5.0f, 1.0f, 0.5f, 0.1f, 0.05f, 0.01f, 0.005f};
    const float r = static_cast<float>(range);
    for (float step : kSteps) {
        if (r > step) return static_cast<double>(step);
    }
    return static_cast<double>(0.001f);
}

int32_t LowerBound(const GraphContext& ctx, int32_t age) {
    const int32_t n = ctx.pointCount;
    if (!HasSeries(ctx)) return 0;
    if (ctx.times[0] >= age) return 0;
    if (age >= ctx.times[n - 1]) return n - 1;
    return static_cast<int32_t>(std::lower_bound(ctx.times.begin(), ctx.times.begin() + n, age) -
                                ctx.times.begin());
}

int32_t FirstVisible(const GraphContext& ctx, int32_t age) {
    const int32_t n = ctx.pointCount;
    if (!HasSeries(ctx)) return 0;
    const int32_t first = LowerBound(ctx, age) + 4;
    for (int32_t i = first; i > first - 8; --i) {
        if (i >= 0 && i < n && ctx.times[i] <= age) return i;
    }
    return 0;
}

int32_t VisibleFrom(const GraphContext& ctx) {
    const int32_t n = ctx.pointCount;
    const int32_t fv = ctx.firstVisible;
    if (!HasSeries(ctx) || fv < 0 || fv >= n) return 0;
    if (ctx.times[fv] != ctx.viewStart) return fv;
    return static_cast<int32_t>(std::lower_bound(ctx.times.begin(), ctx.times.begin() + fv, ctx.viewStart) -
                                ctx.times.begin());
}

int32_t NearestPoint(const GraphContext& ctx, int32_t age) {
    const int32_t n = ctx.pointCount;
    if (!HasSeries(ctx)) return 0;
    const int32_t b = LowerBound(ctx, age);
    int64_t best = 444444444;
    int32_t result = 0;
    // Older candidates come first, so a tie keeps the older point.
    for (int32_t i = b + 4; i >= b - 3; --i) {
        if (i < 0 || i >= n) continue;
        const int64_t d = std::llabs(static_cast<int64_t>(ctx.times[i]) - age);
        if (d < best) {
            best = d;
            result = i;
        }
    }
    return result;
}

void SetView(GraphContext& ctx, int32_t startIn, int32_t endIn) {
    // 64-bit so a request near the int32 limits cannot overflow.
    int64_t start = startIn;
    int64_t end = endIn;
    const int32_t span = ctx.span;
    if (start + 10 > end) start = end - 10;
    start = ClampAge(start, span);
    end = ClampAge(end, span);
    if (start + 10 > end) end = ClampAge(start + 10, span);
    if (start >= end) {
        start = 0;
        end = std::max<int32_t>(span, 0);
    }
    ctx.viewStart = static_cast<int32_t>(start);
    ctx.viewEnd = static_cast<int32_t>(end);
    ctx.firstVisible = FirstVisible(ctx, ctx.viewStart);

    if (!HasSeries(ctx)) {
        ctx.valueMin = 0.0;
        ctx.valueMax = 0.001;
    } else {
        // Starts at the point at or just before the view start, so a curve
        // entering from the left is inside the value range.
        const int32_t from = VisibleFrom(ctx);
        double lo = ctx.values[from];
        double hi = lo;
        for (int32_t i = from; i < ctx.pointCount && ctx.times[i] <= ctx.viewEnd; ++i) {
            const double v = ctx.values[i];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        ctx.valueMin = lo;
        ctx.valueMax = hi;
    }
    ctx.valueRange = ctx.valueMax - ctx.valueMin;
    ctx.valueStep = NiceStep(ctx.valueRange);
    const double inv = 1.0 / ctx.valueStep;
    ctx.axisMin = std::floor(ctx.valueMin * inv) * ctx.valueStep;
    ctx.axisMax = std::ceil(ctx.valueMax * inv) * ctx.valueStep;
    ctx.axisRange = ctx.axisMax - ctx.axisMin;
    if (ctx.axisRange < 0.01) {
        ctx.axisRange = 0.01;
        ctx.axisMax = ctx.axisMin + 0.01;
    }
}

void ResetRange(GraphContext& ctx) {
    if (!HasSeries(ctx)) {
        SetEmptyRange(ctx);
        return;
    }
    ctx.span = ctx.times[ctx.pointCount - 1];
    SetView(ctx, 0, 3600);
}

PlotGeometry ComputeGeometry(const GraphContext& ctx) { return ComputeGeometry(ctx, 1.0); }

PlotGeometry ComputeGeometry(const GraphContext& ctx, double scale) {
    PlotGeometry g;
    g.left = ScaledPx(ctx.marginLeft, scale);
    g.top = ScaledPx(ctx.marginTop, scale);
    g.right = ScaledPx(ctx.width, scale) - ScaledPx(ctx.marginRight, scale);
    g.bottom = ScaledPx(ctx.height, scale) - ScaledPx(ctx.marginBottom, scale);
    g.w = g.right - g.left;
    g.h = g.bottom - g.top;
    const int64_t viewWidth = static_cast<int64_t>(ctx.viewEnd) - ctx.viewStart;
    if (viewWidth > 0) {
        g.xScale = g.w / static_cast<double>(viewWidth);
    } else {
        g.xScale = 0.0;
        g.xOrigin = g.w / 2;
    }
    g.yScale = g.h / (ctx.axisRange > 0.0 ? ctx.axisRange : 0.01);
    return g;
}

int32_t PointX(const PlotGeometry& g, const GraphContext& ctx, int32_t age) {
    return g.xOrigin + TruncToInt((static_cast<double>(age) - ctx.viewStart) * g.xScale);
}

int32_t PointY(const PlotGeometry& g, const GraphContext& ctx, double value) {
    return TruncToInt((g.h - 1) - (value - ctx.axisMin) * g.yScale);
}

int32_t ZeroRow(const PlotGeometry& g, const GraphContext& ctx) {
    return g.h - 1 - TruncToInt((0.0 - ctx.axisMin) * g.yScale);
}

ThumbSpan ComputeThumb(int32_t plotWidth, int32_t viewStart, int32_t viewEnd, int32_t span, int32_t minWidth,
                       int32_t widen) {
    // A series of one instant has span 0; it is shown as a thumb at the left.
    const int64_t s = span > 0 ? span : 1;
    ThumbSpan t;
    t.left = static_cast<int32_t>(static_cast<int64_t>(plotWidth) * viewStart / s);
    t.right = static_cast<int32_t>(static_cast<int64_t>(plotWidth) * viewEnd / s);
    if (static_cast<int64_t>(t.left) + minWidth >= t.right) {
        t.left -= widen;
        t.right += widen;
    }
    return t;
}

}  // namespace plotwick

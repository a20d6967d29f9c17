#include "paint.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets.h"
#include "axis.h"
#include "chart_walk.h"
#include "scale.h"
#include "view.h"

namespace plotwick {
namespace {

namespace A = assets;

// Copies bytes [from, from + count) of a label into out, stopping at the
// label's end and filling the rest with blanks; out gets a terminator.
void LabelBytes(const char* label, int from, int count, char* out) {
    const size_t len = label != nullptr ? ::strnlen(label, static_cast<size_t>(from + count)) : 0;
    for (int k = 0; k < count; ++k) {
        const size_t at = static_cast<size_t>(from + k);
        out[k] = at < len ? label[at] : ' ';
    }
    out[count] = '\0';
}

// Layout lengths and picture regions at the scale the chart is drawn at.
struct Scaler {
    double scale = 1.0;
    int32_t operator()(int32_t v) const { return ScaledPx(v, scale); }
    A::Region operator()(const A::Region& r) const { return ScaledRegion(r, scale); }
};

// The pointer in device pixels, or nowhere when another window has it.
struct Pointer {
    bool here = false;
    int32_t x = -1, y = -1;
};

Pointer PointerFor(const HoverState& hover, const GraphContext& ctx, const Scaler& px) {
    if (hover.hoverWindow != &ctx) return Pointer{};
    return Pointer{true, px(hover.x), px(hover.y)};
}

// Blits region r of a picture (regions given at scale 1) with its source
// row moved to srcY (also at scale 1), e.g. for the hovered looks.
void Blit(RasterState& raster, const Bitmap* picture, int32_t x, int32_t y, const A::Region& r, int32_t srcY,
          const Scaler& px) {
    const A::Region d = px(A::Region{r.x, srcY, r.w, r.h});
    BlitFrom(raster, x, y, d.w, d.h, d.x, d.y, picture);
}

bool PointerInPlot(const Pointer& p, const PlotGeometry& g) {
    return p.here && p.x >= g.left && p.x < g.right && p.y >= g.top && p.y < g.bottom;
}

// Rows passed to the primitives stay within a few plot heights of the plot,
// so a point far off the axis cannot turn into a line millions of pixels long.
struct RowLimit {
    int32_t lo, hi;
    int32_t operator()(int64_t y) const { return static_cast<int32_t>(std::clamp<int64_t>(y, lo, hi)); }
};

// Many points of a dense view share one column; there only drop lines
// (half mixes) and vertical curve runs (opaque) touch it. ColumnBatch
// collects those and draws each row's net effect: the last curve run over
// it, then the half mixes after that run. Eight half mixes of one colour
// reach a fixed point, so more than eight are drawn as eight. The pixels are
// exactly those of drawing every point in turn.
class ColumnBatch {
public:
    ColumnBatch(RasterState& raster, int32_t plotH)
        : raster_(raster),
          h_(std::max<int32_t>(plotH, 0)),
          red_(static_cast<size_t>(h_) + 1),
          mixes_(static_cast<size_t>(h_) + 1),
          nextRed_(static_cast<size_t>(h_) + 1),
          nextMix_(static_cast<size_t>(h_) + 1) {}

    bool Holds(int32_t x) const { return active_ && x == x_; }
    void Start(int32_t x) {
        Flush();
        active_ = true;
        x_ = x;
    }
    void AddDrop(int32_t y, int32_t len) { Add(false, y, len); }
    void AddCurve(int32_t y, int32_t len) { Add(true, y, len); }

    void Flush() {
        if (!active_) return;
        active_ = false;
        if (events_.empty()) return;
        for (int32_t r = lo_; r <= hi_ + 1; ++r) {
            red_[r] = 0;
            mixes_[r] = 0;
            nextRed_[r] = r;
            nextMix_[r] = r;
        }
        // Latest first: a curve run settles a row; half mixes count until
        // then, up to eight.
        for (auto e = events_.rbegin(); e != events_.rend(); ++e) {
            if (e->curve) {
                for (int32_t r = Find(nextRed_, e->a); r < e->b; r = Find(nextRed_, r + 1)) {
                    red_[r] = 1;
                    nextRed_[r] = r + 1;
                    nextMix_[r] = r + 1;
                }
            } else {
                for (int32_t r = Find(nextMix_, e->a); r < e->b; r = Find(nextMix_, r + 1)) {
                    if (++mixes_[r] == kMaxMixes) nextMix_[r] = r + 1;
                }
            }
        }
        for (int32_t r = lo_; r <= hi_;) {
            int32_t end = r + 1;
            while (end <= hi_ && red_[end] == red_[r] && mixes_[end] == mixes_[r]) ++end;
            if (red_[r] != 0) VLine(raster_, x_, r, end - r, kColourCurve);
            for (int k = 0; k < mixes_[r]; ++k) VLineHalf(raster_, x_, r, end - r, kColourDropLine);
            r = end;
        }
        events_.clear();
    }

private:
    static constexpr uint8_t kMaxMixes = 8;
    struct Event {
        bool curve;
        int32_t a, b;  // rows a .. b-1
    };

    void Add(bool curve, int32_t y, int32_t len) {
        const int32_t a = std::max<int32_t>(y, 0);
        const int32_t b = static_cast<int32_t>(std::min<int64_t>(int64_t{y} + len, h_));
        if (b <= a) return;
        if (events_.empty()) {
            lo_ = a;
            hi_ = b - 1;
        } else {
            lo_ = std::min(lo_, a);
            hi_ = std::max(hi_, b - 1);
        }
        events_.push_back(Event{curve, a, b});
    }

    // Next row at or after r still open in `next` (path halving).
    static int32_t Find(std::vector<int32_t>& next, int32_t r) {
        while (next[r] != r) {
            next[r] = next[next[r]];
            r = next[r];
        }
        return r;
    }

    RasterState& raster_;
    int32_t h_;
    bool active_ = false;
    int32_t x_ = 0;
    int32_t lo_ = 0, hi_ = 0;
    std::vector<Event> events_;
    std::vector<uint8_t> red_, mixes_;
    std::vector<int32_t> nextRed_, nextMix_;
};

// The shaded area, drop lines and curve of the visible points, and the
// time-label slots along them (all relative to the plot).
TimeLabelSlots DrawSeries(RasterState& raster, const GraphContext& ctx, const PlotGeometry& g, int32_t zeroY,
                          const RowLimit& clampY, bool batchColumns, const Scaler& px) {
    TimeLabelSlots slots;
    slots.spacing = px(kTimeLabelSpacing);
    ColumnBatch batch(raster, batchColumns ? g.h : 0);
    bool first = true;
    int32_t prevX = 0, prevY = 0;
    WalkPoints(ctx, g, [&](int32_t i, int32_t x, int32_t y) {
        if (first) {
            prevX = x;
            prevY = y;
            first = false;
        }
        const int32_t cy = clampY(y);
        if (batchColumns && x <= prevX && x >= 0 && x < g.w) {
            // Same column as the previous point: only a drop line and a
            // vertical curve run, collected for the column.
            if (!batch.Holds(x)) batch.Start(x);
            if (ctx.dropLines != 0) {
                if (cy < zeroY) {
                    batch.AddDrop(cy, zeroY - cy);
                } else if (cy > zeroY) {
                    batch.AddDrop(zeroY + 1, cy - zeroY - 1);
                }
            }
            const int32_t py = clampY(prevY);
            batch.AddCurve(std::min(cy, py), std::abs(cy - py));
            slots.Offer(i, x);
            prevX = x;
            prevY = y;
            return;
        }
        batch.Flush();
        // Columns prevX+1 .. x, interpolated, from column 0 up to column plotW.
        const int64_t c0 = std::max<int64_t>(int64_t{prevX} + 1, 0);
        const int64_t c1 = std::min<int64_t>(x, g.w);
        const int64_t dx = int64_t{x} - prevX;
        auto columnY = [&](int64_t c) { return int64_t{prevY} + (int64_t{y} - prevY) * (c - prevX) / dx; };
        if (ctx.fillArea != 0) {
            for (int64_t c = c0; c <= c1; ++c) {
                const int32_t yc = clampY(columnY(c));
                if (yc < zeroY) {
                    VLineHalf(raster, static_cast<int32_t>(c), yc, zeroY - yc, kColourArea);
                } else if (yc > zeroY) {
                    VLineHalf(raster, static_cast<int32_t>(c), zeroY + 1, yc - zeroY, kColourArea);
                }
            }
        }
        if (ctx.dropLines != 0) {
            if (cy < zeroY) {
                VLineHalf(raster, x, cy, zeroY - cy, kColourDropLine);
            } else if (cy > zeroY) {
                VLineHalf(raster, x, zeroY + 1, cy - zeroY - 1, kColourDropLine);
            }
        }
        if (x <= prevX) {
            const int32_t py = clampY(prevY);
            VLine(raster, prevX, std::min(cy, py), std::abs(cy - py), kColourCurve);
        } else {
            for (int64_t c = c0; c <= c1; ++c) {
                LineAA(raster, static_cast<int32_t>(c - 1), clampY(columnY(c - 1)), static_cast<int32_t>(c),
                       clampY(columnY(c)), kColourCurve);
            }
        }
        slots.Offer(i, x);
        prevX = x;
        prevY = y;
    });
    batch.Flush();
    return slots;
}

void DrawTimeLabels(RasterState& raster, const GraphContext& ctx, const PlotGeometry& g,
                    const TimeLabelSlots& slots, const ChartAssets& assets, const Scaler& px) {
    TimeLabelKind kinds[kMaxTimeLabels];
    PlanTimeLabelKinds(ctx, g, slots, kinds, px(kFinalTickRoom));
    for (int s = 0; s < slots.count; ++s) {
        const int32_t xs = g.left + slots.x[s];
        if (kinds[s] == TimeLabelKind::None) break;
        if (kinds[s] == TimeLabelKind::FinalTick) {
            VLine(raster, xs, g.bottom, px(7), kColourInk);
            break;
        }
        const char* label = !ctx.o_Labels.empty() ? ctx.o_Labels[slots.index[s]] : nullptr;
        if (kinds[s] == TimeLabelKind::DateTag) {
            Blit(raster, assets.sheet, xs - px(2), g.bottom, A::kSheetDateTag, A::kSheetDateTag.y, px);
            char date[12];
            LabelBytes(label, 0, 11, date);
            TextDraw(raster, xs + px(2), g.bottom + px(3), date, kColourInk);
        } else {
            VLine(raster, xs, g.bottom, px(7), kColourInk);
        }
        // The clock time, then AM or PM indented on the next line.
        char clock[9], half[3], text[16];
        LabelBytes(label, 12, 8, clock);
        LabelBytes(label, 21, 2, half);
        std::snprintf(text, sizeof text, "%s\n  %s", clock, half);
        TextDraw(raster, xs - px(20), g.bottom + px(15), text, kColourInk);
    }
}

void DrawHoverReadout(RasterState& raster, const GraphContext& ctx, const PlotGeometry& g,
                      const Pointer& pointer, const ChartAssets& assets, const RowLimit& clampY,
                      const Scaler& px) {
    const double age = g.xScale > 0.0 ? (pointer.x - g.left) / g.xScale + ctx.viewStart : ctx.viewStart;
    const int32_t k = NearestPoint(ctx, TruncToInt(age));
    const int32_t x = g.left + PointX(g, ctx, ctx.times[k]);
    const int32_t py = clampY(PointY(g, ctx, ctx.values[k]));
    VLineHalf(raster, x, g.top + py, g.h - py + px(10), kColourInk);
    Blit(raster, assets.sheet, x - px(44), g.bottom, A::kSheetCallout, A::kSheetCallout.y, px);
    const char* label = !ctx.o_Labels.empty() ? ctx.o_Labels[k] : nullptr;
    if (label != nullptr) TextDraw(raster, x - px(30), g.bottom + px(7), label, kColourInk);
    Blit(raster, assets.sheet, x, g.top + py - px(4), A::kSheetValueTag, A::kSheetValueTag.y, px);
    // The reading itself: the label from its sign byte on.
    if (label != nullptr && ::strnlen(label, 25) == 25) {
        TextDraw(raster, x + px(16), g.top + py + px(2), label + 24, kColourInk);
    }
}

void DrawOverview(RasterState& raster, const GraphContext& ctx, const PlotGeometry& g, const Pointer& pointer,
                  const ChartAssets& assets, const Scaler& px) {
    const ThumbSpan thumb = ComputeThumb(g.w, ctx.viewStart, ctx.viewEnd, ctx.span, px(10), px(5));
    const int32_t stripTop = g.bottom + px(40);
    const bool inStrip = pointer.here && pointer.y >= stripTop && pointer.y < g.bottom + px(70);
    const int32_t rx = pointer.x - g.left;
    const bool thumbHover = inStrip && rx >= thumb.left && rx < thumb.right;
    const bool trackHover = inStrip && !thumbHover && pointer.x >= g.left && pointer.x < g.right;
    const int32_t trackY = trackHover ? A::kSheetTrackHoverY : A::kSheetTrackMiddle.y;
    const int32_t thumbY = thumbHover ? A::kSheetThumbHoverY : A::kSheetThumbMiddle.y;

    // The caps at their own widths, the middle tiled between them.
    const A::Region trackLeft = px(A::kSheetTrackLeft), trackRight = px(A::kSheetTrackRight);
    const A::Region trackMiddle =
        px(A::Region{A::kSheetTrackMiddle.x, trackY, A::kSheetTrackMiddle.w, A::kSheetTrackMiddle.h});
    PushClip(raster, g.left, stripTop, g.w, px(30));
    SetSource(raster, assets.sheet);
    if (assets.sheet != nullptr) {
        BlitTiled(raster, trackLeft.w, px(4), g.w - trackLeft.w - trackRight.w, trackMiddle.h, trackMiddle.x,
                  trackMiddle.y, trackMiddle.w, trackMiddle.h, 0, 0);
    }
    SetSource(raster, nullptr);
    Blit(raster, assets.sheet, 0, px(4), A::kSheetTrackLeft, trackY, px);
    Blit(raster, assets.sheet, g.w - trackRight.w, px(4), A::kSheetTrackRight, trackY, px);
    PopClip(raster);

    if (thumb.right - thumb.left < px(10)) return;
    const A::Region thumbLeft = px(A::kSheetThumbLeft), thumbRight = px(A::kSheetThumbRight);
    const A::Region thumbMiddle =
        px(A::Region{A::kSheetThumbMiddle.x, thumbY, A::kSheetThumbMiddle.w, A::kSheetThumbMiddle.h});
    // Each cap is centred on its end of the thumb.
    const int32_t leftX = thumb.left - thumbLeft.w / 2, rightX = thumb.right - thumbRight.w / 2;
    const RasterPoint origin = CurrentOrigin(raster);
    SetOrigin(raster, origin.x + g.left, origin.y + stripTop);
    SetSource(raster, assets.sheet);
    if (assets.sheet != nullptr) {
        BlitTiled(raster, leftX + thumbLeft.w, 0, rightX - leftX - thumbLeft.w, thumbMiddle.h, thumbMiddle.x,
                  thumbMiddle.y, thumbMiddle.w, thumbMiddle.h, 0, 0);
    }
    SetSource(raster, nullptr);
    Blit(raster, assets.sheet, leftX, 0, A::kSheetThumbLeft, thumbY, px);
    Blit(raster, assets.sheet, rightX, 0, A::kSheetThumbRight, thumbY, px);
    SetOrigin(raster, origin.x, origin.y);
}

void DrawAxisNumber(RasterState& raster, int decimals, int32_t x, int32_t y, double value, const Scaler& px) {
    const std::string text = FormatAxisNumber(decimals, value);
    TextDraw(raster, x - TextSize(raster, text.c_str()).width, y - px(6), text.c_str(), kColourInk);
}

}  // namespace

void DrawChart(RasterState& raster, const GraphContext& ctx, const HoverState& hover,
               const ChartAssets& assets, const PaintTuning& tuning) {
    const Scaler px{assets.scale};
    const int32_t width = px(ctx.width), height = px(ctx.height);
    RectFill(raster, 0, 0, width, height, kColourBackground);
    if (ctx.captionIsVolts != 0) {
        Blit(raster, assets.caption, px(3), (height - px(100)) / 2, A::kCaptionVolts, A::kCaptionVolts.y, px);
    } else {
        Blit(raster, assets.caption, px(3), (height - px(120)) / 2, A::kCaptionAmps, A::kCaptionAmps.y, px);
    }
    const PlotGeometry g = ComputeGeometry(ctx, px.scale);
    if (g.w < px(10) || g.h < px(10) || !HasSeries(ctx)) return;

    // At most 99 characters, as InitGraphContext keeps them.
    const std::string title = ctx.title.substr(0, kTitleSize - 1);
    SetFont(raster, assets.largeFont);
    TextDraw(raster, g.left + (g.w - TextSize(raster, title.c_str()).width) / 2, px(7), title.c_str(),
             kColourInk);
    SetFont(raster, assets.smallFont);

    const Pointer pointer = PointerFor(hover, ctx, px);
    const bool hoverInPlot = PointerInPlot(pointer, g);
    if (hoverInPlot) RectFill(raster, g.left, g.top, g.w, g.h, kColourHoverPlot);
    HLine(raster, g.left, g.top, g.w, kColourBorder);
    VLine(raster, g.right, g.top, g.h, kColourBorder);

    // The grid is planned on the plot's height at scale 1, so every scale
    // shows the same lines and numbers.
    const int32_t planH = ctx.height - ctx.marginTop - ctx.marginBottom;
    const GridPlan plan = PlanGrid(ctx.valueStep, ctx.axisRange, planH);
    for (int k = 0; k < plan.lineCount; ++k) {
        const int32_t row = GridRow(plan, ctx.axisRange, g.h, k);
        if (!GridRowInPlot(row, g.h, px(kGridRowSlack))) break;
        HLineHalf(raster, g.left - px(4), g.top + row, g.w + px(4), kColourGrid);
        DrawAxisNumber(raster, plan.decimals, g.left + px(4), g.top + row, GridValue(plan, ctx.axisMin, k),
                       px);
    }

    const RowLimit clampY{-g.h - 2, 2 * g.h + 2};
    PushClip(raster, g.left, g.top, g.w, g.h);
    const int32_t zeroY = clampY(ZeroRow(g, ctx));
    HLine(raster, 0, zeroY, g.w, kColourZeroLine);
    const TimeLabelSlots slots = DrawSeries(raster, ctx, g, zeroY, clampY, tuning.batchColumns, px);
    if (pointer.here && hover.selecting) {
        const int32_t last = ctx.pointCount - 1;
        const int32_t lo = std::clamp(std::min(hover.anchorIndex, hover.currentIndex), 0, last);
        const auto hi = static_cast<int32_t>(
            std::clamp<int64_t>(int64_t{std::max(hover.anchorIndex, hover.currentIndex)} + 1, 0, last));
        const double x1 = g.xOrigin + (static_cast<double>(ctx.times[lo]) - ctx.viewStart) * g.xScale;
        const double x2 = g.xOrigin + (static_cast<double>(ctx.times[hi]) - ctx.viewStart) * g.xScale;
        RectBlend(raster, TruncToInt(x1), 0, TruncToInt(x2 - x1), g.h, kColourSelection, kSelectionAlpha);
    }
    PopClip(raster);

    DrawTimeLabels(raster, ctx, g, slots, assets, px);
    RectFill(raster, g.left, g.bottom, g.w, 1, kColourInk);
    RectFill(raster, g.left, g.top, 1, g.h, kColourInk);
    if (hoverInPlot) DrawHoverReadout(raster, ctx, g, pointer, assets, clampY, px);
    if (g.w > px(40)) DrawOverview(raster, ctx, g, pointer, assets, px);
}

void Paint(RasterState& raster, const GraphContext& ctx, PaintWindow& window, const HoverState& hover,
           double scale) {
    if (ctx.width < 1 || ctx.height < 1) return;
    if (!PaintBegin(raster, window)) return;
    DrawChart(raster, ctx, hover, RasterAssetsAt(raster, scale), PaintTuning{});
    PaintEnd(raster);
}

}  // namespace plotwick

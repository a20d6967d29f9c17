// Drawing of one chart window into the raster back buffer: caption, title,
// value grid, zero line, shaded area, drop lines, the anti-aliased curve,
// time labels with date tags, selection, hover read-out and overview strip.
#pragma once

#include <cstdint>

#include "graph_context.h"
#include "raster.h"

namespace plotwick {

// The pointer and selection state of the window layer that Paint reads.
// Only the window named by hoverWindow shows hover looks and selection.
struct HoverState {
    const GraphContext* hoverWindow = nullptr;
    int32_t x = -1, y = -1;  // pointer, client coordinates of hoverWindow
    bool selecting = false;
    int32_t anchorIndex = 0, currentIndex = 0;
};

// Colours of the chart elements (0xRRGGBB).
inline constexpr uint32_t kColourBackground = 0xFFFFFFFF;
inline constexpr uint32_t kColourHoverPlot = 0xFAFAFA;
inline constexpr uint32_t kColourBorder = 0x888888;
inline constexpr uint32_t kColourGrid = 0xCCCCDD;
inline constexpr uint32_t kColourZeroLine = 0x555555;
inline constexpr uint32_t kColourArea = 0xCCCCDD;
inline constexpr uint32_t kColourDropLine = 0xDD8888;
inline constexpr uint32_t kColourCurve = 0xFF0000;
inline constexpr uint32_t kColourSelection = 0x445577;
inline constexpr int32_t kSelectionAlpha = 64;
inline constexpr uint32_t kColourInk = 0x000000;

// Paints the window: PaintBegin, DrawChart, PaintEnd. Changes nothing in ctx.
// `scale` is the device pixel ratio to draw at: the window's clip box is in
// device pixels, the chart is laid out at ChartScaleFor(scale) with the fonts
// and pictures made for it. At 1 the pixels are those of a plain 1x chart.
void Paint(RasterState& raster, const GraphContext& ctx, PaintWindow& window, const HoverState& hover,
           double scale = 1.0);

// batchColumns draws the points that share a column by their net effect on
// each row, with the same pixels as drawing them one by one (false), which
// tests use as the reference.
struct PaintTuning {
    bool batchColumns = true;
};

// Draws the whole chart into the current target at origin (0, 0), at the
// scale of `assets` (ctx and hover stay in scale-1 pixels).
void DrawChart(RasterState& raster, const GraphContext& ctx, const HoverState& hover,
               const ChartAssets& assets, const PaintTuning& tuning = PaintTuning{});

}  // namespace plotwick

// The per-window chart record: the window's size, title, loaded series and
// current view. One record per chart window; the loader fills the series,
// the view arithmetic keeps the view fields consistent, and Paint reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plotwick {

// The title keeps at most kTitleSize - 1 characters.
inline constexpr int kTitleSize = 100;

struct GraphContext {
    GraphContext() = default;
    // Move-only: the labels point into fileBuffer, whose memory a move keeps.
    GraphContext(const GraphContext&) = delete;
    GraphContext& operator=(const GraphContext&) = delete;
    GraphContext(GraphContext&&) = default;
    GraphContext& operator=(GraphContext&&) = default;

    void* hwnd = nullptr;  // owner window, opaque to the drawing code
    int32_t width = 1;
    int32_t height = 1;
    std::string title;

    // Series (see series.h). Index 0 is the newest point; pointCount is the
    // size of times, o_Labels and values.
    int32_t pointCount = 0;
    std::vector<int32_t> times;   // ages in seconds, ascending with the index
    std::vector<char*> o_Labels;  // three-line labels inside fileBuffer
    std::vector<float> values;
    std::vector<char> fileBuffer;  // the loaded file text

    int32_t captionIsVolts = 1;
    int32_t dropLines = 1;
    int32_t fillArea = 1;
    int32_t animateZoomOut = 1;
    int32_t animateZoomIn = 1;
    int32_t marginLeft = 80;
    int32_t marginBottom = 70;
    int32_t marginRight = 20;
    int32_t marginTop = 30;
    int32_t span = 1;

    double valueMin = 0.0, valueMax = 0.0, valueRange = 0.0;
    double axisMin = 0.0, axisMax = 0.0, axisRange = 0.0;
    int32_t firstVisible = 0;
    int32_t viewStart = 0, viewEnd = 1;
    int32_t plotWidth = 0;
    double valueStep = 5.0;
};

// Whether the record holds points, with all three arrays of pointCount.
inline bool HasSeries(const GraphContext& ctx) {
    const auto n = static_cast<size_t>(ctx.pointCount);
    return ctx.pointCount > 0 && ctx.times.size() >= n && ctx.values.size() >= n && ctx.o_Labels.size() >= n;
}

// Fills a fresh record: sizes of at least 1, the title cut to 99 characters,
// no series, and the empty-series view of ResetRange.
void InitGraphContext(GraphContext& ctx, void* hwnd, int32_t width, int32_t height, const char* title);

// Applies a new client size (each at least 1) and the plot width that follows.
void ResizeGraphContext(GraphContext& ctx, int32_t width, int32_t height);

}  // namespace plotwick

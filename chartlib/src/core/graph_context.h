// The per-window chart record: the window's size, title, loaded series and
// current view. One record per chart window; the loader fills the series,
// the view arithmetic keeps the view fields consistent, and Paint reads it.
#pragma once

#include <cstdint>

namespace plotwick {

inline constexpr uint32_t kMagic1 = 0x4D414731;  // "MAG1"
inline constexpr uint32_t kMagic2 = 0x4D414732;  // "MAG2"
inline constexpr int kTitleSize = 100;

struct GraphContext {
    void* hwnd = nullptr;  // owner window, opaque to the drawing code
    int32_t width = 1;
    int32_t height = 1;
    char title[kTitleSize] = {};
    uint32_t magic1 = kMagic1;

    // Series, owned by the record (see series.h). Index 0 is the newest point.
    int32_t pointCount = 0;
    int32_t* times = nullptr;   // ages in seconds, ascending with the index
    char** o_Labels = nullptr;  // three-line labels inside fileBuffer
    float* values = nullptr;
    char* fileBuffer = nullptr;

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
    uint32_t magic2 = kMagic2;
};

// Fills a fresh record: sizes of at least 1, the title cut to 99 characters,
// no series, and the empty-series view of ResetRange.
void InitGraphContext(GraphContext& ctx, void* hwnd, int32_t width, int32_t height, const char* title);

// Applies a new client size (each at least 1) and the plot width that follows.
void ResizeGraphContext(GraphContext& ctx, int32_t width, int32_t height);

}  // namespace plotwick

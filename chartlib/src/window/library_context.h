// The chart library's one context behind the C exports: the raster layer
// every chart draws with, the mouse interaction shared by every chart window,
// the registry of live charts and the save dialog in use. Window code gets it
// passed in.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "plotwick/graph_context.h"
#include "plotwick/raster_state.h"

namespace plotwick {

class PngPathChooser;

// One set for all windows: a single mouse drives at most one selection or pan.
struct Interaction {
    GraphContext* hover = nullptr;     // record under the pointer
    int32_t x = -1, y = -1;            // pointer in hover's client coordinates
    GraphContext* tracking = nullptr;  // window with leave tracking active
    GraphContext* capture = nullptr;   // window holding the mouse
    bool selecting = false;
    int32_t anchorIndex = 0, currentIndex = 0;
    bool panning = false;
    int32_t panAnchorX = 0, panStart = 0, panEnd = 0;
    bool autoScroll = false;
    int32_t tickCount = 0;
    GraphContext* timerOwner = nullptr;
};

struct LibraryContext {
    // The back buffer, clip stack, fonts and pictures of every chart's paint.
    RasterState raster;
    Interaction interaction;
    // Live charts, so a stale or foreign handle is refused instead of followed.
    std::unordered_set<const void*> liveCharts;
    // Replaces the desktop's save dialog when set (tests).
    PngPathChooser* pngPathChooser = nullptr;
    // Set by pwInitialize once the raster layer is up, cleared by pwDeinitialize.
    bool rasterInitialised = false;
};

// The context the C exports work in. It lives as long as the library, so a
// chart destroyed after pwDeinitialize still finds the registry it is in.
LibraryContext& ExportContext();

}  // namespace plotwick

// PlotwickDLL's C interface: library set-up and tear-down, chart windows as
// children of the caller's widgets, and loading a channel log file into one.
// Handles are opaque (a QWidget* in, the chart's QWidget* out); nothing throws.
#pragma once

#include <stdint.h>

#if defined(PLOTWICK_BUILDING)
#define PLOTWICK_API __attribute__((visibility("default")))
#else
#define PLOTWICK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// First call sets up the raster back buffer at the screen size; later calls
// do nothing until pwDeinitialize.
PLOTWICK_API void pwInitialize(void);
// Frees the raster layer, fonts and pictures if initialised.
PLOTWICK_API void pwDeinitialize(void);
// Creates a chart whose client area is width x height at (x, y) in parent.
// Returns the chart's widget, or a null handle when parent is null.
PLOTWICK_API void* pwCreateWindow(void* parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                  const char* title);
// Loads the log file at path into the chart: 1 when loaded (view reset to the
// newest hour, caption choice stored), 0 when the chart was left as it was.
PLOTWICK_API int32_t pwLoadFile(void* window, const char* path, int32_t captionIsVolts);

#ifdef __cplusplus
}
#endif

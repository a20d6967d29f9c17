// The raster layer's state record, shared by the modules that implement the
// primitives, text, pictures and the heap. Its owner (the chart library's
// context, a test, a tool) passes it to every raster call.
#pragma once

#include <cstdint>

#include "plotwick/heap.h"
#include "plotwick/raster.h"
#include "plotwick/scale.h"

namespace plotwick {

struct ClipEntry {
    RasterPoint origin;
    RasterRect clip;
};

struct RasterState {
    BlockHeap heap;  // pictures, fonts, decoder tables; destroyed by RasterFree

    Bitmap backBuffer;  // pixels in `heap`
    bool ready = false;
    Bitmap target;  // copies of the selected records
    Bitmap source;
    RasterPoint origin;
    RasterRect clip;
    ClipEntry stack[kClipStackDepth];
    int depth = 0;
    int refusedPushes = 0;    // pushes beyond the stack, awaiting their pops
    ClipEntry beforeRefused;  // state to restore when the last refused push pops

    PaintWindow* paintWindow = nullptr;
    RasterRect paintRect;

    const Font* font = nullptr;
    Bitmap* pictures = nullptr;            // the library's list of pictures
    ChartAssets assets[kAssetScaleCount];  // one set per generated scale
    bool assetsLoaded[kAssetScaleCount] = {};
};

// The clip actually used by a primitive: the clip rectangle within the
// target's bounds (empty while a refused push is open).
RasterRect EffectiveClip(const RasterState& raster);

// Per-pixel arithmetic shared by the primitives. Mixed pixels get alpha 0.
inline uint32_t MixPixel(uint32_t dst, uint32_t colour, uint32_t weight) {
    const uint32_t inv = 256 - weight;
    const uint32_t rb = ((colour & 0xFF00FFu) * weight + (dst & 0xFF00FFu) * inv) >> 8;
    const uint32_t g = ((colour & 0x00FF00u) * weight + (dst & 0x00FF00u) * inv) >> 8;
    return (rb & 0xFF00FFu) | (g & 0x00FF00u);
}

inline uint32_t HalfPixel(uint32_t dst, uint32_t colour) {
    return ((dst & 0xFEFEFEu) + (colour & 0xFEFEFEu)) >> 1;
}

}  // namespace plotwick

// Block copies from the current source: plain, alpha-blended, premultiplied,
// and tiled fills built from them.
#include <algorithm>
#include <cstring>

#include "plotwick/raster.h"
#include "plotwick/raster_state.h"

namespace plotwick {

namespace {

// src + dst * (256 - a) / 256 per channel; saturates so a colour that is
// not truly premultiplied cannot carry into the next channel.
inline uint32_t PremultipliedOver(uint32_t dst, uint32_t src, uint32_t a) {
    const uint32_t inv = 256 - a;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t v = ((src >> shift) & 0xFFu) + (((dst >> shift) & 0xFFu) * inv >> 8);
        out |= std::min<uint32_t>(v, 255u) << shift;
    }
    return out;
}

}  // namespace

void Blit(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX, int32_t srcY) {
    const Bitmap& src = raster.source;
    const Bitmap& dst = raster.target;
    if (w <= 0 || h <= 0 || !src.bits || !dst.bits) return;
    const RasterRect c = EffectiveClip(raster);
    if (c.Empty()) return;

    int64_t tx = int64_t{x} + raster.origin.x, ty = int64_t{y} + raster.origin.y;
    int64_t sx = srcX, sy = srcY, ww = w, hh = h;
    // Clip on the target side, moving the source corner along ...
    if (tx < c.left) {
        const int64_t d = c.left - tx;
        tx += d;
        sx += d;
        ww -= d;
    }
    if (ty < c.top) {
        const int64_t d = c.top - ty;
        ty += d;
        sy += d;
        hh -= d;
    }
    ww = std::min<int64_t>(ww, c.right - tx);
    hh = std::min<int64_t>(hh, c.bottom - ty);
    // ... and on the source side, so a block reaching past the picture reads nothing outside it.
    if (sx < 0) {
        const int64_t d = -sx;
        sx = 0;
        tx += d;
        ww -= d;
    }
    if (sy < 0) {
        const int64_t d = -sy;
        sy = 0;
        ty += d;
        hh -= d;
    }
    ww = std::min<int64_t>(ww, src.width - sx);
    hh = std::min<int64_t>(hh, src.height - sy);
    if (ww <= 0 || hh <= 0) return;

    const bool alpha = (src.flags & kBitmapAlpha) != 0;
    const bool premultiplied = (src.flags & kBitmapPremultiplied) != 0;
    // Copying within one buffer downward must run bottom row first.
    const bool reverse = src.bits == dst.bits && ty > sy;
    for (int64_t k = 0; k < hh; ++k) {
        const int64_t r = reverse ? hh - 1 - k : k;
        const uint32_t* s = BitmapRow(src, static_cast<int32_t>(sy + r)) + sx;
        uint32_t* d = BitmapRow(dst, static_cast<int32_t>(ty + r)) + tx;
        if (!alpha) {
            std::memmove(d, s, static_cast<std::size_t>(ww) * 4u);
        } else if (!premultiplied) {
            for (int64_t i = 0; i < ww; ++i) {
                const uint32_t a = s[i] >> 24;
                if (a != 0) d[i] = MixPixel(d[i], s[i], a);
            }
        } else {
            for (int64_t i = 0; i < ww; ++i) {
                const uint32_t a = s[i] >> 24;
                if (a != 0) d[i] = PremultipliedOver(d[i], s[i], a);
            }
        }
    }
}

void BlitFrom(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX, int32_t srcY,
              const Bitmap* picture) {
    if (!picture) return;
    const Bitmap saved = raster.source;
    raster.source = *picture;
    Blit(raster, x, y, w, h, srcX, srcY);
    raster.source = saved;
}

void BlitTiled(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX, int32_t srcY,
               int32_t tileW, int32_t tileH, int32_t offX, int32_t offY) {
    if (w <= 0 || h <= 0 || tileW <= 0 || tileH <= 0) return;
    PushClip(raster, x, y, w, h);
    const RasterRect c = EffectiveClip(raster);
    if (!c.Empty()) {
        // Tiles wholly before the clip are skipped by whole steps.
        const int64_t clipLeft = int64_t{c.left} - raster.origin.x;
        const int64_t clipTop = int64_t{c.top} - raster.origin.y;
        const int64_t endX = std::min<int64_t>(w, int64_t{c.right} - raster.origin.x);
        const int64_t endY = std::min<int64_t>(h, int64_t{c.bottom} - raster.origin.y);
        int64_t startX = -int64_t{offX};
        int64_t startY = -int64_t{offY};
        if (startX + tileW <= clipLeft) startX += (clipLeft - startX) / tileW * tileW;
        if (startY + tileH <= clipTop) startY += (clipTop - startY) / tileH * tileH;
        for (int64_t ty = startY; ty < endY; ty += tileH) {
            for (int64_t tx = startX; tx < endX; tx += tileW) {
                Blit(raster, static_cast<int32_t>(tx), static_cast<int32_t>(ty), tileW, tileH, srcX, srcY);
            }
        }
    }
    PopClip(raster);
}

}  // namespace plotwick

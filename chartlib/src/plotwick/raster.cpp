#include "plotwick/raster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "plotwick/raster_state.h"

namespace plotwick {

namespace {

int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Origins are kept well inside int32 so sums with coordinates cannot overflow.
int32_t ClampOrigin(int64_t v) {
    constexpr int64_t kLimit = int64_t{1} << 30;
    return static_cast<int32_t>(std::clamp<int64_t>(v, -kLimit, kLimit));
}

RasterRect Intersect(const RasterRect& a, const RasterRect& b) {
    RasterRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

// The rectangle (x, y, w, h) at the origin, limited to the effective clip.
bool ClipRect(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, RasterRect* out) {
    if (w <= 0 || h <= 0) return false;
    const RasterRect c = EffectiveClip(raster);
    const int64_t l = int64_t{x} + raster.origin.x;
    const int64_t t = int64_t{y} + raster.origin.y;
    const int64_t r = std::min<int64_t>(l + w, c.right);
    const int64_t b = std::min<int64_t>(t + h, c.bottom);
    const int64_t l2 = std::max<int64_t>(l, c.left);
    const int64_t t2 = std::max<int64_t>(t, c.top);
    if (l2 >= r || t2 >= b) return false;
    *out = RasterRect{static_cast<int32_t>(l2), static_cast<int32_t>(t2), static_cast<int32_t>(r),
                      static_cast<int32_t>(b)};
    return true;
}

bool AllocBackBuffer(RasterState& raster, int32_t width, int32_t height, Bitmap* out) {
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u;
    auto* bits = static_cast<uint32_t*>(raster.heap.Alloc(bytes));
    if (!bits) return false;
    Bitmap b;
    b.width = width;
    b.height = height;
    b.bits = bits;
    b.pitch = width * 4;
    b.topRow = bits + static_cast<std::size_t>(height - 1) * static_cast<std::size_t>(width);
    *out = b;
    return true;
}

void ResetDrawingState(RasterState& raster) {
    raster.target = raster.backBuffer;
    raster.source = raster.backBuffer;
    raster.origin = {};
    raster.clip = RasterRect{0, 0, raster.backBuffer.width, raster.backBuffer.height};
    raster.depth = 0;
    raster.refusedPushes = 0;
}

// Stores or mixes one pixel at absolute coordinates already known to be inside c.
inline void Weighted(uint32_t* px, uint32_t colour, int32_t weight) {
    if (weight <= 0) return;
    *px = weight > 255 ? colour : MixPixel(*px, colour, static_cast<uint32_t>(weight));
}

inline bool Inside(const RasterRect& c, int64_t x, int64_t y) {
    return x >= c.left && x < c.right && y >= c.top && y < c.bottom;
}

}  // namespace

RasterRect EffectiveClip(const RasterState& raster) {
    if (raster.refusedPushes > 0 || !raster.target.bits) return RasterRect{};
    return Intersect(raster.clip, RasterRect{0, 0, raster.target.width, raster.target.height});
}

uint32_t PixelAt(const Bitmap& b, int32_t x, int32_t y) {
    if (!b.topRow || x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
    return BitmapRow(b, y)[x];
}

// ------------------------------------------------------------ lifecycle

bool RasterInit(RasterState& raster, int32_t width, int32_t height) {
    if (width == 0) width = kDefaultBackBufferWidth;
    if (height == 0) height = kDefaultBackBufferHeight;
    if (width < 0 || height < 0 || width > kMaxBackBufferSide || height > kMaxBackBufferSide) {
        DebugPrintf("RasterInit: size %d x %d refused", width, height);
        return false;
    }
    Bitmap fresh;
    if (!AllocBackBuffer(raster, width, height, &fresh)) {
        DebugPrintf("RasterInit: no memory for %d x %d", width, height);
        return false;
    }
    if (raster.backBuffer.bits) raster.heap.Free(raster.backBuffer.bits);
    raster.backBuffer = fresh;
    raster.ready = true;
    raster.paintWindow = nullptr;
    ResetDrawingState(raster);
    return true;
}

void RasterFree(RasterState& raster) {
    raster.heap.Destroy();
    raster = RasterState{};
}

bool RasterReady(const RasterState& raster) { return raster.ready; }

const Bitmap& BackBuffer(const RasterState& raster) { return raster.backBuffer; }

// ---------------------------------------------------------------- paint

void CopyFrameTopDown(const PresentFrame& frame, uint32_t* dst, int32_t dstPitch) {
    const int32_t w = frame.rect.right - frame.rect.left;
    const int32_t h = frame.rect.bottom - frame.rect.top;
    if (!dst || !frame.bottomRow || w <= 0 || h <= 0) return;
    for (int32_t row = 0; row < h; ++row) {
        // Top-down row `row` is the (h - 1 - row)-th row above the bottom one.
        const auto* src =
            reinterpret_cast<const uint32_t*>(reinterpret_cast<const unsigned char*>(frame.bottomRow) +
                                              static_cast<std::ptrdiff_t>(h - 1 - row) * frame.pitch);
        auto* out = reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(dst) +
                                                static_cast<std::ptrdiff_t>(row) * dstPitch);
        std::memcpy(out, src, static_cast<std::size_t>(w) * 4u);
    }
}

bool PaintBegin(RasterState& raster, PaintWindow& window) {
    const RasterRect box = window.ClipBox();
    if (box.Empty()) return false;
    if (!raster.ready && !RasterInit(raster, 0, 0)) return false;
    // A window beyond the buffer grows it (never shrinks), up to the limit.
    const int32_t wantW = std::min(std::max(box.right, raster.backBuffer.width), kMaxBackBufferSide);
    const int32_t wantH = std::min(std::max(box.bottom, raster.backBuffer.height), kMaxBackBufferSide);
    if (wantW > raster.backBuffer.width || wantH > raster.backBuffer.height) {
        Bitmap grown;
        if (AllocBackBuffer(raster, wantW, wantH, &grown)) {
            raster.heap.Free(raster.backBuffer.bits);
            raster.backBuffer = grown;
        } else {
            DebugPrintf("PaintBegin: back buffer cannot grow to %d x %d", wantW, wantH);
        }
    }
    const RasterRect paint =
        Intersect(box, RasterRect{0, 0, raster.backBuffer.width, raster.backBuffer.height});
    if (paint.Empty()) return false;
    ResetDrawingState(raster);
    raster.clip = paint;
    raster.paintRect = paint;
    raster.paintWindow = &window;
    return true;
}

void PaintEnd(RasterState& raster) {
    if (!raster.paintWindow) return;
    PaintWindow* window = raster.paintWindow;
    raster.paintWindow = nullptr;
    PresentFrame frame;
    frame.rect = raster.paintRect;
    frame.bottomRow = BitmapRow(raster.backBuffer, raster.paintRect.bottom - 1) + raster.paintRect.left;
    frame.pitch = raster.backBuffer.pitch;
    window->Present(frame);
}

// ------------------------------------------------- target, origin, clip

void SetTarget(RasterState& raster, const Bitmap* picture) {
    raster.target = picture ? *picture : raster.backBuffer;
}

void SetSource(RasterState& raster, const Bitmap* picture) {
    raster.source = picture ? *picture : raster.backBuffer;
}

const Bitmap& CurrentSource(const RasterState& raster) { return raster.source; }

void PushClip(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (raster.refusedPushes > 0 || raster.depth >= kClipStackDepth) {
        if (raster.refusedPushes == 0) raster.beforeRefused = ClipEntry{raster.origin, raster.clip};
        ++raster.refusedPushes;
        DebugPrintf("PushClip: clip stack full at depth %d", raster.depth + raster.refusedPushes);
        return;
    }
    raster.stack[raster.depth++] = ClipEntry{raster.origin, raster.clip};
    raster.origin =
        RasterPoint{ClampOrigin(int64_t{raster.origin.x} + x), ClampOrigin(int64_t{raster.origin.y} + y)};
    const RasterRect area{raster.origin.x, raster.origin.y,
                          Clamp32(int64_t{raster.origin.x} + std::max(w, 0)),
                          Clamp32(int64_t{raster.origin.y} + std::max(h, 0))};
    raster.clip = Intersect(raster.clip, area);
}

void PopClip(RasterState& raster) {
    if (raster.refusedPushes > 0) {
        if (--raster.refusedPushes == 0) {
            raster.origin = raster.beforeRefused.origin;
            raster.clip = raster.beforeRefused.clip;
        }
        return;
    }
    if (raster.depth == 0) {
        DebugPrint("PopClip: clip stack empty");
        return;
    }
    const ClipEntry& e = raster.stack[--raster.depth];
    raster.origin = e.origin;
    raster.clip = e.clip;
}

void SetOrigin(RasterState& raster, int32_t x, int32_t y) {
    raster.origin = RasterPoint{ClampOrigin(x), ClampOrigin(y)};
}

void SetClip(RasterState& raster, const RasterRect& clip) {
    RasterRect c = clip;
    if (c.right < c.left) c.right = c.left;
    if (c.bottom < c.top) c.bottom = c.top;
    raster.clip = c;
}

RasterPoint CurrentOrigin(const RasterState& raster) { return raster.origin; }

RasterRect CurrentClip(const RasterState& raster) { return raster.clip; }

int ClipDepth(const RasterState& raster) { return raster.depth + raster.refusedPushes; }

// ------------------------------------------------------------ primitives

void RectFill(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
    RasterRect r;
    if (!ClipRect(raster, x, y, w, h, &r)) return;
    const Bitmap& t = raster.target;
    const std::size_t n = static_cast<std::size_t>(r.right - r.left);
    for (int32_t row = r.top; row < r.bottom; ++row) {
        uint32_t* p = BitmapRow(t, row) + r.left;
        std::fill_n(p, n, colour);
    }
}

void RectBlend(RasterState& raster, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour,
               int32_t alpha) {
    if (alpha <= 0) return;
    if (alpha > 255) {
        RectFill(raster, x, y, w, h, colour);
        return;
    }
    RasterRect r;
    if (!ClipRect(raster, x, y, w, h, &r)) return;
    const Bitmap& t = raster.target;
    if (alpha == 128) {
        // Half of each colour channel, by masked shifts.
        const uint32_t half = (colour >> 1) & 0x7F7F7Fu;
        for (int32_t row = r.top; row < r.bottom; ++row) {
            uint32_t* p = BitmapRow(t, row);
            for (int32_t c = r.left; c < r.right; ++c) p[c] = ((p[c] >> 1) & 0x7F7F7Fu) + half;
        }
        return;
    }
    const uint32_t a = static_cast<uint32_t>(alpha);
    for (int32_t row = r.top; row < r.bottom; ++row) {
        uint32_t* p = BitmapRow(t, row);
        for (int32_t c = r.left; c < r.right; ++c) p[c] = MixPixel(p[c], colour, a);
    }
}

void HLine(RasterState& raster, int32_t x, int32_t y, int32_t length, uint32_t colour) {
    RectFill(raster, x, y, length, 1, colour);
}

void VLine(RasterState& raster, int32_t x, int32_t y, int32_t length, uint32_t colour) {
    RectFill(raster, x, y, 1, length, colour);
}

void HLineHalf(RasterState& raster, int32_t x, int32_t y, int32_t length, uint32_t colour) {
    RasterRect r;
    if (!ClipRect(raster, x, y, length, 1, &r)) return;
    uint32_t* p = BitmapRow(raster.target, r.top);
    for (int32_t c = r.left; c < r.right; ++c) p[c] = HalfPixel(p[c], colour);
}

void VLineHalf(RasterState& raster, int32_t x, int32_t y, int32_t length, uint32_t colour) {
    RasterRect r;
    if (!ClipRect(raster, x, y, 1, length, &r)) return;
    const Bitmap& t = raster.target;
    for (int32_t row = r.top; row < r.bottom; ++row) {
        uint32_t* p = BitmapRow(t, row) + r.left;
        *p = HalfPixel(*p, colour);
    }
}

void PutPixelWeighted(RasterState& raster, int32_t x, int32_t y, uint32_t colour, int32_t weight) {
    if (weight <= 0) return;
    RasterRect r;
    if (!ClipRect(raster, x, y, 1, 1, &r)) return;
    Weighted(BitmapRow(raster.target, r.top) + r.left, colour, weight);
}

void LineAA(RasterState& raster, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (x1 == x2 && y1 == y2) {
        PutPixelWeighted(raster, x1, y1, colour, 256);
        return;
    }
    const RasterRect c = EffectiveClip(raster);
    if (c.Empty()) return;
    const Bitmap& t = raster.target;
    const int64_t dx = int64_t{x2} - x1;
    const int64_t dy = int64_t{y2} - y1;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t steps = xMajor ? std::llabs(dx) : std::llabs(dy);
    const int64_t dir = (xMajor ? dx : dy) < 0 ? -1 : 1;
    // The minor coordinate moves by the exact slope in 16.16 fixed point.
    const int64_t slope = (xMajor ? dy : dx) * 65536 / steps;
    const int64_t major0 = (xMajor ? int64_t{x1} + raster.origin.x : int64_t{y1} + raster.origin.y);
    const int64_t minor0 = (xMajor ? int64_t{y1} + raster.origin.y : int64_t{x1} + raster.origin.x);
    // Only the steps whose major coordinate lies in the clip can draw.
    const int64_t lo = xMajor ? c.left : c.top;
    const int64_t hi = (xMajor ? c.right : c.bottom) - 1;
    int64_t first = dir > 0 ? lo - major0 : major0 - hi;
    int64_t last = dir > 0 ? hi - major0 : major0 - lo;
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, steps - 1);
    for (int64_t i = first; i <= last; ++i) {
        const int64_t major = major0 + i * dir;
        const int64_t fixed = minor0 * 65536 + i * slope;
        const int64_t minor = fixed >> 16;  // floor, also for negative positions
        const int32_t f = static_cast<int32_t>((fixed >> 8) & 0xFF);
        for (int k = 0; k < 2; ++k) {
            const int64_t m = minor + k;
            const int64_t px = xMajor ? major : m;
            const int64_t py = xMajor ? m : major;
            if (!Inside(c, px, py)) continue;
            Weighted(BitmapRow(t, static_cast<int32_t>(py)) + px, colour, k == 0 ? 319 - f : f + 64);
        }
    }
}

}  // namespace plotwick

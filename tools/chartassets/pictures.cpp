#include "pictures.h"

#include <algorithm>
#include <cmath>

#include "glyphs.h"
#include "plotwick/assets.h"
#include "plotwick/scale.h"

namespace chartassets {

namespace pa = plotwick::assets;

namespace {

constexpr Rgba kClear{0, 0, 0, 0};

Rgba Solid(uint32_t rgb, uint8_t alpha = 255) {
    return Rgba{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb),
                alpha};
}

// Shades region r (given at scale 1) into its rectangle at `scale`: each
// sample is mapped back into r's own coordinates, so every shape keeps its
// proportions and fills exactly the rectangle the chart blits from.
void ShadeRegion(Canvas* c, const pa::Region& r, double scale,
                 const std::function<Rgba(double, double)>& colourAt) {
    const pa::Region d = plotwick::ScaledRegion(r, scale);
    if (d.w == r.w && d.h == r.h) {
        c->Shade(d.x, d.y, d.w, d.h, colourAt);
        return;
    }
    const double sx = static_cast<double>(r.w) / d.w, sy = static_cast<double>(r.h) / d.h;
    c->Shade(d.x, d.y, d.w, d.h, [&](double x, double y) { return colourAt(x * sx, y * sy); });
}

// Writes the text upright-rotated (reading bottom to top) centred in region r.
void PutRotatedText(Canvas* c, const TextImage& t, const pa::Region& r) {
    const int offX = (r.w - t.height) / 2;  // the text's height runs across the region
    const int offY = (r.h - t.width) / 2;   // its length runs up the region
    for (int ty = 0; ty < t.height; ++ty) {
        for (int tx = 0; tx < t.width; ++tx) {
            const uint8_t cov = t.coverage[static_cast<size_t>(ty) * t.width + tx];
            const int x = r.x + offX + ty;
            const int y = r.y + r.h - 1 - (offY + tx);
            if (cov == 0 || x < r.x || x >= r.x + r.w || y < r.y || y >= r.y + r.h) continue;
            c->At(x, y) = Rgba{0, 0, 0, cov};
        }
    }
}

// A shape given by an inside test, with a one-pixel border.
struct Look {
    uint32_t fill;
    uint32_t border;
    uint8_t fillAlpha;
};

template <class Inside>
void ShadeBordered(Canvas* c, const pa::Region& r, double scale, const Look& look, Inside inside) {
    ShadeRegion(c, r, scale, [&](double x, double y) {
        if (!inside(x, y, 0.0)) return kClear;
        if (!inside(x, y, 1.0)) return Solid(look.border);
        return Solid(look.fill, look.fillAlpha);
    });
}

// The date tag: a rounded label with an anchor line at x = 2.
void DrawDateTag(Canvas* c, double scale) {
    const pa::Region r = pa::kSheetDateTag;
    ShadeBordered(c, r, scale, Look{0xFFF6D0, 0xA89858, 255}, [&](double x, double y, double inset) {
        return RoundRectDistance(x, y, inset, inset, r.w - 2 * inset, r.h - 2 * inset, 3) < 0;
    });
    // One device pixel wide at every scale, like the chart's ticks.
    const pa::Region d = plotwick::ScaledRegion(r, scale);
    const int inset = plotwick::ScaledPx(1, scale);
    for (int y = inset; y < d.h - inset; ++y)
        c->At(d.x + plotwick::ScaledPx(2, scale), d.y + y) = Solid(0x605020);
}

// The call-out: a box with its pointer tip at the top centre.
void DrawCallout(Canvas* c, double scale) {
    const pa::Region r = pa::kSheetCallout;
    const double tip = r.w / 2.0;
    ShadeBordered(c, r, scale, Look{0xFFFFF4, 0x606060, 240}, [&](double x, double y, double inset) {
        const bool box =
            RoundRectDistance(x, y, inset, 6 + inset, r.w - 2 * inset, r.h - 6 - 2 * inset, 4) < 0;
        const bool pointer =
            InTriangle(x, y, tip, 0.5 + 1.6 * inset, tip - 7 + inset, 7 + inset, tip + 7 - inset, 7 + inset);
        return box || pointer;
    });
}

// The value tag: a flag whose pointer at the left touches (0, 4).
void DrawValueTag(Canvas* c, double scale) {
    const pa::Region r = pa::kSheetValueTag;
    ShadeBordered(c, r, scale, Look{0xFFFFFF, 0xCC3030, 235}, [&](double x, double y, double inset) {
        const bool box =
            RoundRectDistance(x, y, 8 + inset, inset, r.w - 8 - 2 * inset, r.h - 2 * inset, 4) < 0;
        const bool pointer = InTriangle(x, y, 0.2 + 1.6 * inset, 4.5, 10, 0.5 + inset, 10, 11 - inset);
        return box || pointer;
    });
}

// One track part: the groove is an imagined long rounded bar; `phase` is
// where the part lies along it, so caps are its ends and the middle is a
// uniform slice that tiles.
void DrawTrackPart(Canvas* c, pa::Region r, double scale, double phase, double barWidth, const Look& look) {
    ShadeBordered(c, r, scale, look, [&](double x, double y, double inset) {
        return RoundRectDistance(x + phase, y, inset, 2 + inset, barWidth - 2 * inset, r.h - 4 - 2 * inset,
                                 7) < 0;
    });
}

void DrawTrack(Canvas* c, double scale, int y, const Look& look) {
    constexpr double kBar = 200;
    DrawTrackPart(c, pa::Region{pa::kSheetTrackLeft.x, y, pa::kSheetTrackLeft.w, pa::kSheetTrackLeft.h},
                  scale, 0, kBar, look);
    DrawTrackPart(c, pa::Region{pa::kSheetTrackMiddle.x, y, pa::kSheetTrackMiddle.w, pa::kSheetTrackMiddle.h},
                  scale, 60, kBar, look);
    DrawTrackPart(c, pa::Region{pa::kSheetTrackRight.x, y, pa::kSheetTrackRight.w, pa::kSheetTrackRight.h},
                  scale, kBar - pa::kSheetTrackRight.w, kBar, look);
}

// The thumb: a raised handle with a vertical shade, split like the track.
void DrawThumbPart(Canvas* c, pa::Region r, double scale, double phase, double barWidth, uint32_t top,
                   uint32_t bottom, uint32_t border) {
    auto inside = [&](double x, double y, double inset) {
        return RoundRectDistance(x + phase, y, inset, inset, barWidth - 2 * inset, r.h - 2 * inset, 3) < 0;
    };
    ShadeRegion(c, r, scale, [&](double x, double y) {
        if (!inside(x, y, 0.0)) return kClear;
        if (!inside(x, y, 1.0)) return Solid(border);
        const double t = y / r.h;
        auto mix = [&](int shift) {
            const double a = (top >> shift) & 0xFF, b = (bottom >> shift) & 0xFF;
            return static_cast<uint32_t>(std::lround(a + (b - a) * t)) << shift;
        };
        return Solid(mix(16) | mix(8) | mix(0));
    });
}

void DrawThumb(Canvas* c, double scale, int y, uint32_t top, uint32_t bottom, uint32_t border) {
    constexpr double kBar = 100;
    const pa::Region l = pa::kSheetThumbLeft, m = pa::kSheetThumbMiddle, r = pa::kSheetThumbRight;
    DrawThumbPart(c, pa::Region{l.x, y, l.w, l.h}, scale, 0, kBar, top, bottom, border);
    DrawThumbPart(c, pa::Region{m.x, y, m.w, m.h}, scale, 40, kBar, top, bottom, border);
    DrawThumbPart(c, pa::Region{r.x, y, r.w, r.h}, scale, kBar - r.w, kBar, top, bottom, border);
}

}  // namespace

bool DrawCaptionPicture(const std::string& fontPath, double scale, Canvas* out, std::string* error) {
    TextImage amps, volts;
    const double size = 18 * scale;
    if (!RenderText(fontPath, size, "Amps", &amps, error) ||
        !RenderText(fontPath, size, "Volts", &volts, error))
        return false;
    PutRotatedText(out, amps, plotwick::ScaledRegion(pa::kCaptionAmps, scale));
    PutRotatedText(out, volts, plotwick::ScaledRegion(pa::kCaptionVolts, scale));
    return true;
}

void DrawSheetPicture(double scale, Canvas* out) {
    DrawDateTag(out, scale);
    DrawCallout(out, scale);
    DrawValueTag(out, scale);
    DrawTrack(out, scale, pa::kSheetTrackLeft.y, Look{0xE2E6EC, 0xA4ACB8, 255});
    DrawTrack(out, scale, pa::kSheetTrackHoverY, Look{0xD6E0EE, 0x7088AC, 255});
    DrawThumb(out, scale, pa::kSheetThumbLeft.y, 0xA8BAD6, 0x7890B8, 0x4A6690);
    DrawThumb(out, scale, pa::kSheetThumbHoverY, 0xC4D6F2, 0x8EA8D4, 0x3A5C94);
}

}  // namespace chartassets

// Device pixel scales of a chart: the scales the embedded fonts and pictures
// are generated for, the choice of one for a screen's device pixel ratio, and
// the mapping of the chart's layout lengths and picture regions onto device
// pixels. At scale 1 every mapping is the identity.
#pragma once

#include <cmath>
#include <cstdint>

#include "assets.h"

namespace plotwick {

// The scales with their own fonts and pictures, ascending; index 0 is 1.
inline constexpr double kAssetScales[] = {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0};
inline constexpr int kAssetScaleCount = static_cast<int>(sizeof kAssetScales / sizeof kAssetScales[0]);

// Index of the asset scale nearest to a device pixel ratio (ties go to the
// larger scale, so text is never drawn smaller than the screen asks). Ratios
// below 1, NaN and infinities take scale 1 or the largest scale.
inline int AssetScaleIndex(double ratio) {
    if (!(ratio > kAssetScales[0])) return 0;
    int best = 0;
    for (int i = 1; i < kAssetScaleCount; ++i) {
        if (std::fabs(kAssetScales[i] - ratio) <= std::fabs(kAssetScales[best] - ratio)) best = i;
    }
    return best;
}

inline double ChartScaleFor(double ratio) { return kAssetScales[AssetScaleIndex(ratio)]; }

// A layout length or coordinate in device pixels, rounded half away from zero.
inline int32_t ScaledPx(int32_t v, double scale) {
    if (scale == 1.0) return v;
    return static_cast<int32_t>(std::lround(static_cast<double>(v) * scale));
}

// A picture region at a scale: its edges are scaled and rounded, so regions
// that touch at scale 1 still touch. The generator draws each region into
// exactly this rectangle and the chart blits it from there.
inline assets::Region ScaledRegion(const assets::Region& r, double scale) {
    const int32_t x = ScaledPx(r.x, scale), y = ScaledPx(r.y, scale);
    return assets::Region{x, y, ScaledPx(r.x + r.w, scale) - x, ScaledPx(r.y + r.h, scale) - y};
}

}  // namespace plotwick

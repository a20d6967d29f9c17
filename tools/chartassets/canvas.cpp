#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace chartassets {

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height) {}

void Canvas::Shade(int x, int y, int w, int h, const std::function<Rgba(double, double)>& colourAt) {
    constexpr int kSub = 4;
    for (int py = 0; py < h; ++py) {
        for (int px = 0; px < w; ++px) {
            int sr = 0, sg = 0, sb = 0, sa = 0;
            for (int j = 0; j < kSub; ++j) {
                for (int i = 0; i < kSub; ++i) {
                    const Rgba c = colourAt(px + (i + 0.5) / kSub, py + (j + 0.5) / kSub);
                    sr += c.r * c.a;
                    sg += c.g * c.a;
                    sb += c.b * c.a;
                    sa += c.a;
                }
            }
            Rgba out;
            if (sa > 0) {
                out.r = static_cast<uint8_t>((sr + sa / 2) / sa);
                out.g = static_cast<uint8_t>((sg + sa / 2) / sa);
                out.b = static_cast<uint8_t>((sb + sa / 2) / sa);
                out.a = static_cast<uint8_t>((sa + kSub * kSub / 2) / (kSub * kSub));
            }
            if (x + px >= 0 && x + px < width_ && y + py >= 0 && y + py < height_) At(x + px, y + py) = out;
        }
    }
}

double RoundRectDistance(double px, double py, double x, double y, double w, double h, double radius) {
    const double cx = x + w / 2, cy = y + h / 2;
    const double qx = std::fabs(px - cx) - (w / 2 - radius);
    const double qy = std::fabs(py - cy) - (h / 2 - radius);
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

bool InTriangle(double px, double py, double ax, double ay, double bx, double by, double cx, double cy) {
    auto side = [](double x0, double y0, double x1, double y1, double x, double y) {
        return (x1 - x0) * (y - y0) - (y1 - y0) * (x - x0);
    };
    const double d1 = side(ax, ay, bx, by, px, py);
    const double d2 = side(bx, by, cx, cy, px, py);
    const double d3 = side(cx, cy, ax, ay, px, py);
    const bool neg = d1 < 0 || d2 < 0 || d3 < 0;
    const bool pos = d1 > 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
}

std::vector<uint8_t> ToRgb565WithAlpha(const Canvas& c) {
    const size_t n = static_cast<size_t>(c.Width()) * c.Height();
    std::vector<uint8_t> out(n * 3);
    for (int y = 0; y < c.Height(); ++y) {
        for (int x = 0; x < c.Width(); ++x) {
            const Rgba p = c.At(x, y);
            const size_t i = static_cast<size_t>(y) * c.Width() + x;
            const uint16_t w =
                p.a == 0 ? 0 : static_cast<uint16_t>((p.r >> 3) << 11 | (p.g >> 2) << 5 | (p.b >> 3));
            out[2 * i] = static_cast<uint8_t>(w & 0xFF);
            out[2 * i + 1] = static_cast<uint8_t>(w >> 8);
            out[2 * n + i] = p.a;
        }
    }
    return out;
}

}  // namespace chartassets

// A small RGBA drawing surface for the asset generator: shapes are filled by
// 4 x 4 supersampling so edges are smooth and the output is deterministic.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace chartassets {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
};

class Canvas {
public:
    Canvas(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgba& At(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    const Rgba& At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

    // Paints every pixel of (x, y, w, h); `colourAt` gets the sample position
    // relative to (x, y) and returns the colour there (alpha 0 = nothing).
    // Samples are averaged with premultiplied alpha and replace the pixel.
    void Shade(int x, int y, int w, int h, const std::function<Rgba(double, double)>& colourAt);

private:
    int width_, height_;
    std::vector<Rgba> pixels_;
};

// Signed distance to a rounded rectangle (negative inside).
double RoundRectDistance(double px, double py, double x, double y, double w, double h, double radius);
// Whether a point lies inside the triangle (a, b, c).
bool InTriangle(double px, double py, double ax, double ay, double bx, double by, double cx, double cy);

// The blob payload: RGB565 words (little-endian) row by row, then one alpha byte per pixel.
std::vector<uint8_t> ToRgb565WithAlpha(const Canvas& c);

}  // namespace chartassets

// A paint target in plain memory: receives the finished pixels of a paint as
// a top-down image, for the headless renderer, benchmarks and tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "raster.h"

namespace plotwick {

class MemoryWindow : public PaintWindow {
public:
    MemoryWindow(int32_t width, int32_t height)
        : width_(std::max<int32_t>(width, 1)),
          height_(std::max<int32_t>(height, 1)),
          pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0u) {}

    RasterRect ClipBox() const override { return RasterRect{0, 0, width_, height_}; }

    void Present(const PresentFrame& frame) override {
        RasterRect r = frame.rect;
        if (r.left < 0 || r.top < 0 || r.right > width_ || r.bottom > height_ || r.Empty()) return;
        uint32_t* dst = pixels_.data() + static_cast<size_t>(r.top) * static_cast<size_t>(width_) + r.left;
        CopyFrameTopDown(frame, dst, width_ * 4);
    }

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // 0xAARRGGBB, top-down rows; 0 outside the window.
    uint32_t Pixel(int32_t x, int32_t y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
        return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
    }
    const std::vector<uint32_t>& pixels() const { return pixels_; }

private:
    int32_t width_;
    int32_t height_;
    std::vector<uint32_t> pixels_;
};

}  // namespace plotwick

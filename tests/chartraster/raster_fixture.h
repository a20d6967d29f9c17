// Shared fixture for the raster tests: a raster of the test's own with a small
// back buffer filled with a known colour, and a sink that collects the
// diagnostic texts.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plotwick/raster.h"
#include "plotwick/raster_state.h"

namespace plotwick::test {

class RasterTest : public ::testing::Test {
protected:
    static constexpr int kW = 16;
    static constexpr int kH = 12;

    void SetUp() override {
        ASSERT_TRUE(RasterInit(raster, kW, kH));
        SetDiagnosticSink([this](std::string_view t) { diags.emplace_back(t); });
        Clear(0xFF214161u);
    }
    void TearDown() override { SetDiagnosticSink(nullptr); }
    void Clear(uint32_t colour) {
        bg = colour;
        const RasterRect saved = CurrentClip(raster);
        const RasterPoint origin = CurrentOrigin(raster);
        SetClip(raster, RasterRect{0, 0, kW, kH});
        SetOrigin(raster, 0, 0);
        RectFill(raster, 0, 0, kW, kH, colour);
        SetClip(raster, saved);
        SetOrigin(raster, origin.x, origin.y);
    }
    uint32_t Px(int x, int y) const { return PixelAt(BackBuffer(raster), x, y); }
    std::vector<uint32_t> Snapshot() const {
        std::vector<uint32_t> v;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) v.push_back(Px(x, y));
        return v;
    }
    int CountNot(uint32_t colour) const {
        int n = 0;
        for (uint32_t p : Snapshot()) n += p != colour;
        return n;
    }
    int CountEq(uint32_t colour) const {
        int n = 0;
        for (uint32_t p : Snapshot()) n += p == colour;
        return n;
    }

    RasterState raster;
    uint32_t bg = 0;
    std::vector<std::string> diags;
};

}  // namespace plotwick::test

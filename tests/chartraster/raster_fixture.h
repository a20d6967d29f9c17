// Shared fixture for the raster tests: a fresh small back buffer filled with
// a known colour, and a sink that collects the diagnostic texts.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plotwick/raster.h"

namespace plotwick::test {

class RasterTest : public ::testing::Test {
protected:
    static constexpr int kW = 16;
    static constexpr int kH = 12;

    void SetUp() override {
        RasterFree();
        ASSERT_TRUE(RasterInit(kW, kH));
        SetDiagnosticSink([this](std::string_view t) { diags.emplace_back(t); });
        Clear(0xFF214161u);
    }
    void TearDown() override {
        SetDiagnosticSink(nullptr);
        RasterFree();
    }
    void Clear(uint32_t colour) {
        bg = colour;
        const RasterRect saved = CurrentClip();
        const RasterPoint origin = CurrentOrigin();
        SetClip(RasterRect{0, 0, kW, kH});
        SetOrigin(0, 0);
        RectFill(0, 0, kW, kH, colour);
        SetClip(saved);
        SetOrigin(origin.x, origin.y);
    }
    static uint32_t Px(int x, int y) { return PixelAt(BackBuffer(), x, y); }
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

    uint32_t bg = 0;
    std::vector<std::string> diags;
};

}  // namespace plotwick::test

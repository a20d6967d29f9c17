// Rendered charts checked by pixels the view arithmetic predicts, the time
// label plan, and whole-chart checksums against regressions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plotwick/assets.h"
#include "plotwick/axis.h"
#include "plotwick/chart_frame.h"
#include "plotwick/chart_walk.h"
#include "plotwick/paint.h"
#include "plotwick/raster.h"
#include "plotwick/raster_state.h"
#include "plotwick/view.h"
#include "series_fixture.h"

namespace plotwick {
namespace {

using test::TestSeries;

constexpr uint32_t kRgb = 0xFFFFFF;

uint32_t HalfMix(uint32_t dst, uint32_t colour) { return (((dst & 0xFEFEFE) + (colour & 0xFEFEFE)) >> 1); }

class PaintTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(RasterInit(raster, 1024, 768)); }
    void TearDown() override { RasterFree(raster); }

    MemoryWindow Render(const GraphContext& ctx, const HoverState& hover = {}) {
        MemoryWindow w(ctx.width, ctx.height);
        Paint(raster, ctx, w, hover);
        return w;
    }

    RasterState raster;
};

TEST_F(PaintTest, ZeroLineAndCurveWherePredicted) {
    // Axis -1..3 over 140 rows (35 rows per unit): 3 at age 0, 1 at 1800, -1 at 3600.
    TestSeries s({0, 1800, 3600}, {3.0f, 1.0f, -1.0f});
    const PlotGeometry g = ComputeGeometry(s.ctx);
    ASSERT_DOUBLE_EQ(s.ctx.axisMin, -1.0);
    ASSERT_DOUBLE_EQ(s.ctx.axisRange, 4.0);
    const MemoryWindow w = Render(s.ctx);
    const int32_t zeroRow = g.top + ZeroRow(g, s.ctx);
    ASSERT_EQ(zeroRow, 30 + 139 - 35);
    for (int32_t c : {1, 100, 450, 499}) {
        EXPECT_EQ(w.Pixel(g.left + c, zeroRow) & kRgb, 0x555555u) << "zero line at column " << c;
    }
    // Columns where the interpolated curve sits on a whole row are pure red:
    // rows -1 + 70 c / 250 up to column 250, then 69 + 70 (c - 250) / 250.
    const struct { int32_t c, y; } onCurve[] = {{50, 13}, {125, 34}, {200, 55}, {300, 83}, {425, 118}};
    for (const auto& p : onCurve) {
        EXPECT_EQ(w.Pixel(g.left + p.c, g.top + p.y) & kRgb, 0xFF0000u) << "curve at column " << p.c;
        EXPECT_EQ(w.Pixel(g.left + p.c, g.top + p.y - 3),
                  p.y - 3 > ZeroRow(g, s.ctx) ? 0x00E5E5EDu : 0xFFFFFFFFu)
            << "above the curve at column " << p.c;
    }
    // Between curve and zero line the area's half mix; below the zero line
    // under a negative curve the same; drop lines only at the points.
    EXPECT_EQ(w.Pixel(g.left + 200, g.top + 100) & kRgb, HalfMix(0xFFFFFF, 0xCCCCDD));
    EXPECT_EQ(w.Pixel(g.left + 450, zeroRow + 5) & kRgb, HalfMix(0xFFFFFF, 0xCCCCDD));
    EXPECT_EQ(w.Pixel(g.left + 250, g.top + 100) & kRgb, HalfMix(HalfMix(0xFFFFFF, 0xCCCCDD), 0xDD8888));
}

TEST_F(PaintTest, GridRowsOfTheExampleChart) {
    // Values 12.25..12.5: the zero line and area lie far below the plot.
    std::vector<int32_t> t;
    std::vector<float> v;
    for (int i = 0; i <= 36; ++i) {
        t.push_back(i * 100);
        v.push_back(i == 36 ? 12.5f : 12.25f);
    }
    TestSeries s(t, v);
    const PlotGeometry g = ComputeGeometry(s.ctx);
    const MemoryWindow w = Render(s.ctx);
    const uint32_t grid = HalfMix(0xFFFFFF, 0xCCCCDD);
    // Rows 22..92 lie above the flat curve at row 115 near the left edge.
    for (int32_t row : {22, 45, 69, 92}) {
        EXPECT_EQ(w.Pixel(g.left + 20, g.top + row) & kRgb, grid) << "grid row " << row;
        EXPECT_EQ(w.Pixel(g.left + 20, g.top + row + 1), 0xFFFFFFFFu) << "below grid row " << row;
    }
    EXPECT_EQ(w.Pixel(g.left + 20, g.top + 115) & kRgb, 0xFF0000u);
    // Axis lines are black.
    EXPECT_EQ(w.Pixel(g.left + 50, g.bottom) & kRgb, 0u);
    EXPECT_EQ(w.Pixel(g.left, g.top + 50) & kRgb, 0u);
}

TEST_F(PaintTest, OverviewThumbFollowsTheView) {
    std::vector<int32_t> t;
    std::vector<float> v;
    for (int i = 0; i <= 72; ++i) {
        t.push_back(i * 100);
        v.push_back(static_cast<float>(i % 5));
    }
    TestSeries s(t, v);  // span 7200, view 0..3600: thumb 0..250
    const PlotGeometry g = ComputeGeometry(s.ctx);
    const MemoryWindow first = Render(s.ctx);
    SetView(s.ctx, 3600, 7200);  // thumb 250..500
    const MemoryWindow second = Render(s.ctx);
    const int32_t row = g.bottom + 40 + 15;
    int differing = 0;
    for (int32_t c = 3; c < 247; ++c) {
        EXPECT_EQ(first.Pixel(g.left + c, row), second.Pixel(g.left + c + 250, row)) << c;
        if (first.Pixel(g.left + c, row) != first.Pixel(g.left + c + 250, row)) ++differing;
    }
    EXPECT_GT(differing, 0) << "the thumb must look different from the bare track";

    // Hovered looks: the pointer on the thumb changes the thumb only, on the
    // track (off the thumb) the track only.
    HoverState onThumb{&s.ctx, g.left + 375, g.bottom + 50};
    HoverState onTrack{&s.ctx, g.left + 100, g.bottom + 50};
    const MemoryWindow thumbHover = Render(s.ctx, onThumb);
    const MemoryWindow trackHover = Render(s.ctx, onTrack);
    int thumbChanged = 0, trackChanged = 0;
    for (int32_t c = 3; c < 247; ++c) {
        EXPECT_EQ(thumbHover.Pixel(g.left + c, row), second.Pixel(g.left + c, row));
        EXPECT_EQ(trackHover.Pixel(g.left + 250 + c, row), second.Pixel(g.left + 250 + c, row));
        thumbChanged += thumbHover.Pixel(g.left + 250 + c, row) != second.Pixel(g.left + 250 + c, row);
        trackChanged += trackHover.Pixel(g.left + c, row) != second.Pixel(g.left + c, row);
    }
    EXPECT_GT(thumbChanged, 0);
    EXPECT_GT(trackChanged, 0);
}

TEST_F(PaintTest, HoverShadesPlotAndMarksNearestPoint) {
    TestSeries s({0, 1800, 3600}, {2.0f, 4.0f, 3.0f});
    const PlotGeometry g = ComputeGeometry(s.ctx);
    const MemoryWindow nearMiddle = Render(s.ctx, HoverState{&s.ctx, g.left + 252, g.top + 10});
    const MemoryWindow nearLeft = Render(s.ctx, HoverState{&s.ctx, g.left + 10, g.top + 10});
    const MemoryWindow plain = Render(s.ctx);
    EXPECT_EQ(nearMiddle.Pixel(g.left + 100, g.top + 2) & kRgb, 0xFAFAFAu);
    // The read-out's drop line halves the column under the nearest point.
    const int32_t row = g.top + PointY(g, s.ctx, 4.0) + 30;
    EXPECT_EQ(nearMiddle.Pixel(g.left + 250, row) & kRgb,
              (nearLeft.Pixel(g.left + 250, row) & 0xFEFEFE) >> 1);
    // Another window's hover state shows nothing here.
    GraphContext other;
    const MemoryWindow notHovered = Render(s.ctx, HoverState{&other, g.left + 252, g.top + 10});
    EXPECT_EQ(notHovered.pixels(), plain.pixels());
}

TEST_F(PaintTest, SelectionOverlayBlendsTheSelectedAges) {
    TestSeries s({0, 600, 1200, 1800, 3600}, {1, 1, 1, 1, 1});
    const PlotGeometry g = ComputeGeometry(s.ctx);
    HoverState hover{&s.ctx, -1, -1, true, 2, 1};  // points 1..2, plus one older: ages 600..1800
    const MemoryWindow w = Render(s.ctx, hover);
    const MemoryWindow plain = Render(s.ctx);
    auto blend = [](uint32_t dst) {
        uint32_t out = 0;
        for (int shift : {0, 8, 16}) {
            const uint32_t c = (0x445577u >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
            out |= ((c * 64 + d * 192) / 256) << shift;
        }
        return out;
    };
    const int32_t inside = g.left + PointX(g, s.ctx, 1000);
    EXPECT_EQ(w.Pixel(inside, g.top + 5) & kRgb, blend(plain.Pixel(inside, g.top + 5) & kRgb));
    const int32_t outside = g.left + PointX(g, s.ctx, 2000);
    EXPECT_EQ(w.Pixel(outside, g.top + 5), plain.Pixel(outside, g.top + 5));
}

TEST_F(PaintTest, SmallWindowShowsOnlyBackgroundAndCaption) {
    for (auto [wd, ht] : {std::pair{109, 240}, std::pair{600, 109}}) {
        TestSeries s({0, 60}, {1, 2}, wd, ht);
        const MemoryWindow w = Render(s.ctx);
        for (int32_t y = 0; y < ht; ++y) {
            for (int32_t x = 33; x < wd; ++x) ASSERT_EQ(w.Pixel(x, y), 0xFFFFFFFFu) << x << "," << y;
        }
    }
}

TEST_F(PaintTest, EmptySeriesAndDegenerateSeriesDrawSafely) {
    GraphContext empty;
    InitGraphContext(empty, nullptr, 600, 240, "empty");
    const MemoryWindow w = Render(empty);
    EXPECT_EQ(w.Pixel(300, 100), 0xFFFFFFFFu);

    // Every point at one instant: span 0, all points in column 0.
    TestSeries same({0, 0, 0}, {1.0f, 3.0f, 2.0f});
    ASSERT_EQ(same.ctx.span, 0);
    const PlotGeometry g = ComputeGeometry(same.ctx);
    const MemoryWindow one = Render(same.ctx, HoverState{&same.ctx, g.left + 5, g.top + 5});
    bool red = false;
    for (int32_t y = g.top; y < g.bottom; ++y) red |= (one.Pixel(g.left + g.w / 2, y) & kRgb) == 0xFF0000u;
    EXPECT_TRUE(red);

    // Values far outside the axis and labels too short for their fields.
    TestSeries wild({0, 10, 20, 5000}, {1.0f, 2.0f, 1.0f, -3e38f}, 600, 240, {"", "x", "07 Dec", "07"});
    SetView(wild.ctx, 0, 30);
    Render(wild.ctx, HoverState{&wild.ctx, g.left + 200, g.top + 50});
}

TEST_F(PaintTest, DenseColumnsMatchPointByPointDrawing) {
    auto draw = [this](const GraphContext& ctx, const HoverState& hover, bool batch) {
        MemoryWindow w(ctx.width, ctx.height);
        EXPECT_TRUE(PaintBegin(raster, w));
        DrawChart(raster, ctx, hover, RasterAssets(raster), PaintTuning{batch});
        PaintEnd(raster);
        return w;
    };
    struct Case {
        const char* name;
        int count, step, width, height;
        float (*value)(int);
    };
    const Case cases[] = {
        {"noise across zero", 20000, 1, 600, 240,
         [](int i) { return static_cast<float>((i * 7919) % 1000) / 100.0f - 3.0f; }},
        {"positive noise", 20000, 1, 600, 240,
         [](int i) { return 5.0f + static_cast<float>((i * 31) % 17); }},
        {"negative ramp", 9000, 2, 300, 400, [](int i) { return -static_cast<float>(i % 300) / 7.0f; }},
        {"flat", 5000, 3, 600, 240, [](int) { return 2.5f; }},
        {"sparse steps", 300, 40, 800, 300, [](int i) { return static_cast<float>(i % 3); }},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> t;
        std::vector<float> v;
        for (int i = 0; i < c.count; ++i) {
            t.push_back(i * c.step);
            v.push_back(c.value(i));
        }
        TestSeries s(t, v, c.width, c.height);
        const PlotGeometry g = ComputeGeometry(s.ctx);
        for (int32_t end : {3600, s.ctx.span}) {
            SetView(s.ctx, 0, end);
            const HoverState hover{&s.ctx, g.left + 37, g.top + 20, true, 5, 900};
            EXPECT_EQ(draw(s.ctx, hover, true).pixels(), draw(s.ctx, hover, false).pixels())
                << c.name << ", view 0.." << end;
        }
    }
}

TEST(TimeLabels, SlotsAreSpacedAndCapped) {
    struct Case {
        int32_t width, step, count, wantSlots;
    };
    // Points every `step` seconds over the newest hour.
    const Case cases[] = {
        {600, 36, 101, 7},    // x = 5 i: slots at 0, 75, 150, ... 450
        {4000, 36, 101, 40},  // 39 px apart, 78 per slot: capped at 40
        {600, 3600, 2, 2},    // both ends of the plot
    };
    for (const Case& c : cases) {
        std::vector<int32_t> t;
        for (int i = 0; i < c.count; ++i) t.push_back(i * c.step);
        TestSeries s(t, std::vector<float>(t.size(), 1.0f), c.width);
        const PlotGeometry g = ComputeGeometry(s.ctx);
        const TimeLabelSlots slots = PlanTimeLabels(s.ctx, g);
        EXPECT_EQ(slots.count, c.wantSlots) << c.width << "/" << c.step;
        EXPECT_EQ(slots.x[0], 0);
        for (int k = 1; k < slots.count; ++k) EXPECT_GE(slots.x[k] - slots.x[k - 1], 71);
    }
}

TEST(TimeLabels, OneDateTagPerDay) {
    std::vector<int32_t> t;
    std::vector<std::string> labels;
    for (int i = 0; i < 10; ++i) {
        t.push_back(i * 360);
        // Ages grow to the right: the newest points are on 08 Dec.
        labels.push_back(std::string(i < 4 ? "08 Dec 2026" : "07 Dec 2026") + "\n11:00:00 PM\n+ 1.0");
    }
    TestSeries s(t, std::vector<float>(t.size(), 1.0f), 600, 240, labels);
    const PlotGeometry g = ComputeGeometry(s.ctx);
    const TimeLabelSlots slots = PlanTimeLabels(s.ctx, g);
    ASSERT_EQ(slots.count, 5);  // points every 50 px: slots at 0, 100, ..., 400
    TimeLabelKind kinds[kMaxTimeLabels];
    PlanTimeLabelKinds(s.ctx, g, slots, kinds);
    std::string plan;
    for (int k = 0; k < slots.count; ++k) {
        plan += kinds[k] == TimeLabelKind::DateTag ? 'D' : kinds[k] == TimeLabelKind::Tick ? 't' : '?';
    }
    EXPECT_EQ(plan, "DtDtt");
}

TEST(TimeLabels, LabelsEndAtTheRightEdge) {
    TestSeries s({0, 3590, 3600}, {1, 1, 1});
    const PlotGeometry g = ComputeGeometry(s.ctx);
    TimeLabelSlots slots;
    slots.Offer(0, 0);
    slots.Offer(1, g.w - 9);  // within 10 pixels of the right edge
    slots.Offer(2, g.w + 200);
    TimeLabelKind kinds[kMaxTimeLabels];
    PlanTimeLabelKinds(s.ctx, g, slots, kinds);
    EXPECT_EQ(kinds[0], TimeLabelKind::DateTag);
    EXPECT_EQ(kinds[1], TimeLabelKind::FinalTick);
    EXPECT_EQ(kinds[2], TimeLabelKind::None);
}

// FNV-1a over the pixels: a regression check of whole charts. The embedded
// fonts and pictures are part of every chart, so the expected sums are tied
// to a checksum of the asset blobs; new artwork skips with the new values.
uint64_t Fnv(const void* data, size_t bytes, uint64_t h = 1469598103934665603ull) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

uint64_t AssetSum() {
    uint64_t h = 1469598103934665603ull;
    for (auto blob : {assets::SmallFontBlob(), assets::LargeFontBlob(), assets::CaptionPictureBlob(),
                      assets::SheetPictureBlob()}) {
        h = Fnv(blob.data(), blob.size(), h);
    }
    return h;
}

TEST_F(PaintTest, GoldenCharts) {
    std::vector<int32_t> t;
    std::vector<float> v;
    std::vector<std::string> labels;
    for (int i = 0; i < 400; ++i) {
        t.push_back(i * 30);
        v.push_back(static_cast<float>(2.0 + 1.5 * std::sin(i / 17.0) - (i % 50 == 0 ? 4.0 : 0.0)));
        char text[64];
        std::snprintf(text, sizeof text, "%02d Dec 2026\n%02d:%02d:00 PM\n%c %.3f", 7 + i / 240,
                      1 + (i / 2) % 11, (i * 30) % 60, v.back() < 0 ? '-' : '+', std::fabs(v.back()));
        labels.push_back(text);
    }
    TestSeries s(t, v, 600, 240, labels);
    const PlotGeometry g = ComputeGeometry(s.ctx);
    struct Chart {
        const char* name;
        int32_t start, end;
        HoverState hover;
        uint64_t want;
    };
    const Chart charts[] = {
        {"newest hour", 0, 3600, {}, 10800534205162239838ull},
        {"zoomed with hover", 600, 1500, {&s.ctx, g.left + 200, g.top + 40}, 13027774580060271041ull},
        {"whole span, strip hover", 0, 12000, {&s.ctx, g.left + 30, g.bottom + 50}, 2960589097151655507ull},
    };
    const uint64_t kAssetSum = 2361855402652791583ull;
    const bool update = std::getenv("CHARTDRAW_PRINT_GOLDEN") != nullptr;
    // The assets are committed data, so a change is deliberate: the charts
    // must then be looked at again and their sums recorded anew.
    if (AssetSum() != kAssetSum && !update) {
        FAIL() << "embedded assets changed (sum " << AssetSum()
               << "); rerun with CHARTDRAW_PRINT_GOLDEN=1, look at the charts and record the new sums";
    }
    for (const Chart& c : charts) {
        SetView(s.ctx, c.start, c.end);
        const MemoryWindow w = Render(s.ctx, c.hover);
        const uint64_t sum = Fnv(w.pixels().data(), w.pixels().size() * 4);
        if (update) {
            std::printf("asset sum %llu, %s: %llu\n", static_cast<unsigned long long>(AssetSum()), c.name,
                        static_cast<unsigned long long>(sum));
        } else {
            EXPECT_EQ(sum, c.want) << c.name << ": if the drawing changed on purpose, rerun with "
                                   << "CHARTDRAW_PRINT_GOLDEN=1, look at the charts and record the new sums";
        }
    }
}

}  // namespace
}  // namespace plotwick

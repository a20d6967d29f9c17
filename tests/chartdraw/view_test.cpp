// View and axis arithmetic: nice steps, view clamping, the age searches,
// the value grid and the axis number texts.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "plotwick/axis.h"
#include "plotwick/view.h"
#include "series_fixture.h"

namespace plotwick {
namespace {

using test::TestSeries;

TEST(NiceStep, FirstStrictBoundWins) {
    struct Case {
        double range;
        float step;
    };
    const Case cases[] = {
        {150, 100},     {100.5, 100},    {100, 50},       {60, 50},      {50, 10},      {10.5, 10},
        {10, 5},        {5.5, 5},        {5, 1},          {1.5, 1},      {1, 0.5f},     {0.6, 0.5f},
        {0.5, 0.1f},    {0.25, 0.1f},    {0.1, 0.05f},    {0.07, 0.05f}, {0.05, 0.01f}, {0.02, 0.01f},
        {0.01, 0.005f}, {0.006, 0.005f}, {0.005, 0.001f}, {0, 0.001f},   {-3, 0.001f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NiceStep(c.range), static_cast<double>(c.step)) << "range " << c.range;
    }
}

TEST(SetView, ClampsWidensAndFallsBack) {
    struct Case {
        int32_t span, start, end, wantStart, wantEnd;
    };
    const Case cases[] = {
        {3000, 100, 105, 95, 105},    // narrower than 10 s: widened toward younger ages
        {3000, 5000, 9000, 0, 3000},  // wholly past the span: whole span
        {3000, 0, 3600, 0, 3000},     // newest hour of a shorter series
        {3000, 100, 2000, 100, 2000},
        {3000, -50, 20, 0, 20},
        {3000, 0, 5, 0, 10},  // start would go negative, end widened instead
        {3000, 2995, 3000, 2990, 3000},
        {3000, 3000, 3000, 2990, 3000},
        {3000, INT_MIN, INT_MAX, 0, 3000},
        {3000, INT_MAX - 5, INT_MAX, 0, 3000},
        {5, 0, 3600, 0, 5},  // span shorter than 10 s
        {0, 0, 3600, 0, 0},  // every point at one instant
    };
    for (const Case& c : cases) {
        TestSeries s({0, c.span}, {1.0f, 2.0f});
        ASSERT_EQ(s.ctx.span, c.span);
        SetView(s.ctx, c.start, c.end);
        EXPECT_EQ(s.ctx.viewStart, c.wantStart) << c.span << ": " << c.start << ".." << c.end;
        EXPECT_EQ(s.ctx.viewEnd, c.wantEnd) << c.span << ": " << c.start << ".." << c.end;
    }
}

TEST(SetView, ValueRangeIncludesPointBeforeViewStart) {
    // Ages 0..50 every 10 s; the view 25..40 sees ages 30 and 40 plus age 20.
    TestSeries s({0, 10, 20, 30, 40, 50}, {100, -7, 3, 4, 6, 200});
    SetView(s.ctx, 25, 40);
    EXPECT_EQ(s.ctx.firstVisible, 2);
    EXPECT_DOUBLE_EQ(s.ctx.valueMin, 3.0);
    EXPECT_DOUBLE_EQ(s.ctx.valueMax, 6.0);
    EXPECT_DOUBLE_EQ(s.ctx.valueRange, 3.0);
    EXPECT_EQ(s.ctx.valueStep, 1.0);
    EXPECT_DOUBLE_EQ(s.ctx.axisMin, 3.0);
    EXPECT_DOUBLE_EQ(s.ctx.axisMax, 6.0);
}

TEST(SetView, AxisBoundsAndMinimumRange) {
    struct Case {
        float lo, hi;
        double step, axisMin, axisMax, axisRange;
    };
    const double tenth = static_cast<double>(0.1f);
    const Case cases[] = {
        {12.25f, 12.5f, tenth, 122 * tenth, 125 * tenth, 3 * tenth},
        {0.0f, 10.0f, 5.0, 0.0, 10.0, 10.0},   // exactly 10 takes 5
        {0.0f, 10.5f, 10.0, 0.0, 20.0, 20.0},  // 10.5 takes 10
        {-3.0f, 47.0f, 10.0, -10.0, 50.0, 60.0},
    };
    for (const Case& c : cases) {
        TestSeries s({0, 1, 2}, {c.lo, c.hi, c.lo});
        EXPECT_EQ(s.ctx.valueStep, c.step) << c.lo << ".." << c.hi;
        EXPECT_NEAR(s.ctx.axisMin, c.axisMin, 1e-9);
        EXPECT_NEAR(s.ctx.axisMax, c.axisMax, 1e-9);
        EXPECT_NEAR(s.ctx.axisRange, c.axisRange, 1e-9);
    }
    // All values equal: the smallest step and an axis forced to 0.01 wide.
    TestSeries flat({0, 1, 2}, {12.345f, 12.345f, 12.345f});
    EXPECT_EQ(flat.ctx.valueRange, 0.0);
    EXPECT_EQ(flat.ctx.valueStep, static_cast<double>(0.001f));
    EXPECT_DOUBLE_EQ(flat.ctx.axisRange, 0.01);
    EXPECT_DOUBLE_EQ(flat.ctx.axisMax, flat.ctx.axisMin + 0.01);
    EXPECT_LE(flat.ctx.axisMin, 12.345f);
}

TEST(SetView, PointsSharingTheStartAgeAllCount) {
    // A series of one instant, and a run of equal ages at the view start
    // (as a clock set back leaves): every one of them is visible.
    TestSeries same({0, 0, 0}, {-1.5f, 2.5f, 0.5f});
    EXPECT_DOUBLE_EQ(same.ctx.valueMin, -1.5);
    EXPECT_DOUBLE_EQ(same.ctx.valueMax, 2.5);
    EXPECT_EQ(VisibleFrom(same.ctx), 0);

    TestSeries run({0, 5, 20, 20, 20, 20, 20, 20, 30}, {0, 0, 9, 8, 1, 2, 3, 4, 5});
    SetView(run.ctx, 20, 30);
    EXPECT_EQ(VisibleFrom(run.ctx), 2);
    EXPECT_DOUBLE_EQ(run.ctx.valueMin, 1.0);
    EXPECT_DOUBLE_EQ(run.ctx.valueMax, 9.0);
    // Before the start, only the described one point counts.
    SetView(run.ctx, 21, 31);
    EXPECT_EQ(VisibleFrom(run.ctx), run.ctx.firstVisible);
}

TEST(ResetRange, EmptyAndLoaded) {
    GraphContext ctx;
    InitGraphContext(ctx, nullptr, 600, 400, "t");
    EXPECT_EQ(ctx.plotWidth, 500);
    EXPECT_EQ(ctx.span, 1);
    EXPECT_EQ(ctx.viewStart, 0);
    EXPECT_EQ(ctx.viewEnd, 1);
    EXPECT_DOUBLE_EQ(ctx.valueMax, 0.001);
    EXPECT_DOUBLE_EQ(ctx.axisMax, 5.0);
    EXPECT_DOUBLE_EQ(ctx.axisRange, 5.0);

    TestSeries s({0, 60, 7200}, {1, 2, 3});
    SetView(s.ctx, 100, 200);
    ResetRange(s.ctx);
    EXPECT_EQ(s.ctx.span, 7200);
    EXPECT_EQ(s.ctx.viewStart, 0);
    EXPECT_EQ(s.ctx.viewEnd, 3600);
}

TEST(InitGraphContext, SizesAndTitle) {
    GraphContext ctx;
    const std::string longTitle(150, 'x');
    InitGraphContext(ctx, nullptr, 0, -5, longTitle.c_str());
    EXPECT_EQ(ctx.width, 1);
    EXPECT_EQ(ctx.height, 1);
    EXPECT_EQ(ctx.title, std::string(99, 'x'));
    InitGraphContext(ctx, nullptr, 10, 10, nullptr);
    EXPECT_EQ(ctx.title, "");
    // A title with no terminator within its first 99 bytes is never read past them.
    const char unterminated[99] = {'a', 'b'};
    InitGraphContext(ctx, nullptr, 10, 10, unterminated);
    EXPECT_EQ(ctx.title, "ab");
}

TEST(AgeSearch, LowerBoundFirstVisibleNearest) {
    TestSeries s({0, 10, 20, 20, 30, 100}, {0, 0, 0, 0, 0, 0});
    struct Case {
        int32_t age, lower, first, nearest;
    };
    const Case cases[] = {
        {-5, 0, 0, 0},  {0, 0, 0, 0},   {5, 1, 0, 1},   // halfway between ages 0 and 10: the older point
        {10, 1, 1, 1},  {15, 2, 1, 3},                  // tie of 10 and 20: the older (examined first) wins
        {20, 2, 3, 3},  {24, 4, 3, 3},  {25, 4, 3, 4},  // 20 and 30 tie: the older, index 4
        {65, 5, 4, 5},                                  // 30 and 100 tie
        {100, 5, 5, 5}, {500, 5, 5, 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LowerBound(s.ctx, c.age), c.lower) << "age " << c.age;
        EXPECT_EQ(FirstVisible(s.ctx, c.age), c.first) << "age " << c.age;
        EXPECT_EQ(NearestPoint(s.ctx, c.age), c.nearest) << "age " << c.age;
    }
    GraphContext empty;
    InitGraphContext(empty, nullptr, 600, 240, "");
    EXPECT_EQ(LowerBound(empty, 5), 0);
    EXPECT_EQ(FirstVisible(empty, 5), 0);
    EXPECT_EQ(NearestPoint(empty, 5), 0);
}

TEST(AgeSearch, LargeSeriesMatchesLinearScan) {
    std::vector<int32_t> t;
    for (int i = 0; i < 5000; ++i) t.push_back(i * 3 + (i % 7 == 0 ? 1 : 0));
    std::vector<float> v(t.size(), 0.0f);
    TestSeries s(t, v);
    for (int32_t age = -3; age < 15010; age += 7) {
        int32_t want = 0;
        for (int32_t i = 0; i < s.ctx.pointCount; ++i) {
            if (t[i] <= age) want = i;
        }
        EXPECT_EQ(FirstVisible(s.ctx, age), want) << age;
        const int32_t k = NearestPoint(s.ctx, age);
        int64_t best = INT64_MAX;
        for (int32_t i = 0; i < s.ctx.pointCount; ++i)
            best = std::min<int64_t>(best, std::llabs(int64_t{t[i]} - age));
        EXPECT_EQ(std::llabs(int64_t{t[k]} - age), best) << age;
    }
}

TEST(Grid, ExampleChart600x240) {
    TestSeries s({0, 100, 200}, {12.25f, 12.5f, 12.4f});
    const PlotGeometry g = ComputeGeometry(s.ctx);
    ASSERT_EQ(g.h, 140);
    EXPECT_NEAR(s.ctx.axisMin, 12.2, 1e-6);
    EXPECT_NEAR(s.ctx.axisMax, 12.5, 1e-6);
    const GridPlan plan = PlanGrid(s.ctx.valueStep, s.ctx.axisRange, g.h);
    EXPECT_TRUE(plan.refined);
    EXPECT_NEAR(plan.step, 0.05, 1e-8);
    EXPECT_EQ(plan.decimals, 2);
    // The count (9 or 10 depending on the last bit of the range) is only an
    // upper limit: the rows stop the grid after seven lines either way.
    EXPECT_GE(plan.lineCount, 7);
    std::vector<std::string> numbers;
    std::vector<int32_t> rows;
    for (int k = 0; k < plan.lineCount; ++k) {
        const int32_t row = GridRow(plan, s.ctx.axisRange, g.h, k);
        if (!GridRowInPlot(row, g.h)) break;
        rows.push_back(row);
        numbers.push_back(FormatAxisNumber(plan.decimals, GridValue(plan, s.ctx.axisMin, k)));
    }
    EXPECT_EQ(rows, (std::vector<int32_t>{139, 115, 92, 69, 45, 22, -1}));
    EXPECT_EQ(numbers, (std::vector<std::string>{"+ 12.20", "+ 12.25", "+ 12.30", "+ 12.35", "+ 12.40",
                                                 "+ 12.45", "+ 12.50"}));
}

TEST(Grid, PlanTable) {
    struct Case {
        double valueStep, axisRange;
        int32_t plotH;
        double step;
        int decimals, lineCount;
        bool refined;
    };
    const double milli = static_cast<double>(0.001f);
    const Case cases[] = {
        {10, 100, 400, 5, 2, 17, true},          // refined to 1, coarsened back to 5
        {1, 1, 1000, 1, 1, 8, false},            // tall enough: no refinement
        {milli, 0.01, 140, milli, 3, 16, true},  // refined to 1/10, coarsened x5 x2
        {100, 100000, 140, 10000, 2, 40, true},  // coarsened until lines are over 12 px apart
        {100, 1e30, 140, 1e11, 2, 40, true},     // coarsening stops after 20 multiplications
        {0.5, 3, 140, 0.5, 2, 13, true},
        {static_cast<double>(0.01f), 0.05, 500, static_cast<double>(0.01f) / 2, 3, 12, true},
    };
    for (const Case& c : cases) {
        const GridPlan p = PlanGrid(c.valueStep, c.axisRange, c.plotH);
        EXPECT_NEAR(p.step, c.step, c.step * 1e-9) << c.valueStep << "/" << c.axisRange;
        EXPECT_EQ(p.decimals, c.decimals) << c.valueStep << "/" << c.axisRange;
        EXPECT_EQ(p.lineCount, c.lineCount) << c.valueStep << "/" << c.axisRange;
        EXPECT_EQ(p.refined, c.refined) << c.valueStep << "/" << c.axisRange;
    }
}

TEST(AxisNumber, Texts) {
    struct Case {
        int decimals;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {2, 0.0, "0 "},
        {2, -0.0, "0 "},
        {2, -0.25, "- 0.25"},
        {2, 12.2000001818, "+ 12.20"},
        {1, 5.0, "+ 5.0"},
        {2, 12.219, "+ 12.21"},         // truncated, not rounded
        {2, 12.2199999976, "+ 12.22"},  // a float step's shortfall is not a digit
        {3, 200 * static_cast<double>(0.005f), "+ 1.000"},
        {0, 3.99, "+ 3.9"},  // decimals clamped to 1..4
        {7, 1.23456, "+ 1.2345"},
        {4, 0.00005, "+ 0.0000"},
        {2, -1234567.891, "- 1234567.89"},
        {1, 9.96, "+ 9.9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatAxisNumber(c.decimals, c.value), c.text) << c.value;
    }
    EXPECT_EQ(FormatAxisNumber(2, 1e30).substr(0, 4), "+ 10");
    EXPECT_EQ(FormatAxisNumber(2, -1e30).back(), '0');
}

TEST(Grid, NearZeroValueIsZero) {
    GridPlan plan;
    plan.step = static_cast<double>(0.05f);
    const double axisMin = -6 * static_cast<double>(0.05f) * (1 + 1e-12);
    EXPECT_EQ(FormatAxisNumber(2, GridValue(plan, axisMin, 6)), "0 ");
    EXPECT_EQ(FormatAxisNumber(2, GridValue(plan, axisMin, 5)), "- 0.05");
}

TEST(Geometry, PointPositionsAndZeroRow) {
    TestSeries s({0, 1800, 3600}, {-1.0f, 0.0f, 4.0f});
    const PlotGeometry g = ComputeGeometry(s.ctx);
    EXPECT_EQ(g.left, 80);
    EXPECT_EQ(g.top, 30);
    EXPECT_EQ(g.right, 580);
    EXPECT_EQ(g.bottom, 170);
    EXPECT_DOUBLE_EQ(g.xScale, 500.0 / 3600.0);
    // Axis -1..4 (step 1) over 140 rows: 28 rows per volt.
    EXPECT_DOUBLE_EQ(s.ctx.axisMin, -1.0);
    EXPECT_EQ(PointX(g, s.ctx, 0), 0);
    EXPECT_EQ(PointX(g, s.ctx, 1800), 250);
    EXPECT_EQ(PointX(g, s.ctx, 3600), 500);
    EXPECT_EQ(PointY(g, s.ctx, -1.0), 139);
    EXPECT_EQ(PointY(g, s.ctx, 4.0), -1);
    EXPECT_EQ(ZeroRow(g, s.ctx), 139 - 28);
    EXPECT_EQ(PointY(g, s.ctx, 1e30), -(1 << 30));  // saturates instead of overflowing
}

TEST(Geometry, ZeroSpanSeriesSitsInTheMiddleColumn) {
    TestSeries s({0, 0, 0}, {1, 2, 3});
    EXPECT_EQ(s.ctx.span, 0);
    const PlotGeometry g = ComputeGeometry(s.ctx);
    EXPECT_EQ(g.xScale, 0.0);
    EXPECT_EQ(PointX(g, s.ctx, 0), 250);  // the middle column, clear of the axis line
}

TEST(Geometry, Thumb) {
    struct Case {
        int32_t plotW, start, end, span, left, right;
    };
    const Case cases[] = {
        {500, 0, 3600, 7200, 0, 250},
        {500, 3600, 7200, 7200, 250, 500},
        {500, 0, 5, 100000, -5, 5},          // narrow thumb widened by 5 each side
        {500, 0, 0, 0, -5, 5},               // span 0 must not divide by zero
        {500, 0, INT_MAX, INT_MAX, 0, 500},  // 64-bit products
    };
    for (const Case& c : cases) {
        const ThumbSpan t = ComputeThumb(c.plotW, c.start, c.end, c.span);
        EXPECT_EQ(t.left, c.left) << c.start << ".." << c.end << "/" << c.span;
        EXPECT_EQ(t.right, c.right) << c.start << ".." << c.end << "/" << c.span;
    }
}

TEST(TruncToInt, SaturatesAndTruncates) {
    EXPECT_EQ(TruncToInt(2.9), 2);
    EXPECT_EQ(TruncToInt(-2.9), -2);
    EXPECT_EQ(TruncToInt(NAN), 0);
    EXPECT_EQ(TruncToInt(1e300), 1 << 30);
    EXPECT_EQ(TruncToInt(-INFINITY), -(1 << 30));
}

}  // namespace
}  // namespace plotwick

// Value axis of a chart: the grid step and line count chosen for the plot
// height, the row of each grid line, and the text of each axis number.
#pragma once

#include <cstdint>
#include <string>

namespace plotwick {

struct GridPlan {
    double step = 0.0;  // value between grid lines
    int decimals = 1;   // digits after the point in the axis numbers
    int lineCount = 1;  // lines tried, 1..40; drawing stops at the plot edge
    bool refined = false;
};

// Refines the value step for tall plots (lines at most 160 pixels apart)
// and coarsens it for short ones (lines more than 12 pixels apart).
GridPlan PlanGrid(double valueStep, double axisRange, int32_t plotH);

// Row of grid line k relative to the plot top. Lines are drawn while the row
// is in -4 .. plotH-1; the first row outside that range ends the grid.
int32_t GridRow(const GridPlan& plan, double axisRange, int32_t plotH, int k);
// slack: rows drawn above the plot top (kGridRowSlack in the drawn pixels).
inline constexpr int32_t kGridRowSlack = 4;
bool GridRowInPlot(int32_t row, int32_t plotH, int32_t slack = kGridRowSlack);

// Value of grid line k. A value that is zero but for the rounding of the
// single-precision steps is returned as exactly 0.
double GridValue(const GridPlan& plan, double axisMin, int k);

// "0 " for zero; otherwise sign, space, integer part, "." and `decimals`
// (1..4) truncated fraction digits, e.g. "- 0.25". Values a few parts in
// 10^7 below a shown digit (float steps widened to double) show that digit.
std::string FormatAxisNumber(int decimals, double value);

}  // namespace plotwick

#include "axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "view.h"

namespace plotwick {

GridPlan PlanGrid(double valueStep, double axisRange, int32_t plotH) {
    GridPlan plan;
    const double range = axisRange > 0.0 ? axisRange : 0.01;
    auto spacing = [&](double g) { return plotH * g / range; };
    double g = valueStep;
    if (spacing(g) <= 160.0) {
        g /= 2.0;
        plan.refined = true;
        if (spacing(g) <= 160.0) g /= 5.0;
    }
    for (int m = 0; m < 20 && spacing(g) <= 12.0; ++m) g *= (m % 2 == 0) ? 5.0 : 2.0;
    plan.step = g;
    if (valueStep < 0.001) {
        plan.decimals = 4;
    } else if (valueStep < 0.01) {
        plan.decimals = 3;
    } else if (valueStep < 0.1 || plan.refined) {
        plan.decimals = 2;
    } else {
        plan.decimals = 1;
    }
    // The count follows the value step, not the refined grid step.
    plan.lineCount = std::clamp(TruncToInt(range / valueStep + 7.0), 1, 40);
    return plan;
}

int32_t GridRow(const GridPlan& plan, double axisRange, int32_t plotH, int k) {
    const double range = axisRange > 0.0 ? axisRange : 0.01;
    return TruncToInt((plotH - 1) - plan.step * k * plotH / range);
}

bool GridRowInPlot(int32_t row, int32_t plotH, int32_t slack) { return row >= -slack && row < plotH; }

double GridValue(const GridPlan& plan, double axisMin, int k) {
    const double v = axisMin + plan.step * k;
    return std::fabs(v) < plan.step * 1e-6 ? 0.0 : v;
}

std::string FormatAxisNumber(int decimals, double value) {
    if (value == 0.0) return "0 ";
    const int d = std::clamp(decimals, 1, 4);
    static constexpr int64_t kPow10[] = {1, 10, 100, 1000, 10000};
    const char sign = value < 0.0 ? '-' : '+';
    const double a = std::fabs(value);
    char text[80];
    if (!std::isfinite(a)) {
        std::snprintf(text, sizeof text, "%c %s", sign, std::isnan(a) ? "nan" : "inf");
        return text;
    }
    // The sums of widened single-precision steps land a few parts in 10^8
    // below the grid value, which plain truncation would show one digit low.
    // The nudge is capped at half a digit so large values are never pushed
    // past the next shown digit.
    const double exact = a * static_cast<double>(kPow10[d]);
    const double scaled = exact + std::min(0.5, exact * 1e-7);
    if (scaled < 9e15) {
        const auto total = static_cast<int64_t>(std::floor(scaled));
        std::snprintf(text, sizeof text, "%c %lld.%0*lld", sign, static_cast<long long>(total / kPow10[d]), d,
                      static_cast<long long>(total % kPow10[d]));
    } else {
        // Beyond 2^53 a double has no fraction digits to show.
        std::snprintf(text, sizeof text, "%c %.0f.%0*d", sign, std::floor(a), d, 0);
    }
    return text;
}

}  // namespace plotwick

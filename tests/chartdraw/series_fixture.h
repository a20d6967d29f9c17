// Builds GraphContexts over test-owned arrays, so view and paint tests can
// describe a series as a list of (age, value) points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plotwick/graph_context.h"
#include "plotwick/view.h"

namespace plotwick::test {

struct TestSeries {
    std::vector<int32_t> times;
    std::vector<float> values;
    std::vector<std::string> labelText;
    std::vector<char*> labels;
    GraphContext ctx;

    // Ages must be ascending. Labels default to a fixed date and time.
    TestSeries(std::vector<int32_t> t, std::vector<float> v, int32_t width = 600, int32_t height = 240,
               std::vector<std::string> labelTexts = {})
        : times(std::move(t)), values(std::move(v)), labelText(std::move(labelTexts)) {
        InitGraphContext(ctx, nullptr, width, height, "Channel 1");
        if (labelText.empty()) {
            for (size_t i = 0; i < times.size(); ++i)
                labelText.push_back("07 Dec 2026\n01:49:10 PM\n+ 1.000");
        }
        for (auto& s : labelText) labels.push_back(s.data());
        ctx.pointCount = static_cast<int32_t>(times.size());
        ctx.times = times;
        ctx.values = values;
        ctx.o_Labels = labels;
        ResetRange(ctx);
    }
    TestSeries(const TestSeries&) = delete;
    TestSeries& operator=(const TestSeries&) = delete;
};

}  // namespace plotwick::test
